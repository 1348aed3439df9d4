// From URL to running engine, end to end through the exports with a real server.
#include "LoaderRoadFixture.h"

#include "Common/Md5.h"
#include "Loader/PackageHeader.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "support/Text.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace Zelto;

namespace
{

// The package's header bytes, to patch a served copy.
PackageHeader& HeaderOf(std::string& package)
{
    return *reinterpret_cast<PackageHeader*>(&package[0]);
}

void SetEntryName(std::string& package, uint32_t entry, const char16_t* name)
{
    char16_t(&field)[PackageTextUnits] = HeaderOf(package).entries[entry].name;
    std::memset(field, 0, sizeof field);
    for (uint32_t i = 0; name[i] != 0 && i < PackageTextUnits; ++i)
        field[i] = name[i];
}

// Entries 0 to 2 claim 0x7FFFFFFE, 0x7FFFFFFF and 3 bytes at offset 0 (each range within 31 bits), 2^32 in
// all beside the real ones; the package is cut to the length a 32-bit sum would expect.
void WrapEntrySizes(std::string& package)
{
    PackageHeader& header = HeaderOf(package);
    const uint32_t sizes[] = {0x7FFFFFFE, 0x7FFFFFFF, 3};
    uint64_t rest = 0;
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
        rest += i < 3 ? 0 : header.entries[i].size;
    uint64_t taken = 0;
    for (uint32_t i = 0; i < 3; ++i)
    {
        taken += header.entries[i].size;
        header.entries[i].offset = 0;
        header.entries[i].size = sizes[i];
    }
    package.resize(package.size() - size_t(taken));
    ASSERT_EQ(package.size(),
              sizeof(PackageHeader) + rest + header.sectionA.sectionSize + header.sectionB.sectionSize);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(LoaderRoad, WholeRoadFromUrlToRunningEngine)
{
    std::vector<PackageFile> files = DemoFiles();
    server.Serve("/game.zoa", BuildPackage(files));
    server.Serve("/tick", "ok");
    Create();
    Setup(u"appversion", "1.0");
    Setup(u"tickinterval", "100000");
    Setup(u"tickurl", server.Url("/tick?game=demo"));
    Setup(u"zoaparam", "host|1.2.3.4:8000||");
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();

    // Reports travel on connections of their own, so they may arrive in any order.
    ASSERT_TRUE(TickUntil([&] { return ReportedStates().size() >= 5; }));
    std::vector<int> states = ReportedStates();
    std::sort(states.begin(), states.end());
    EXPECT_EQ(states, (std::vector<int>{0, 3, 4, 5, 6}));
    for (const PackageFile& file : files)
        EXPECT_EQ(GameFile(file.name.c_str()), file.bytes) << file.bytes.size();
    EXPECT_EQ(FileMd5(u"zelto3d.zob"), FileMd5(EngineModulePath().Text()));

    // The tick URL as the loader built it is the tick start request without its "&sg=0".
    std::string tickStart;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/tick"))
        if (request.target.size() > 5 && request.target.substr(request.target.size() - 5) == "&sg=0")
            tickStart = request.target;
    std::string tickUrl = server.Url("") + tickStart.substr(0, tickStart.size() - 5);
    std::string expectedCreate =
        "create magic=0f0a0f0a version=2 cacheName=demo module=zelto3d.zob url=" + server.Url("/game.zoa") +
        " reserved=0 parameters=host|1.2.3.4:8000|tickurl|" + tickUrl + "&sg=4&av=1.0|tickinterval|100000\n";
    std::string calls = EngineCalls();
    EXPECT_EQ(calls.substr(0, expectedCreate.size()), expectedCreate);

    plugin.update(0, 33);
    plugin.render();
    EXPECT_EQ(plugin.message(0, 7, 8, 9), 1007);
    calls = EngineCalls();
    EXPECT_TRUE(Contains(calls, "update elapsed=33 ready=1\n"));
    EXPECT_TRUE(Contains(calls, "render frame="));
    EXPECT_TRUE(Contains(calls, "message msg=7 wParam=8 lParam=9 result=1007\n"));
    EXPECT_FLOAT_EQ(plugin.progress(), 1.0f);
}

// Each dead URL moves the bar by 1 %; back at the first URL it stays where it was, as progress never falls
// within a run, and the first URL waits out its back-off.
TEST_F(LoaderRoad, DeadUrlsAreTriedInTurnAsEachTimeOutPasses)
{
    Create();
    Setup(u"zoatimeout", "150");
    // Nothing listens on port 9 of the loopback: every attempt fails at once.
    Setup(u"zoaurl", "http://127.0.0.1:9/a.zoa|http://127.0.0.1:9/b.zoa|http://127.0.0.1:9/c.zoa");
    std::vector<float> seen;
    ASSERT_TRUE(TickUntil(
        [&]
        {
            float progress = plugin.progress();
            if (progress != 0.0f && (seen.empty() || seen.back() != progress))
                seen.push_back(progress);
            return Contains(TraceLog(),
                            "Download zoa header failed, try backup url: http://127.0.0.1:9/a.zoa");
        }));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FLOAT_EQ(seen[0], 0.01f);
    EXPECT_FLOAT_EQ(seen[1], 0.02f);
    EXPECT_FLOAT_EQ(seen[2], 0.03f);
    std::string log = TraceLog();
    EXPECT_TRUE(Contains(log, "Download zoa header failed, try backup url: http://127.0.0.1:9/b.zoa"));
    EXPECT_TRUE(
        Contains(log, "[Loader] http://127.0.0.1:9/a.zoa is tried again in 1 s (failure 1 in a row)"));
}

TEST_F(LoaderRoad, RejectedHeaderMovesToTheNextUrl)
{
    struct Case
    {
        const char* name;
        std::function<void(std::string&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"short", [](std::string& p) { p.resize(1000); }, "Zoa header size not correct, try backup url: "},
        {"key", [](std::string& p) { std::memset(HeaderOf(p).keyDigest, 0, 16); },
         "The Key in header is not correct: 00000000000000000000000000000000"},
        {"magic", [](std::string& p) { HeaderOf(p).magic = 0x12345678; },
         "The Key in header is not correct: "},
        {"length", [](std::string& p) { p += std::string(16, 'x'); }, "Zoa not correct, try backup url: "},
        {"parent", [](std::string& p) { SetEntryName(p, 1, u"..\\evil.txt"); }, "Unsafe package header"},
        {"absolute", [](std::string& p) { SetEntryName(p, 1, u"/tmp/evil.txt"); }, "Unsafe package header"},
        {"drive", [](std::string& p) { SetEntryName(p, 1, u"C:\\evil.txt"); }, "Unsafe package header"},
        {"unc", [](std::string& p) { SetEntryName(p, 1, u"\\\\server\\share\\x"); }, "Unsafe package header"},
        {"nested", [](std::string& p) { SetEntryName(p, 1, u"a/../../evil.txt"); }, "Unsafe package header"},
        {"cache", [](std::string& p) { std::memcpy(HeaderOf(p).cacheName, u"..\\..\\x", 16); },
         "Unsafe package header"},
        {"dot", [](std::string& p) { SetEntryName(p, 1, u"."); }, "it names a folder"},
        {"folder", [](std::string& p) { SetEntryName(p, 1, u"levels\\"); }, "it names a folder"},
        {"device", [](std::string& p) { SetEntryName(p, 1, u"nul.txt"); }, "it names a device"},
        {"module", [](std::string& p) { SetEntryName(p, 3, u".\\zelto3d.zob"); }, "name the same file"},
        {"twice", [](std::string& p) { SetEntryName(p, 3, u"data.txt"); }, "name the same file"},
        {"case", [](std::string& p) { SetEntryName(p, 3, u"DATA.TXT"); }, "name the same file"},
        {"separator", [](std::string& p) { SetEntryName(p, 3, u"levels//./map.bin"); }, "name the same file"},
        {"temporary", [](std::string& p) { SetEntryName(p, 3, u"data.txt.ZELTO-NEW"); }, "temporary files"},
        // Sizes whose 32-bit sum wraps to what the package really measures pass the length check unless
        // they are added in 64 bits.
        {"wrapping", WrapEntrySizes, "Unsafe package header: the files add up to"},
    };
    std::string package = BuildPackage(DemoFiles());
    server.Serve("/good.zoa", package);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string bad = package;
        c.damage(bad);
        server.Serve(std::string("/") + c.name + ".zoa", bad);
    }
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Create();
        Setup(u"zoaurl", server.Url(std::string("/") + c.name + ".zoa") + "|" + server.Url("/good.zoa"));
        EXPECT_TRUE(TickUntil([&] { return Running(); }));
        std::string log = TraceLog();
        EXPECT_TRUE(Contains(log, c.message)) << log;
        EXPECT_TRUE(Contains(log, "try backup url: " + server.Url("/good.zoa"))) << log;
        Delete();
    }
    EXPECT_FALSE(FileExists(folder.Path(u"evil.txt").Text()));
}

