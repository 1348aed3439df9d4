// The trace and error log channels. Where lines go is chosen once at start-up: log files beside the process,
// the console, or (with no sink installed) the debugger's output. Printing takes no lock.
#pragma once

#include <cstdarg>

namespace Zelto
{

using LogCallback = int (*)(const char16_t* text, void* context, int lineBreak);

struct LogSink
{
    LogCallback callback = nullptr; // null: lines go to the debugger's output
    void* context = nullptr;        // the file handle of the file sink
};

struct LogSwitches
{
    int enabled = 1;   // 0: printing does nothing
    int timeStamp = 1; // each line starts with "yyyy/mm/dd-hh:mm:ss "
    int newLine = 1;   // each line ends with a line break
};

struct LogFile;

// One channel's sink. Reading and replacing it are safe while other threads print: a replacement waits for
// the lines being written, and a log file the channel held is closed only then. The caller keeps the context
// of a sink it installs alive while it is installed.
class LogChannel
{
public:
    LogChannel() = default;
    LogChannel(const LogChannel&) = delete;

    operator LogSink() const; // the sink installed now
    LogChannel& operator=(const LogSink& sink);
    LogChannel& operator=(const LogChannel& other) { return *this = LogSink(other); }

private:
    friend struct LogChannelAccess; // the printer and the log files, in Log.cpp

    LogSink mSink;
    LogFile* mFile = nullptr; // the file sink's log file, owned; left open at exit, when threads may print
};

LogSwitches& LogSettings();
LogChannel& TraceSink();
LogChannel& ErrorSink();

int PrintTrace(const char16_t* format, ...);
int PrintError(const char16_t* format, ...);
int PrintTraceArgs(const char16_t* format, va_list arguments);
int PrintErrorArgs(const char16_t* format, va_list arguments);

// An error reaches both logs exactly once: the trace channel, then the error channel unless it is the same
// sink.
void LogError(const char16_t* format, ...);

bool SameLogSink(); // same callback and same context on both channels
// "<dir>\<exe>-<name>-[Trace].log" and "...[Error].log", UTF-16 with BOM. A file that cannot be created
// leaves its channel on the sink it had.
void OpenLogFiles(const char16_t* name);
void UseConsoleLog();
void CloseLogFiles(); // channels on log files fall back to the debugger's output

} // namespace Zelto
