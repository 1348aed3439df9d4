// How the loader copes when a run goes wrong: restarts, slow or failing servers, damaged or stale files, and
// an engine that calls back while it is deleted. Through the exports, with a real server and real files.
#include "LoaderRoadFixture.h"

#include "Common/Md5.h"
#include "Loader/PackageHeader.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

using namespace Zelto;
using Reply = ScriptedHttpServer::Reply;
using Clock = std::chrono::steady_clock;

namespace
{

PackageHeader& HeaderOf(std::string& package)
{
    return *reinterpret_cast<PackageHeader*>(&package[0]);
}

std::string RangeOf(const PackageEntry& entry)
{
    return "bytes=" + std::to_string(entry.offset) + "-" + std::to_string(entry.offset + entry.size - 1);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

Reply StallAfter(int64_t bytes)
{
    Reply reply;
    reply.stallAfter = bytes;
    return reply;
}

} // namespace

// A file that could not be written is kept only within its own run: after a restart the next file tick must
// not write whatever the new download has brought so far.
TEST_F(LoaderRoad, RestartDropsTheFileKeptForSaving)
{
    std::vector<PackageFile> files = DemoFiles();
    std::string package = BuildPackage(files);
    server.Serve("/game.zoa", package);
    std::filesystem::create_directory(folder.Native(u"game\\plain.cfg"));
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Contains(TraceLog(), "Cannot write plain.cfg"); })) << TraceLog();

    // The second run starts again from the first URL: its header and length probe are answered, its fetch of
    // plain.cfg stalls before any byte.
    server.Script("/game.zoa", Reply(), 2);
    server.Script("/game.zoa", StallAfter(0), 1);
    std::filesystem::remove(folder.Native(u"game\\plain.cfg"));
    Setup(u"zoaurl", server.Url("/game.zoa"));
    const std::string plainRange = RangeOf(HeaderOf(package).entries[3]);
    ASSERT_TRUE(TickUntil(
        [&]
        {
            std::vector<ScriptedHttpServer::Request> requests = RequestsFor("/game.zoa");
            return std::count_if(requests.begin(), requests.end(),
                                 [&](const ScriptedHttpServer::Request& r)
                                 { return r.range == plainRange; }) == 2;
        }))
        << TraceLog();
    const Clock::time_point stalled = Clock::now();
    TickUntil([&] { return Running() || Clock::now() - stalled > std::chrono::seconds(2); });
    EXPECT_FALSE(Running()) << "the engine started before plain.cfg arrived";
    server.ReleaseStalls();
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_EQ(GameFile(u"plain.cfg"), files[2].bytes);
}

// Two files are fetched at once; a loader deleted while both are on their way ends both transfers and
// writes neither of them, nor anything it had unpacked so far.
TEST_F(LoaderRoad, DeleteWhileTwoFilesAreInFlightWritesNeither)
{
    std::vector<PackageFile> files = DemoFiles();
    std::string package = BuildPackage(files);
    server.Serve("/game.zoa", package);
    server.Script("/game.zoa", Reply(), 2); // the header and the length probe
    server.Script("/game.zoa", StallAfter(40));
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return RequestsFor("/game.zoa").size() == 4; })) << TraceLog();
    Delete();
    server.ReleaseStalls();
    // The two lanes ask in either order.
    std::vector<std::string> ranges;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
        ranges.push_back(request.range);
    std::vector<std::string> inFlight = {RangeOf(HeaderOf(package).entries[0]),
                                         RangeOf(HeaderOf(package).entries[1])};
    EXPECT_TRUE(std::is_permutation(ranges.begin() + 2, ranges.end(), inFlight.begin(), inFlight.end()));
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"game\\zelto3d.zob")));
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"game\\data.txt")));
}