TEST_F(LoaderRoad, VersionOnePackageAndUnterminatedNames)
{
    std::vector<PackageFile> files = DemoFiles();
    std::string package = BuildPackage(files, 1);
    // 32 units and no NUL: the name is cut to its first 31 units. Version 1 entries start 16 bytes earlier.
    const size_t entry3Name = 140 + 3 * sizeof(PackageEntry);
    for (size_t i = 0; i < PackageTextUnits; ++i)
        std::memcpy(&package[entry3Name + 2 * i], u"x", 2);
    server.Serve("/game.zoa", package);
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_TRUE(Contains(EngineCalls(), "create magic=0f0a0f0a version=1 "));
    EXPECT_EQ(GameFile(std::u16string(PackageTextUnits - 1, u'x').c_str()), files[2].bytes);
}

TEST_F(LoaderRoad, CdnVariantsCarryTheHostHeader)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Create();
    Setup(u"cdnip", "127.0.0.1||");
    Setup(u"zoatimeout", "300");
    // "localhost" answers nowhere useful on port 9; the CDN variant on 127.0.0.1 is the server.
    std::string port = server.Url("").substr(std::string("http://127.0.0.1:").size());
    Setup(u"zoaurl", "http://zelto-cdn.invalid:" + port + "/game.zoa");
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    // Every transfer on the package handle names the CDN's host (the length probe has a handle of its own).
    size_t ranged = 0;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
        if (!request.range.empty())
        {
            EXPECT_EQ(request.host, "zelto-cdn.invalid");
            ++ranged;
        }
    EXPECT_GE(ranged, 4u);
    EXPECT_TRUE(Contains(EngineCalls(), "|cdnhost|zelto-cdn.invalid\n"));
}

