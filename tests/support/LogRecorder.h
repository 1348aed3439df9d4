// Log sinks that record every call, for tests that check what reached the trace and error channels.
#pragma once

#include "Common/Log.h"

#include <string>
#include <utility>
#include <vector>

namespace Zelto
{

// One channel's calls: (text, line break). A printed line is two calls, its time stamp and its text.
struct LogRecorder
{
    std::vector<std::pair<std::u16string, int>> calls;

    static int Write(const char16_t* text, void* context, int lineBreak)
    {
        static_cast<LogRecorder*>(context)->calls.emplace_back(text, lineBreak);
        return 7;
    }

    // The printed lines' texts, without their time stamps.
    std::vector<std::u16string> Lines() const
    {
        std::vector<std::u16string> lines;
        for (const auto& call : calls)
            if (call.second != 0)
                lines.push_back(call.first);
        return lines;
    }

    // How many recorded texts contain `part`.
    size_t Count(const std::u16string& part) const
    {
        size_t count = 0;
        for (const auto& call : calls)
            count += call.first.find(part) != std::u16string::npos ? 1 : 0;
        return count;
    }
};

// Both channels go to recorders while this lives; the sinks they had come back afterwards.
struct RecordedLogs
{
    RecordedLogs() : savedTrace(TraceSink()), savedError(ErrorSink())
    {
        TraceSink() = LogSink{LogRecorder::Write, &trace};
        ErrorSink() = LogSink{LogRecorder::Write, &error};
    }
    ~RecordedLogs()
    {
        TraceSink() = savedTrace;
        ErrorSink() = savedError;
    }
    RecordedLogs(const RecordedLogs&) = delete;
    RecordedLogs& operator=(const RecordedLogs&) = delete;

    LogSink savedTrace, savedError;
    LogRecorder trace, error;
};

} // namespace Zelto
