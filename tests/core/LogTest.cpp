// The two log channels, their sinks, the log files and the assertion report.
#include "Common/Log.h"
#include "Common/Assert.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "support/LogRecorder.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Zelto;

namespace
{

class Log : public ::testing::Test
{
protected:
    RecordedLogs logs;
    LogRecorder& trace = logs.trace;
    LogRecorder& error = logs.error;
};

std::u16string ReadUtf16File(const String& path)
{
    DataBuffer bytes;
    if (!LoadFile(bytes, path.Text()) || bytes.Size() < 2)
        return u"";
    return std::u16string(reinterpret_cast<const char16_t*>(bytes.Data()), bytes.Size() / 2);
}

} // namespace

TEST_F(Log, LineIsTimeStampThenTextWithLineBreak)
{
    EXPECT_EQ(PrintTrace(u"value %d", 42), 7);
    ASSERT_EQ(trace.calls.size(), 2u);
    const std::u16string& stamp = trace.calls[0].first;
    ASSERT_EQ(stamp.size(), 20u); // "yyyy/mm/dd-hh:mm:ss "
    EXPECT_EQ(stamp[4], u'/');
    EXPECT_EQ(stamp[10], u'-');
    EXPECT_EQ(stamp[13], u':');
    EXPECT_EQ(stamp[19], u' ');
    EXPECT_EQ(trace.calls[0].second, 0);
    EXPECT_EQ(trace.calls[1], std::make_pair(std::u16string(u"value 42"), 1));
    EXPECT_TRUE(error.calls.empty());
}

TEST_F(Log, SwitchesTurnPartsOff)
{
    LogSettings().timeStamp = 0;
    LogSettings().newLine = 0;
    PrintError(u"x");
    LogSettings().enabled = 0;
    EXPECT_EQ(PrintError(u"y"), 0);
    LogSettings() = LogSwitches();
    ASSERT_EQ(error.calls.size(), 1u);
    EXPECT_EQ(error.calls[0], std::make_pair(std::u16string(u"x"), 0));
}

TEST_F(Log, LongMessageIsCut)
{
    std::u16string text(9000, u'a');
    PrintTrace(u"%ls", text.c_str());
    EXPECT_EQ(trace.calls.back().first.size(), 8191u);
}

TEST_F(Log, ErrorsReachEachSinkOnce)
{
    LogError(u"[KL] broken %d", 1);
    EXPECT_EQ(trace.calls.size(), 2u);
    EXPECT_EQ(error.calls.size(), 2u);
    EXPECT_FALSE(SameLogSink());

    ErrorSink() = TraceSink(); // one sink for both channels
    trace.calls.clear();
    EXPECT_TRUE(SameLogSink());
    LogError(u"[KL] broken %d", 2);
    EXPECT_EQ(trace.calls.size(), 2u);
}

TEST_F(Log, AssertionReportIsThreeLinesOnTheErrorChannel)
{
    AssertReport(u"mLength > 0", u"Common/Stack", 107);
    EXPECT_TRUE(trace.calls.empty());
    ASSERT_EQ(error.calls.size(), 2u);
    EXPECT_EQ(error.calls[1].first,
              u"Build Date : Nov 18 2014\r\nAssertion Failed : mLength > 0\r\nCommon/Stack:107");
    EXPECT_EQ(error.calls[1].second, 1);

    error.calls.clear();
    int zero = 0;
    EXPECT_FALSE(ZELTO_CHECK(zero != 0, "Common/Array", 100));
    EXPECT_TRUE(ZELTO_CHECK(zero == 0, "Common/Array", 100));
    ASSERT_EQ(error.calls.size(), 2u);
    EXPECT_EQ(error.calls[1].first,
              u"Build Date : Nov 18 2014\r\nAssertion Failed : zero != 0\r\nCommon/Array:100");
}