TEST_F(LoaderRoad, DamagedFileIsFetchedAgainAndCurrentFilesAreNot)
{
    std::vector<PackageFile> files = DemoFiles();
    std::string package = BuildPackage(files);
    // plain.cfg is already current; data.txt arrives damaged once.
    folder.WriteBytes(Game(u"plain.cfg").c_str(), files[2].bytes);
    std::string damaged = package;
    const PackageEntry& text = HeaderOf(package).entries[1];
    damaged[text.offset + text.size / 2] ^= 0x55;
    server.Serve("/game.zoa", damaged);
    std::string textRange =
        "bytes=" + std::to_string(text.offset) + "-" + std::to_string(text.offset + text.size - 1);
    auto textRequests = [&]
    {
        size_t count = 0;
        for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
            count += request.range == textRange;
        return count;
    };

    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return textRequests() >= 1; }));
    server.Serve("/game.zoa", package);
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_GE(textRequests(), 2u);
    EXPECT_EQ(GameFile(u"data.txt"), files[0].bytes);
    const PackageEntry& plain = HeaderOf(package).entries[3];
    std::string plainRange =
        "bytes=" + std::to_string(plain.offset) + "-" + std::to_string(plain.offset + plain.size - 1);
    for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
        EXPECT_NE(request.range, plainRange);
    // The file fetched beside the damaged one is written once, undisturbed by the refetch.
    EXPECT_EQ(GameFile(u"levels\\map.bin"), files[1].bytes);
    const PackageEntry& map = HeaderOf(package).entries[2];
    std::string mapRange =
        "bytes=" + std::to_string(map.offset) + "-" + std::to_string(map.offset + map.size - 1);
    size_t mapRequests = 0;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
        mapRequests += request.range == mapRange;
    EXPECT_EQ(mapRequests, 1u);
}