// The sample engine presents a blank frame from its delete (when asked); a host whose present runs its
// message loop calls the plug-in again while the loader goes.
TEST_F(LoaderRoad, CallsDuringTeardownFindNoLoader)
{
#ifdef _WIN32
    GTEST_SKIP() << "the engine reaches the host through a surface's present on Linux only";
#else
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    server.Serve("/tick", "ok");
    struct Host
    {
        Plugin* plugin;
        int presents;
    } host{&plugin, 0};
    std::vector<uint32_t> pixels(64 * 48);
    ZeltoSurface surface{64, 48, pixels.data(),
                         [](ZeltoSurface* self)
                         {
                             auto* reentered = static_cast<Host*>(self->user);
                             ++reentered->presents;
                             reentered->plugin->update(0, 16);
                         },
                         &host};
    ASSERT_EQ(plugin.create(&surface, 0, 0, 0, 0), 1);
    created = true;
    Setup(u"tickurl", server.Url("/tick?t=1")); // the report handle exists
    Setup(u"zoaparam", "blankondelete|1");
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    int before = host.presents;
    Delete();
    EXPECT_EQ(host.presents, before + 1);
    // The update made from inside the delete reached no loader, so the engine was not updated after it.
    std::string calls = EngineCalls();
    EXPECT_EQ(calls.substr(calls.size() - 7), "delete\n");
#endif
}

// A package handle made again (after an engine that could not load) still names the CDN's host.
TEST_F(LoaderRoad, CdnHostLineSurvivesANewPackageHandle)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    server.Serve("/tick", "ok");
    Create(2); // the engine comes from the folder, which has none yet
    Setup(u"tickurl", server.Url("/tick?t=1"));
    Setup(u"cdnip", "127.0.0.1");
    Setup(u"zoatimeout", "300");
    std::string port = server.Url("").substr(std::string("http://127.0.0.1:").size());
    const std::string url = "http://zelto-cdn.invalid:" + port + "/game.zoa";
    Setup(u"zoaurl", url);
    ASSERT_TRUE(TickUntil(
        [&]
        {
            std::vector<int> states = ReportedStates();
            return std::find(states.begin(), states.end(), 4) != states.end();
        }));
    DataBuffer engine;
    ASSERT_TRUE(LoadFile(engine, EngineModulePath().Text()));
    ASSERT_TRUE(SaveFile(u"zelto3d.zob", engine.Data(), engine.Size()));
    size_t firstRun = RequestsFor("/game.zoa").size();
    Setup(u"zoaurl", url);
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();

    std::vector<ScriptedHttpServer::Request> requests = RequestsFor("/game.zoa");
    ASSERT_GT(requests.size(), firstRun);
    for (size_t i = 0; i < requests.size(); ++i)
    {
        if (!requests[i].range.empty())
            EXPECT_EQ(requests[i].host, "zelto-cdn.invalid") << "request " << i << " of " << requests.size();
    }
}

// The length probe of a server that answers late runs beside the host's thread, never in it.
TEST_F(LoaderRoad, SlowLengthProbeDoesNotHoldTheHost)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Reply late;
    late.delayMs = 60000;
    server.Script("/game.zoa", Reply(), 1); // the header
    server.Script("/game.zoa", late, 1);    // the length probe
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    Clock::duration longest{};
    const Clock::time_point start = Clock::now();
    for (int after = 0; after < 50 && Clock::now() - start < std::chrono::seconds(30);)
    {
        const Clock::time_point before = Clock::now();
        plugin.update(0, 16);
        longest = std::max(longest, Clock::now() - before);
        after += RequestsFor("/game.zoa").size() >= 2 ? 1 : 0;
        HostSleep(5);
    }
    EXPECT_LT(longest, std::chrono::seconds(2));
    const Clock::time_point deleting = Clock::now();
    Delete();
    EXPECT_LT(Clock::now() - deleting, std::chrono::seconds(5));
}

