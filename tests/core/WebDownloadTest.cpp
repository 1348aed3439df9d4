// The web download service against a real HTTP server on the loopback: what it asks for, what it keeps and
// what it publishes, on a worker of its own and in the multi pump.
#include "Source/Platform/WebDownload.h"

#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/Worker.h"
#include "support/Text.h"
#include "tools/zoa-serve/ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Zelto;
using Reply = ScriptedHttpServer::Reply;
using Body = ScriptedHttpServer::Body;
using Seen = std::vector<ScriptedHttpServer::Request>;
using Clock = std::chrono::steady_clock;

namespace
{

// An upper bound for "at once": libcurl looks at a stop request at least once a second.
constexpr auto Promptly = std::chrono::seconds(5);
const std::string Package = "/package.zoa";

struct WorkerDeleter
{
    void operator()(Worker* worker) const { worker->Destroy(); }
};
using WorkerPtr = std::unique_ptr<Worker, WorkerDeleter>;

struct HandleDeleter
{
    void operator()(WebHandle* handle) const { DestroyWebHandle(handle); }
};
using HandlePtr = std::unique_ptr<WebHandle, HandleDeleter>;

// Bytes without a short period, so that a byte from the wrong offset shows.
std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u;
    for (char& byte : bytes)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = char(state >> 24);
    }
    return bytes;
}

std::string Contents(const DataBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

String Wide(const std::string& text)
{
    return Utf8ToString(text.c_str());
}

float Progress(const float& cell)
{
    return AtomicLoadFloat(&cell);
}

Reply Status(int status, const std::string& location = "")
{
    Reply reply;
    reply.status = status;
    reply.location = location;
    return reply;
}

Reply DropAfter(int64_t bytes)
{
    Reply reply;
    reply.dropAfter = bytes;
    return reply;
}

Reply StallAfter(int64_t bytes)
{
    Reply reply;
    reply.stallAfter = bytes;
    return reply;
}

Reply IgnoreRange()
{
    Reply reply;
    reply.ignoreRange = true;
    return reply;
}

Reply Delay(int milliseconds)
{
    Reply reply;
    reply.delayMs = milliseconds;
    return reply;
}

// Polls until `condition` holds; only a failing test waits the whole bound.
template <typename Condition>
bool Eventually(Condition condition, Clock::duration limit = std::chrono::seconds(20))
{
    const Clock::time_point end = Clock::now() + limit;
    while (!condition())
    {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

auto AtLeast(size_t count)
{
    return [count](const Seen& seen) { return seen.size() >= count; };
}

std::vector<std::string> RangesOf(const Seen& seen)
{
    std::vector<std::string> ranges;
    for (const auto& request : seen)
        ranges.push_back(request.range);
    return ranges;
}

std::vector<std::string> PathsOf(const Seen& seen)
{
    std::vector<std::string> paths;
    for (const auto& request : seen)
        paths.push_back(request.path);
    return paths;
}

std::string HeaderOf(const ScriptedHttpServer::Request& request, const std::string& name)
{
    auto found = request.headers.find(name);
    return found != request.headers.end() ? found->second : std::string();
}

// Runs a worker-mode download to its success; the buffer is the caller's to read afterwards.
void DownloadWhole(const std::string& url, DataBuffer& buffer, int32_t rangeStart, int32_t rangeEnd,
                   WebHandle* handle, const char16_t* cookie = u"")
{
    float progress = 0.0f;
    WorkerPtr worker(
        StartDownload(&progress, Wide(url).Text(), &buffer, rangeStart, rangeEnd, handle, cookie));
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(Eventually([&] { return Progress(progress) == 1.0f; }));
}

// A worker-mode download of the test package from its first byte to `rangeEnd`, on a handle per attempt.
WorkerPtr StartPackageDownload(const ScriptedHttpServer& server, float& progress, DataBuffer& buffer,
                               int32_t rangeEnd)
{
    return WorkerPtr(
        StartDownload(&progress, Wide(server.Url(Package)).Text(), &buffer, 0, rangeEnd, nullptr, u""));
}

// The trace channel's lines, written from any thread.
class WebDownloadTrace : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedTrace = TraceSink();
        savedSwitches = LogSettings();
        TraceSink() = LogSink{Record, this};
        LogSettings().timeStamp = 0;
    }
    void TearDown() override
    {
        TraceSink() = savedTrace;
        LogSettings() = savedSwitches;
    }

    std::vector<std::u16string> Lines()
    {
        std::lock_guard<std::mutex> hold(lock);
        return lines;
    }

private:
    static int Record(const char16_t* text, void* context, int)
    {
        auto* self = static_cast<WebDownloadTrace*>(context);
        std::lock_guard<std::mutex> hold(self->lock);
        self->lines.emplace_back(text);
        return 0;
    }

    LogSink savedTrace;
    LogSwitches savedSwitches;
    std::mutex lock;
    std::vector<std::u16string> lines;
};

} // namespace