TEST_F(LoaderRoad, LaunchModeAboveOneStartsTheEngineWithoutComparingFiles)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    DataBuffer engine;
    ASSERT_TRUE(LoadFile(engine, EngineModulePath().Text()));
    ASSERT_TRUE(SaveFile(u"zelto3d.zob", engine.Data(), engine.Size()));
    for (int32_t mode : {2, -1})
    {
        Create(mode);
        Setup(u"zoaurl", server.Url("/game.zoa"));
        EXPECT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
        Delete();
    }
    for (const ScriptedHttpServer::Request& request : RequestsFor("/game.zoa"))
        EXPECT_TRUE(request.range.empty() || request.range == "bytes=0-1131") << request.range;
    EXPECT_FALSE(FileExists(u"data.txt"));
}

TEST_F(LoaderRoad, ReleaseDelayHoldsUntilAZeroDelay)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Create();
    Setup(u"delay", "-1");
    Setup(u"zoaurl", server.Url("/game.zoa"));
    // The sample engine is ready after 30 updates; held, the loader stays in front.
    ASSERT_TRUE(TickUntil([&] { return Contains(EngineCalls(), "ready=1"); }));
    for (int i = 0; i < 20; ++i)
        plugin.update(0, 16);
    EXPECT_FALSE(Running());
    Setup(u"delay", "0");
    plugin.update(0, 16);
    EXPECT_TRUE(Running());
}

TEST_F(LoaderRoad, LockedEngineModuleIsLoadedFromAPerProcessCopy)
{
#ifndef _WIN32
    GTEST_SKIP() << "a file held open can always be deleted on Linux";
#endif
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    ASSERT_TRUE(SaveFile(u"zelto3d.zob", "old module", 10));
    File lock;
    ASSERT_TRUE(lock.OpenRead(u"zelto3d.zob")); // held without delete sharing
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    String copyName = Format(u"zelto3d-%u.zob", CurrentProcessId());
    EXPECT_TRUE(FileExists(copyName.Text()));
    EXPECT_TRUE(Contains(EngineCalls(), "module=" + Narrow(copyName)));
    Delete();
    EXPECT_FALSE(FileExists(copyName.Text()));
    lock.Close();
}

TEST_F(LoaderRoad, ServerListChoosesTheDefaultEntry)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    std::string list =
        "{\"default\":12,\"7\":[\"Seven\",1,2,3,4,\"http://127.0.0.1:9/wrong.zoa\",7777,\"10.9.9.9\"],"
        "\"12\":[\"Twelve\",1,2,3,4,\"" +
        server.Url("/game.zoa") + "\",7000,\"10.0.0.1\"]}";
    server.Serve("/servers.json", list);
    Create();
    Setup(u"serverdataurl", server.Url("/servers.json"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_TRUE(Contains(EngineCalls(),
                         "url=" + server.Url("/game.zoa") + " reserved=0 parameters=host|10.0.0.1:7000\n"));
}

TEST_F(LoaderRoad, ServerListTexts)
{
    struct Case
    {
        const char* name;
        std::string items;      // the default entry's array, without brackets
        bool fetchesPackage;    // the list gave a package URL
        const char* parameters; // the engine parameter text, when it runs
    };
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    std::string url = server.Url("/game.zoa");
    const Case cases[] = {
        {"complete", "\"A\",1,2,3,4,\"" + url + "\",7000,\"10.0.0.1\"", true, "host|10.0.0.1:7000"},
        {"quoted comma splits", "\"A, B\",2,3,4,\"" + url + "\",7000,\"10.0.0.1\"", true,
         "host|10.0.0.1:7000"},
        {"seven items", "\"A\",1,2,3,4,\"" + url + "\",7000", false, ""},
        {"no url", "\"A\",1,2,3,4,,7000,\"10.0.0.1\"", false, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t before = RequestsFor("/game.zoa").size();
        Create();
        Setup(u"serverdata", "{\"default\":3,\"3\":[" + c.items + "]}");
        if (c.fetchesPackage)
        {
            ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
            EXPECT_TRUE(Contains(EngineCalls(), std::string("parameters=") + c.parameters + "\n"));
        }
        else
        {
            for (int i = 0; i < 20; ++i)
                plugin.update(0, 16);
            EXPECT_EQ(RequestsFor("/game.zoa").size(), before);
        }
        Delete();
    }
}

TEST_F(LoaderRoad, ReportsCarryTheirExactItems)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Create();
    Setup(u"flashversion", "11.2");
    Setup(u"tickinterval", "100");
    Setup(u"tickurl", server.Url("/tick?g=1"));
    Setup(u"appversion", "2.0");
    Setup(u"reporturl", server.Url("/select?id="));
    Setup(u"selectedserver", "12");
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    ASSERT_TRUE(TickUntil(
        [&]
        {
            for (const ScriptedHttpServer::Request& request : RequestsFor("/tick"))
                if (Contains(request.target, "&f=1"))
                    return true;
            return false;
        }));

    std::vector<std::string> targets;
    for (const ScriptedHttpServer::Request& request : RequestsFor("/tick"))
        targets.push_back(request.target);
    std::string start;
    for (const std::string& target : targets)
        if (Contains(target, "&sg=0"))
            start = target;
    // "/tick?g=1&s=<session>&cv=<build>&fv=11.2&sg=0", before the application version was known.
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.rfind("/tick?g=1&s=", 0), 0u) << start;
    EXPECT_TRUE(Contains(start, "&cv=")) << start;
    EXPECT_EQ(start.substr(start.size() - 13), "&fv=11.2&sg=0");
    std::string tickUrl = start.substr(0, start.size() - 5);
    size_t finishes = 0, progressReports = 0;
    for (const std::string& target : targets)
    {
        ASSERT_EQ(target.rfind(tickUrl, 0), 0u) << target;
        std::string items = target.substr(tickUrl.size());
        if (Contains(items, "&f=1"))
        {
            ++finishes;
            EXPECT_EQ(items.rfind("&sg=6&av=2.0&m=0&t=", 0), 0u) << items;
        }
        else if (Contains(items, "&pg="))
        {
            ++progressReports;
            // "&sg=N&pg=0.xxxxxx&av=2.0&m=0&t=<whole seconds>"
            EXPECT_EQ(items.find("&pg="), 5u) << items;
            EXPECT_EQ(items.substr(items.find("&pg=") + 12, 14), "&av=2.0&m=0&t=") << items;
        }
        else if (items != "&sg=0")
        {
            EXPECT_EQ(items.substr(5), "&av=2.0") << items;
        }
    }
    EXPECT_EQ(finishes, 1u);
    EXPECT_GE(progressReports, 1u);
    std::vector<ScriptedHttpServer::Request> selections = RequestsFor("/select");
    ASSERT_EQ(selections.size(), 1u);
    EXPECT_EQ(selections[0].target, "/select?id=12");
}

