#include "Common/Log.h"

#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Console.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"

namespace Zelto
{

namespace
{

LogSwitches switches;
LogSink traceSink;
LogSink errorSink;

String TimeStamp()
{
    LocalTime now = CurrentLocalTime();
    return Format(u"%.4d/%.2d/%.2d-%.2d:%.2d:%.2d ", now.year, now.month, now.day, now.hour, now.minute,
                  now.second);
}

int PrintLine(const LogSink& sink, const char16_t* format, va_list arguments)
{
    if (switches.enabled == 0)
        return 0;
    char16_t text[FormatBufferUnits];
    FormatArgs(text, FormatBufferUnits, format, arguments);
    if (sink.callback != nullptr)
    {
        if (switches.timeStamp == 1)
            sink.callback(TimeStamp().Text(), sink.context, 0);
        return sink.callback(text, sink.context, switches.newLine);
    }
    if (switches.timeStamp == 1)
        DebuggerOutput(TimeStamp().Text());
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

// Closes the log file a channel's file sink holds, if it holds one; the channel then has no sink.
void CloseSinkFile(LogSink& sink)
{
    if (sink.callback != FileSinkWrite)
        return;
    auto* file = static_cast<File*>(sink.context);
    file->Close();
    delete file;
    sink = LogSink();
}

void OpenLogFile(LogSink& sink, const String& path)
{
    CloseSinkFile(sink);
    auto* file = new File;
    if (!file->Create(path.Text()))
    {
        delete file; // the channel keeps its sink (an old log file of its own is closed by now)
        return;
    }
    static const uint8_t byteOrderMark[2] = {0xFF, 0xFE};
    file->Write(byteOrderMark, sizeof byteOrderMark);
    sink.callback = FileSinkWrite;
    sink.context = file;
}

} // namespace

LogSwitches& LogSettings()
{
    return switches;
}
LogSink& TraceSink()
{
    return traceSink;
}
LogSink& ErrorSink()
{
    return errorSink;
}

int PrintTraceArgs(const char16_t* format, va_list arguments)
{
    return PrintLine(traceSink, format, arguments);
}
int PrintErrorArgs(const char16_t* format, va_list arguments)
{
    return PrintLine(errorSink, format, arguments);
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
    return traceSink.callback == errorSink.callback && traceSink.context == errorSink.context;
}

void OpenLogFiles(const char16_t* name)
{
    String directory = CurrentDirectory();
    String executable = PathFileName(ExecutablePath().Text(), false, false);
    const char16_t* hyphen = TextLength(name) != 0 ? u"-" : u"";
    OpenLogFile(traceSink,
                Format(u"%ls\\%ls-%ls%ls[Trace].log", directory.Text(), executable.Text(), name, hyphen));
    OpenLogFile(errorSink,
                Format(u"%ls\\%ls-%ls%ls[Error].log", directory.Text(), executable.Text(), name, hyphen));
}

void CloseLogFiles()
{
    CloseSinkFile(traceSink);
    CloseSinkFile(errorSink);
}

void UseConsoleLog()
{
    CloseLogFiles();
    traceSink = LogSink{ConsoleSinkWrite, nullptr};
    errorSink = LogSink{ConsoleSinkWrite, nullptr};
}

} // namespace Zelto