TEST(WebDownload, RetryResumesAfterTheBytesReceived)
{
    const std::string resource = Pattern(3000);
    struct Case
    {
        const char* name;
        int32_t rangeStart, rangeEnd;
        bool ownHandle;
        int64_t dropAfter; // of the first answer; -1: none
        std::vector<std::string> ranges;
        std::string expected;
    } cases[] = {
        {"header", 0, 1132, true, 500, {"bytes=0-1131", "bytes=500-1131"}, resource.substr(0, 1132)},
        {"file range",
         1200,
         1800,
         false,
         250,
         {"bytes=1200-1799", "bytes=1450-1799"},
         resource.substr(1200, 600)},
        {"whole resource", 0, -1, false, 500, {"", "bytes=500-"}, resource},
        {"without failure", 0, 1132, false, -1, {"bytes=0-1131"}, resource.substr(0, 1132)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Serve(Package, resource);
        if (c.dropAfter >= 0)
            server.Script(Package, DropAfter(c.dropAfter), 1);
        HandlePtr handle(c.ownHandle ? CreateWebHandle(false) : nullptr);
        DataBuffer buffer;
        DownloadWhole(server.Url(Package), buffer, c.rangeStart, c.rangeEnd, handle.get());

        EXPECT_EQ(buffer.Size(), c.expected.size());
        EXPECT_TRUE(Contents(buffer) == c.expected);
        Seen seen = server.Requests();
        EXPECT_EQ(RangesOf(seen), c.ranges);
        if (c.dropAfter >= 0 && !seen.empty())
        {
            EXPECT_EQ(seen[0].body, Body::Dropped);
            EXPECT_EQ(seen[0].bodySent, c.dropAfter);
        }
    }
}

// A failed answer publishes 0.0 at once and is retried after a growing pause, always for the same bytes: an
// error page never becomes part of the body.
TEST(WebDownload, FailedAnswerPublishesZeroAndIsRetried)
{
    const std::string resource = Pattern(3000);
    struct Case
    {
        const char* name;
        Reply reply;
        int times; // Always: the download is stopped after four answers
    } cases[] = {
        {"not found", Status(404), ScriptedHttpServer::Always},
        {"server error", Status(503), 2},
        {"redirect without target", Status(302), 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Serve(Package, resource);
        server.Script(Package, c.reply, c.times);
        float progress = 0.5f;
        DataBuffer buffer;
        const Clock::time_point start = Clock::now();
        WorkerPtr worker = StartPackageDownload(server, progress, buffer, 1132);
        ASSERT_NE(worker, nullptr);
        if (c.times == ScriptedHttpServer::Always)
        {
            // The retries back off: at least 3/4 of 1 s, 2 s and 4 s pass before the fourth answer.
            EXPECT_TRUE(server.WaitFor(AtLeast(4)));
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(4500));
            EXPECT_EQ(Progress(progress), 0.0f);
            worker.reset();
            EXPECT_EQ(buffer.Size(), 0u);
        }
        else
        {
            EXPECT_TRUE(Eventually([&] { return Progress(progress) == 1.0f; }));
            worker.reset();
            EXPECT_TRUE(Contents(buffer) == resource.substr(0, 1132));
            EXPECT_EQ(server.Requests().size(), 3u);
        }
        for (const std::string& range : RangesOf(server.Requests()))
            EXPECT_EQ(range, "bytes=0-1131");
    }
}

// Redirects are recorded under the URL the download was asked for, so later downloads on the same handle go
// straight to the last target.
TEST(WebDownload, RedirectChainIsFollowedAndRemembered)
{
    const std::string resource = Pattern(3000);
    ScriptedHttpServer server;
    server.Serve("/data", resource);
    server.Script("/a", Status(302, server.Url("/b")));
    server.Script("/b", Status(301, server.Url("/c")));
    server.Script("/c", Status(303, server.Url("/data")));
    HandlePtr handle(CreateWebHandle(false));

    DataBuffer first;
    DownloadWhole(server.Url("/a"), first, 0, 1132, handle.get());
    EXPECT_TRUE(Contents(first) == resource.substr(0, 1132));
    EXPECT_EQ(PathsOf(server.Requests()), (std::vector<std::string>{"/a", "/b", "/c", "/data"}));

    DataBuffer second;
    DownloadWhole(server.Url("/a"), second, 1132, 2000, handle.get());
    EXPECT_TRUE(Contents(second) == resource.substr(1132, 868));
    Seen seen = server.Requests();
    EXPECT_EQ(PathsOf(seen), (std::vector<std::string>{"/a", "/b", "/c", "/data", "/data"}));
    EXPECT_EQ(RangesOf(seen).back(), "bytes=1132-1999");
}

// Eight targets are recorded for one request URL; the ninth redirect is not followed and fails the attempt,
// on a worker (which retries) and in the multi pump (which does not).
TEST(WebDownload, RedirectLoopEndsAfterEightTargets)
{
    const std::vector<std::string> loop = {"/a", "/b", "/a", "/b", "/a", "/b", "/a", "/b", "/a"};
    for (bool multi : {false, true})
    {
        SCOPED_TRACE(multi ? "multi" : "worker");
        ScriptedHttpServer server;
        server.Script("/a", Status(302, server.Url("/b")));
        server.Script("/b", Status(302, server.Url("/a")));
        HandlePtr handle(CreateWebHandle(multi));
        float progress = 0.5f;
        DataBuffer buffer;
        WorkerPtr worker(
            StartDownload(&progress, Wide(server.Url("/a")).Text(), &buffer, 0, 1132, handle.get(), u""));
        if (multi)
        {
            EXPECT_EQ(worker.get(), nullptr);
            EXPECT_TRUE(Eventually([&] { return PumpTransfers(handle.get()) == 1; }));
            EXPECT_EQ(PathsOf(server.Requests()), loop);
        }
        else
        {
            ASSERT_NE(worker, nullptr);
            // The tenth request is the retry: the first attempt has ended.
            EXPECT_TRUE(server.WaitFor(AtLeast(10)));
            EXPECT_EQ(Progress(progress), 0.0f);
            worker.reset();
            std::vector<std::string> paths = PathsOf(server.Requests());
            paths.resize(loop.size());
            EXPECT_EQ(paths, loop);
        }
        EXPECT_EQ(Progress(progress), 0.0f);
        EXPECT_EQ(buffer.Size(), 0u);
    }
}

// While the server holds the body back, progress shows the share received, capped below 1.0.
TEST(WebDownload, ProgressStaysBelowOneUntilTheTransferEnds)
{
    struct Case
    {
        size_t size;
        int64_t stallAfter;
        float stalled; // progress while stalled
    } cases[] = {
        {200000, 50000, 0.25f}, {20000, 19999, 0.9999f}, // 0.99995 received
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.size);
        const std::string resource = Pattern(c.size);
        ScriptedHttpServer server;
        server.Serve(Package, resource);
        server.Script(Package, StallAfter(c.stallAfter), 1);
        float progress = 0.0f;
        DataBuffer buffer;
        WorkerPtr worker(
            StartDownload(&progress, Wide(server.Url(Package)).Text(), &buffer, 0, -1, nullptr, u""));
        ASSERT_NE(worker, nullptr);
        EXPECT_TRUE(Eventually([&] { return Progress(progress) == c.stalled; }));
        for (int sample = 0; sample < 50; ++sample)
        {
            EXPECT_EQ(Progress(progress), c.stalled);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        server.ReleaseStalls();
        EXPECT_TRUE(Eventually([&] { return Progress(progress) == 1.0f; }));
        worker.reset();
        EXPECT_TRUE(Contents(buffer) == resource);
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

// Stopping the worker ends the download in every phase without waiting for the server.
TEST(WebDownload, StopEndsTheDownloadPromptly)
{
    struct Case
    {
        const char* name;
        Reply reply;
        std::function<bool(const Seen&)> running; // the phase the stop comes in
    } cases[] = {
        {"stalled mid-body", StallAfter(1000),
         [](const Seen& seen) { return !seen.empty() && seen[0].bodySent == 1000; }},
        {"waiting for the answer", Delay(60000), AtLeast(1)},
        {"waiting to retry", Status(404),
         [](const Seen& seen) { return !seen.empty() && seen[0].status == 404; }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Serve(Package, Pattern(3000));
        server.Script(Package, c.reply);
        float progress = 0.0f;
        DataBuffer buffer;
        WorkerPtr worker(
            StartDownload(&progress, Wide(server.Url(Package)).Text(), &buffer, 0, -1, nullptr, u""));
        ASSERT_NE(worker, nullptr);
        ASSERT_TRUE(server.WaitFor(c.running));
        const Clock::time_point start = Clock::now();
        worker.reset();
        EXPECT_LT(Clock::now() - start, Promptly);
    }
}

// The stop reaches a transfer that is under way through libcurl's progress callback: the connection goes and
// the trace says which thread gave up.
TEST_F(WebDownloadTrace, StopAbortsTheRunningTransfer)
{
    ScriptedHttpServer server;
    server.Serve(Package, Pattern(3000));
    server.Script(Package, StallAfter(1000));
    float progress = 0.0f;
    DataBuffer buffer;
    WorkerPtr worker = StartPackageDownload(server, progress, buffer, -1);
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(server.WaitFor([](const Seen& seen) { return !seen.empty() && seen[0].bodySent == 1000; }));
    const std::u16string aborted =
        Text(Format(u"[WS] Web download aborted at thread %d", int(worker->ThreadId())));
    worker.reset();

    EXPECT_TRUE(server.WaitFor([](const Seen& seen) { return seen[0].body == Body::Lost; }, Promptly));
    EXPECT_EQ(server.Requests().size(), 1u);
    std::vector<std::u16string> lines = Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), aborted), 1);
}

// In multi mode the transfer runs in PumpTransfers; nothing retries, so every failure ends with 0.0.
TEST(WebDownload, MultiDownloadRunsInThePump)
{
    const std::string resource = Pattern(3000);
    struct Case
    {
        const char* name;
        Reply reply;
        bool succeeds; // progress 1.0 and the range in the buffer; else progress 0.0
        size_t requests;
    } cases[] = {
        {"ranged answer", Reply(), true, 1},
        {"relative redirect", Status(302, "/data"), true, 2},
        {"connection dropped", DropAfter(500), false, 1},
        {"not found", Status(404), false, 1},
        {"answer larger than the range", IgnoreRange(), false, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Serve(Package, resource);
        server.Serve("/data", resource);
        server.Script(Package, c.reply, 1);
        HandlePtr handle(CreateWebHandle(true));
        float progress = 0.5f;
        DataBuffer buffer;
        EXPECT_EQ(
            StartDownload(&progress, Wide(server.Url(Package)).Text(), &buffer, 0, 1132, handle.get(), u""),
            nullptr);
        EXPECT_TRUE(Eventually([&] { return PumpTransfers(handle.get()) == 1; }));
        EXPECT_EQ(progress, c.succeeds ? 1.0f : 0.0f);
        EXPECT_TRUE(!c.succeeds || Contents(buffer) == resource.substr(0, 1132));
        Seen seen = server.Requests();
        EXPECT_EQ(seen.size(), c.requests);
        for (const std::string& range : RangesOf(seen))
            EXPECT_EQ(range, "bytes=0-1131");
    }
}

TEST(WebDownload, PostedRequestsReachTheServerAndAreCleanedUp)
{
    ScriptedHttpServer server;
    HandlePtr handle(CreateWebHandle(true));
    HandlePtr single(CreateWebHandle(false));
    EXPECT_EQ(PumpTransfers(handle.get()), 1); // nothing runs
    EXPECT_EQ(PumpTransfers(single.get()), 0);
    EXPECT_EQ(PumpTransfers(nullptr), 0);

    PostRequest(single.get(), Wide(server.Url("/ignored")).Text()); // only a multi handle posts
    const std::vector<std::string> targets = {"/report?sg=1", "/report?sg=3&pg=0.100000", "/tick?f=1"};
    for (const std::string& target : targets)
        PostRequest(handle.get(), Wide(server.Url(target)).Text());
    EXPECT_TRUE(Eventually([&] { return PumpTransfers(handle.get()) == 1; }));

    std::vector<std::string> seen;
    for (const auto& request : server.Requests())
        seen.push_back(request.target);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, targets);

    // Posts still running when the handle goes are dropped with it.
    server.Script("/slow", StallAfter(0));
    server.Serve("/slow", "x");
    PostRequest(handle.get(), Wide(server.Url("/slow")).Text());
    EXPECT_TRUE(Eventually(
        [&]
        {
            PumpTransfers(handle.get());
            return server.Requests().size() == 4;
        }));
    handle.reset();
    EXPECT_TRUE(server.WaitFor([](const Seen& seen) { return seen[3].body == Body::Lost; }, Promptly));
}

// The probe reads the announced type and length and drops the connection instead of reading the body.
TEST(WebDownload, QueryRemoteFileReadsOnlyTheAnnouncement)
{
    const size_t size = 5000000;
    ScriptedHttpServer server;
    server.Serve(Package, Pattern(size), "application/x-zoa");
    server.Script(Package, StallAfter(1000));

    RemoteFile answer;
    answer.contentType = u"unset";
    answer.contentLength = -7;
    const Clock::time_point start = Clock::now();
    QueryRemoteFile(Wide(server.Url(Package)).Text(), answer);
    EXPECT_LT(Clock::now() - start, Promptly);
    EXPECT_EQ(Text(answer.contentType), u"application/x-zoa");
    EXPECT_EQ(answer.contentLength, int64_t(size));
    EXPECT_TRUE(server.WaitFor(
        [](const Seen& seen) { return seen.size() == 1 && seen[0].body == Body::Lost; }, Promptly));
    EXPECT_LT(server.Requests()[0].bodySent, int64_t(size));

    // Any other answer leaves both untouched.
    QueryRemoteFile(Wide(server.Url("/missing")).Text(), answer);
    EXPECT_EQ(Text(answer.contentType), u"application/x-zoa");
    EXPECT_EQ(answer.contentLength, int64_t(size));
}

// A handle's header lines go with every transfer on it, also lines added after the first; cookie and range
// belong to one download and are not carried over to the next.
TEST_F(WebDownloadTrace, HandleSendsItsHeadersAndEachDownloadItsOwnCookie)
{
    const std::string resource = Pattern(3000);
    ScriptedHttpServer server;
    server.Serve(Package, resource);
    HandlePtr handle(CreateWebHandle(false));
    AddHeader(handle.get(), u"Host: cdn.example");
    DataBuffer buffer;
    DownloadWhole(server.Url(Package), buffer, 0, 1132, handle.get(), u"session=42; user=7");
    AddHeader(handle.get(), u"X-Late: 1");
    DownloadWhole(server.Url(Package), buffer, 0, -1, handle.get(), u"");

    Seen seen = server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& request : seen)
    {
        EXPECT_EQ(request.host, "cdn.example");
        EXPECT_EQ(request.userAgent, WebUserAgent());
        EXPECT_EQ(request.userAgent.rfind("Zelto3DLoader/", 0), 0u) << request.userAgent;
        EXPECT_EQ(HeaderOf(request, "Accept"), "*/*");
        EXPECT_EQ(HeaderOf(request, "Connection"), "Keep-Alive");
    }
    EXPECT_EQ(seen[0].cookie, "session=42; user=7");
    EXPECT_EQ(seen[0].range, "bytes=0-1131");
    EXPECT_EQ(HeaderOf(seen[0], "X-Late"), "");
    EXPECT_EQ(seen[1].cookie, "");
    EXPECT_EQ(seen[1].range, "");
    EXPECT_EQ(HeaderOf(seen[1], "X-Late"), "1");
    EXPECT_TRUE(Contents(buffer) == resource);

    const std::string port = server.Url("").substr(server.Url("").rfind(':'));
    EXPECT_EQ(Narrow(EndpointText(handle.get(), false)), "127.0.0.1" + port);
    EXPECT_EQ(Narrow(EndpointText(handle.get(), true)).rfind("127.0.0.1:", 0), 0u);
    EXPECT_GT(DownloadSpeed(handle.get()), 0.0f);
    EXPECT_EQ(Narrow(EndpointText(nullptr, true)), "NA");
    EXPECT_EQ(DownloadSpeed(nullptr), 0.0f);

    // A download on a handle of its own names both ends in the trace when it finishes.
    DownloadWhole(server.Url(Package), buffer, 0, 1132, nullptr);
    std::vector<std::u16string> lines = Lines();
    auto finish = std::find_if(lines.begin(), lines.end(),
                               [](const std::u16string& line)
                               { return line.rfind(u"[WS] Web download finish : 127.0.0.1:", 0) == 0; });
    ASSERT_NE(finish, lines.end());
    const std::u16string remote = Text(Wide(" <-> 127.0.0.1" + port + " (206)"));
    EXPECT_EQ(finish->substr(finish->size() - remote.size()), remote);
}