TEST(LogFiles, AreUtf16WithByteOrderMarkAndNamedFromTheExecutable)
{
    TempDirectory folder;
    String start = CurrentDirectory();
    ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
    LogSink savedTrace = TraceSink(), savedError = ErrorSink();
    String executable = PathFileName(ExecutablePath().Text(), false, false);

    OpenLogFiles(u"");
    PrintError(u"only in the error file \u00e9");
    LogError(u"in both");
    OpenLogFiles(u"unit"); // closes the first pair and starts a new one

    String trace = Format(u"%ls\\%ls-[Trace].log", folder.Path().Text(), executable.Text());
    String error = Format(u"%ls\\%ls-[Error].log", folder.Path().Text(), executable.Text());
    std::u16string traceText = ReadUtf16File(trace);
    std::u16string errorText = ReadUtf16File(error);
    ASSERT_FALSE(traceText.empty());
    EXPECT_EQ(traceText[0], 0xFEFF);
    EXPECT_EQ(errorText[0], 0xFEFF);
    EXPECT_EQ(traceText.find(u"only in the error file"), std::u16string::npos);
    EXPECT_NE(errorText.find(u"only in the error file \u00e9\r\n"), std::u16string::npos);
    EXPECT_NE(traceText.find(u"in both\r\n"), std::u16string::npos);
    EXPECT_NE(errorText.find(u"in both\r\n"), std::u16string::npos);
    EXPECT_TRUE(
        FileExists(Format(u"%ls\\%ls-unit-[Trace].log", folder.Path().Text(), executable.Text()).Text()));

    UseConsoleLog(); // releases the open files so that the folder can go
    TraceSink() = savedTrace;
    ErrorSink() = savedError;
    ChangeCurrentDirectory(start.Text());
}

namespace
{

// Runs in a folder of its own with the channels' sinks restored afterwards.
class LogFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        start = CurrentDirectory();
        ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
        savedTrace = TraceSink();
        savedError = ErrorSink();
    }
    void TearDown() override
    {
        CloseLogFiles(); // releases the open files so that the folder can go
        TraceSink() = savedTrace;
        ErrorSink() = savedError;
        ChangeCurrentDirectory(start.Text());
    }

    String LogPath(const char16_t* name, const char16_t* channel) const
    {
        return Format(u"%ls\\%ls-%ls-[%ls].log", folder.Path().Text(), executable.Text(), name, channel);
    }

    TempDirectory folder;
    String start;
    String executable = PathFileName(ExecutablePath().Text(), false, false);
    LogSink savedTrace, savedError;
};

} // namespace

TEST_F(LogFolder, FileThatCannotBeCreatedLeavesTheChannelOnItsSink)
{
    OpenLogFiles(u"first");
    ASSERT_TRUE(MakeDirectories(LogPath(u"second", u"Trace").Text())); // a folder where the file would go
    OpenLogFiles(u"second");
    PrintTrace(u"still traced");
    PrintError(u"in the new error file");
    CloseLogFiles();
    EXPECT_NE(ReadUtf16File(LogPath(u"first", u"Trace")).find(u"still traced\r\n"), std::u16string::npos);
    EXPECT_NE(ReadUtf16File(LogPath(u"second", u"Error")).find(u"in the new error file\r\n"),
              std::u16string::npos);
}

TEST_F(LogFolder, SinksChangeSafelyWhileAnotherThreadPrints)
{
    std::atomic<bool> done{false};
    std::atomic<int> lines{0};
    std::thread printer(
        [&]
        {
            while (!done)
            {
                LogError(u"a line from another thread");
                ++lines;
            }
        });
    for (int i = 0; i < 200; ++i)
    {
        OpenLogFiles(i % 2 == 0 ? u"even" : u"odd");
        if (i % 50 == 0)
            CloseLogFiles();
    }
    int seen = lines;
    while (lines < seen + 2) // a whole line printed after the last file was opened
        std::this_thread::yield();
    done = true;
    printer.join();
    CloseLogFiles();
    EXPECT_NE(ReadUtf16File(LogPath(u"odd", u"Trace")).find(u"a line from another thread\r\n"),
              std::u16string::npos);
}
