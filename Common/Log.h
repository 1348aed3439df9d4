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

LogSwitches& LogSettings();
LogSink& TraceSink();
LogSink& ErrorSink();

int PrintTrace(const char16_t* format, ...);
int PrintError(const char16_t* format, ...);
int PrintTraceArgs(const char16_t* format, va_list arguments);
int PrintErrorArgs(const char16_t* format, va_list arguments);

// An error reaches both logs exactly once: the trace channel, then the error channel unless it is the same
// sink.
void LogError(const char16_t* format, ...);

bool SameLogSink(); // same callback and same context on both channels
void OpenLogFiles(
    const char16_t* name); // "<dir>\<exe>-<name>-[Trace].log" and "...[Error].log", UTF-16 with BOM
void UseConsoleLog();
void CloseLogFiles(); // channels on log files fall back to the debugger's output

} // namespace Zelto