// A connection that breaks after the last byte of the range leaves nothing to ask for: the download is done,
// not retried without a range.
TEST(WebDownload, RangeThatArrivedWholeIsDoneWhenTheConnectionBreaks)
{
    const std::string resource = Pattern(3000);
    ScriptedHttpServer server;
    server.Serve(Package, resource);
    Reply broken = IgnoreRange(); // the whole resource announced, the connection closed after the range
    broken.dropAfter = 1132;
    server.Script(Package, broken);
    DataBuffer buffer;
    DownloadWhole(server.Url(Package), buffer, 0, 1132, nullptr);
    EXPECT_TRUE(Contents(buffer) == resource.substr(0, 1132));
    EXPECT_EQ(RangesOf(server.Requests()), std::vector<std::string>{"bytes=0-1131"});
}

// A report to a server that never answers is given up, so reports cannot pile up.
TEST(WebDownload, PostedRequestWithoutAnswerIsGivenUp)
{
    ScriptedHttpServer server;
    server.Serve("/report", "ok");
    server.Script("/report", Delay(120000));
    HandlePtr handle(CreateWebHandle(true));
    PostRequest(handle.get(), Wide(server.Url("/report")).Text());
    EXPECT_TRUE(Eventually([&] { return PumpTransfers(handle.get()) == 1 && !server.Requests().empty(); },
                           std::chrono::seconds(60)));
}