// Files that are current count as done, so the bar never drops when the next file starts.
TEST_F(LoaderRoad, ProgressNeverFallsBack)
{
    std::vector<PackageFile> files = DemoFiles();
    server.Serve("/game.zoa", BuildPackage(files));
    folder.WriteBytes(Game(u"data.txt").c_str(), files[0].bytes);
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    std::vector<float> seen;
    ASSERT_TRUE(TickUntil(
        [&]
        {
            seen.push_back(plugin.progress());
            return Running();
        }));
    for (size_t i = 1; i < seen.size(); ++i)
        ASSERT_GE(seen[i], seen[i - 1]) << "at tick " << i;
}

// An engine module whose digest was not matched in this run is never loaded, also when the header offers
// no bytes to fetch it.
TEST_F(LoaderRoad, StaleEngineModuleIsNotLoaded)
{
    std::vector<PackageFile> files = DemoFiles();
    std::string package = BuildPackage(files);
    PackageHeader& header = HeaderOf(package);
    // Entry 0 claims no bytes and another digest; a section takes its bytes so that the length adds up.
    header.sectionA.sectionSize += header.entries[0].size;
    header.entries[0].size = 0;
    header.entries[0].digest[0] ^= 1;
    server.Serve("/game.zoa", package);
    DataBuffer engine;
    ASSERT_TRUE(LoadFile(engine, EngineModulePath().Text()));
    ASSERT_TRUE(SaveFile(u"zelto3d.zob", engine.Data(), engine.Size()));
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    const char refusal[] = "The engine module zelto3d.zob does not match the package: not loaded";
    // The refusal comes a few ticks after the files on a busy machine: wait for it, not for a tick count.
    ASSERT_TRUE(TickUntil([&] { return Running() || Contains(TraceLog(), refusal); })) << TraceLog();
    for (int i = 0; i < 10; ++i)
        plugin.update(0, 16);
    EXPECT_FALSE(Running());
}

// A damaged file and a rejected header are fetched again only after a pause that grows: 1 s, 2 s, ...
TEST_F(LoaderRoad, RepeatedFailuresBackOff)
{
    std::string package = BuildPackage(DemoFiles());
    const PackageEntry plain = HeaderOf(package).entries[3];
    struct Case
    {
        const char* name;
        std::function<void(std::string&)> damage;
        std::string range; // of the request that fails
    };
    const Case cases[] = {
        {"damaged-file", [&](std::string& p) { p[plain.offset] ^= 0x55; }, RangeOf(plain)},
        {"rejected-header", [](std::string& p) { std::memset(HeaderOf(p).keyDigest, 0, 16); },
         "bytes=0-1131"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string bad = package;
        c.damage(bad);
        const std::string path = std::string("/") + c.name;
        server.Serve(path, bad);
        Create();
        Setup(u"zoaurl", server.Url(path));
        const Clock::time_point start = Clock::now();
        TickUntil([&] { return Clock::now() - start > std::chrono::milliseconds(3500); });
        size_t failing = 0;
        for (const ScriptedHttpServer::Request& request : RequestsFor(path))
            failing += request.range == c.range;
        // Without a pause it would be one request per tick or two.
        EXPECT_GE(failing, 2u);
        EXPECT_LE(failing, 4u);
        Delete();
    }
}

// A length of 4 GiB and more is compared whole: the package announced 4 GiB longer than its header makes it
// is not the package.
TEST_F(LoaderRoad, AnnouncedLengthIsComparedInSixtyFourBits)
{
    if (sizeof(size_t) < 8)
        GTEST_SKIP() << "the test server announces lengths in size_t";
    std::string package = BuildPackage(DemoFiles());
    server.Serve("/long.zoa", package);
    server.Serve("/good.zoa", package);
    Reply longer;
    longer.announceLength = int64_t(package.size()) + (int64_t(1) << 32);
    server.Script("/long.zoa", Reply(), 1); // the header
    server.Script("/long.zoa", longer, 1);  // the length probe
    Create();
    Setup(u"zoaurl", server.Url("/long.zoa") + "|" + server.Url("/good.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_TRUE(Contains(TraceLog(), "Zoa not correct, try backup url: " + server.Url("/good.zoa")));
}