TEST_F(LoaderRoad, FileThatCannotBeSavedIsWrittenOnceItCan)
{
    std::vector<PackageFile> files = DemoFiles();
    server.Serve("/game.zoa", BuildPackage(files));
    // A folder in the way of plain.cfg: the file cannot be written until it goes.
    std::filesystem::create_directory(folder.Native(u"game\\plain.cfg"));
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(
        TickUntil([&] { return Contains(TraceLog(), "Cannot write plain.cfg, trying again every second"); }));
    size_t requests = RequestsFor("/game.zoa").size();
    for (int i = 0; i < 10; ++i)
        plugin.update(0, 16);
    EXPECT_FALSE(Running());
    std::filesystem::remove(folder.Native(u"game\\plain.cfg"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_EQ(GameFile(u"plain.cfg"), files[2].bytes);
    EXPECT_EQ(RequestsFor("/game.zoa").size(), requests); // the checked bytes were kept, not fetched again
}

TEST_F(LoaderRoad, PackageUrlKeyWithoutUrlChangesNothing)
{
    Create();
    Setup(u"ZOAURL", " | ");
    for (int i = 0; i < 5; ++i)
        plugin.update(0, 16);
    EXPECT_EQ(plugin.progress(), 0.0f);
    EXPECT_TRUE(Contains(TraceLog(), "[Loader] zoaurl without any URL ignored"));
}

TEST_F(LoaderRoad, PackageKeysAfterTheEngineLoadedAreIgnored)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Create();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    Setup(u"zoaurl", server.Url("/game.zoa"));
    Setup(u"serverdataurl", server.Url("/servers.json"));
    plugin.update(0, 16);
    EXPECT_TRUE(Running());
    std::string log = TraceLog();
    EXPECT_TRUE(Contains(log, "[Loader] zoaurl ignored: the engine is already loaded"));
    EXPECT_TRUE(Contains(log, "[Loader] serverdataurl ignored: the engine is already loaded"));
    std::string calls = EngineCalls();
    EXPECT_EQ(calls.find("create "), calls.rfind("create "));
}