namespace
{

// Keeps what it is given, in order; refuses the block that would take it past `refuseFrom` bytes.
class RecordingSink : public ByteSink
{
public:
    explicit RecordingSink(size_t refuseFrom) : mRefuseFrom(refuseFrom) {}
    bool Take(const uint8_t* bytes, uint32_t count) override
    {
        if (mBytes.size() + count > mRefuseFrom)
            return false;
        mBytes.append(reinterpret_cast<const char*>(bytes), count);
        return true;
    }
    const std::string& Bytes() const { return mBytes; }

private:
    size_t mRefuseFrom;
    std::string mBytes;
};

} // namespace

// A sink takes each byte of the range once, in order, also across a broken connection and a redirect; when it
// refuses bytes the download ends at once, without a retry.
TEST(WebDownload, SinkTakesTheRangeOnceAndMayEndIt)
{
    const std::string resource = Pattern(300000);
    struct Case
    {
        const char* name;
        std::string path;
        int64_t dropAfter; // of the first answer; -1: none
        size_t refuseFrom;
        std::vector<std::string> ranges;
    } cases[] = {
        {"whole range", Package, -1, resource.size(), {"bytes=1200-250199"}},
        {"resumed after a broken connection",
         Package,
         1000,
         resource.size(),
         {"bytes=1200-250199", "bytes=2200-250199"}},
        {"through a redirect", "/moved", -1, resource.size(), {"bytes=1200-250199", "bytes=1200-250199"}},
        {"refused", Package, -1, 5000, {"bytes=1200-250199"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        server.Serve(Package, resource);
        server.Script("/moved", Status(302, server.Url(Package)));
        if (c.dropAfter >= 0)
            server.Script(Package, DropAfter(c.dropAfter), 1);
        HandlePtr handle(CreateWebHandle(false));
        RecordingSink sink(c.refuseFrom);
        float progress = 0.0f;
        WorkerPtr worker(
            StartDownload(&progress, Wide(server.Url(c.path)).Text(), &sink, 1200, 250200, handle.get()));
        ASSERT_NE(worker, nullptr);
        EXPECT_TRUE(Eventually([&] { return Progress(progress) == 1.0f; }));
        worker.reset();
        std::string expected = resource.substr(1200, 249000);
        if (c.refuseFrom < expected.size())
            EXPECT_TRUE(sink.Bytes().size() <= c.refuseFrom &&
                        expected.compare(0, sink.Bytes().size(), sink.Bytes()) == 0);
        else
            EXPECT_TRUE(sink.Bytes() == expected);
        EXPECT_EQ(RangesOf(server.Requests()), c.ranges);
    }
}
