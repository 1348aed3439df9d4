#include "Common/Log.h"

#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Console.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"

#include <mutex>
#include <shared_mutex>

namespace Zelto
{

struct LogFile
{
    File file;
    String path;
};

// A channel's insides, for the printer and the log files below.
struct LogChannelAccess
{
    static LogSink& Sink(LogChannel& channel) { return channel.mSink; }
    static LogFile*& OwnedFile(LogChannel& channel) { return channel.mFile; }
};

namespace
{

LogSwitches switches;
LogChannel traceChannel;
LogChannel errorChannel;
// Lines being written share it; installing a sink or closing a log file takes it alone. So a sink is never
// replaced, nor its file freed, under a line that is still being written. Made on first use, as lines may be
// printed during static construction.
std::shared_mutex& SinkLock()
{
    static std::shared_mutex lock;
    return lock;
}

String TimeStamp()
{
    LocalTime now = CurrentLocalTime();
    return Format(u"%.4d/%.2d/%.2d-%.2d:%.2d:%.2d ", now.year, now.month, now.day, now.hour, now.minute,
                  now.second);
}

int PrintLine(LogChannel& channel, const char16_t* format, va_list arguments)
{
    if (switches.enabled == 0)
        return 0;
    char16_t text[FormatBufferUnits];
    FormatArgs(text, FormatBufferUnits, format, arguments);
    String stamp = switches.timeStamp == 1 ? TimeStamp() : String(); // made before the lock: it allocates
    {
        std::shared_lock<std::shared_mutex> writing(SinkLock());
        const LogSink& sink = LogChannelAccess::Sink(channel);
        if (sink.callback != nullptr)
        {
            if (switches.timeStamp == 1)
                sink.callback(stamp.Text(), sink.context, 0);
            return sink.callback(text, sink.context, switches.newLine);
        }
    }
    if (switches.timeStamp == 1)
        DebuggerOutput(stamp.Text());
    DebuggerOutput(text);
    if (switches.newLine == 1)
        DebuggerOutput(u"\r\n");
    return 0;
}

int FileSinkWrite(const char16_t* text, void* context, int lineBreak)
{
    auto* file = static_cast<File*>(context);
    if (file == nullptr || !file->IsOpen())
        return 0;
    file->Write(text, TextLength(text) * sizeof(char16_t));
    if (lineBreak != 0)
        file->Write(u"\r\n", 2 * sizeof(char16_t));
    return 1;
}

int ConsoleSinkWrite(const char16_t* text, void* context, int lineBreak)
{
    ConsoleWrite(text, lineBreak != 0);
    return 1;
}

// Installs `sink` on a channel whose sink lock is held; the log file the channel owned, if any, is closed.
void Install(LogChannel& channel, const LogSink& sink, LogFile* ownedFile)
{
    LogFile*& owned = LogChannelAccess::OwnedFile(channel);
    if (owned != nullptr)
    {
        owned->file.Close();
        delete owned;
    }
    owned = ownedFile;
    LogChannelAccess::Sink(channel) = sink;
}

// The file is made outside the sink lock: making it may log (an allocation failing), which takes the lock.
void OpenLogFile(LogChannel& channel, const String& path)
{
    {
        // Recreating the channel's own file: Windows refuses a second handle on it, so the old one goes
        // first.
        std::unique_lock<std::shared_mutex> installing(SinkLock());
        LogFile* owned = LogChannelAccess::OwnedFile(channel);
        if (owned != nullptr && owned->path.Equals(path.Text()))
            Install(channel, LogSink(), nullptr);
    }
    auto* log = new LogFile;
    log->path = path;
    if (!log->file.Create(path.Text()))
    {
        delete log; // the channel keeps the sink it had
        return;
    }
    static const uint8_t byteOrderMark[2] = {0xFF, 0xFE};
    log->file.Write(byteOrderMark, sizeof byteOrderMark);
    std::unique_lock<std::shared_mutex> installing(SinkLock());
    Install(channel, LogSink{FileSinkWrite, &log->file}, log);
}

} // namespace

LogChannel::operator LogSink() const
{
    std::shared_lock<std::shared_mutex> reading(SinkLock());
    return mSink;
}

LogChannel& LogChannel::operator=(const LogSink& sink)
{
    std::unique_lock<std::shared_mutex> installing(SinkLock());
    Install(*this, sink, nullptr);
    return *this;
}

LogSwitches& LogSettings()
{
    return switches;
}
LogChannel& TraceSink()
{
    return traceChannel;
}
LogChannel& ErrorSink()
{
    return errorChannel;
}

int PrintTraceArgs(const char16_t* format, va_list arguments)
{
    return PrintLine(traceChannel, format, arguments);
}
int PrintErrorArgs(const char16_t* format, va_list arguments)
{
    return PrintLine(errorChannel, format, arguments);
}

int PrintTrace(const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = PrintTraceArgs(format, arguments);
    va_end(arguments);
    return result;
}

int PrintError(const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = PrintErrorArgs(format, arguments);
    va_end(arguments);
    return result;
}

void LogError(const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    PrintTraceArgs(format, arguments);
    va_end(arguments);
    if (!SameLogSink())
    {
        va_start(arguments, format);
        PrintErrorArgs(format, arguments);
        va_end(arguments);
    }
}

bool SameLogSink()
{
    LogSink trace = traceChannel, error = errorChannel;
    return trace.callback == error.callback && trace.context == error.context;
}

void OpenLogFiles(const char16_t* name)
{
    String directory = CurrentDirectory();
    String executable = PathFileName(ExecutablePath().Text(), false, false);
    const char16_t* hyphen = TextLength(name) != 0 ? u"-" : u"";
    OpenLogFile(traceChannel,
                Format(u"%ls\\%ls-%ls%ls[Trace].log", directory.Text(), executable.Text(), name, hyphen));
    OpenLogFile(errorChannel,
                Format(u"%ls\\%ls-%ls%ls[Error].log", directory.Text(), executable.Text(), name, hyphen));
}

// Channels on a log file fall back to the debugger's output; others keep their sinks.
void CloseLogFiles()
{
    std::unique_lock<std::shared_mutex> installing(SinkLock());
    for (LogChannel* channel : {&traceChannel, &errorChannel})
        if (LogChannelAccess::OwnedFile(*channel) != nullptr)
            Install(*channel, LogSink(), nullptr);
}

void UseConsoleLog()
{
    std::unique_lock<std::shared_mutex> installing(SinkLock());
    Install(traceChannel, LogSink{ConsoleSinkWrite, nullptr}, nullptr);
    Install(errorChannel, LogSink{ConsoleSinkWrite, nullptr}, nullptr);
}

} // namespace Zelto
