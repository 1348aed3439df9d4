// The sample engine module zelto3d.zob as the loader binds and drives it: the ten exports undecorated,
// progress over the configured number of updates, a frame drawn into the window, and one line per call in
// "zelto3d-calls.txt".
#include "Loader/EngineModule.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/System.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

const ZeltoChar* Wide(const char16_t* text)
{
    return reinterpret_cast<const ZeltoChar*>(text);
}

class SampleEngine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
        String path = Format(u"%ls\\zelto3d.zob", PathDirectory(ExecutablePath().Text(), true).Text());
        engine.module = LoadModule(path.Text());
        ASSERT_NE(engine.module, nullptr);
        for (const Export& entry : Exports())
            *entry.slot = ModuleSymbol(engine.module, entry.name);
    }
    void TearDown() override
    {
        UnloadModule(engine.module);
        ChangeCurrentDirectory(startDirectory.Text());
    }

    struct Export
    {
        const char* name;
        void** slot;
    };
    std::vector<Export> Exports()
    {
        return {
            {"_ZobVersion", reinterpret_cast<void**>(&engine.version)},
            {"_ZobCreate", reinterpret_cast<void**>(&engine.create)},
            {"_ZobDelete", reinterpret_cast<void**>(&engine.destroy)},
            {"_ZobUpdate", reinterpret_cast<void**>(&engine.update)},
            {"_ZobRender", reinterpret_cast<void**>(&engine.render)},
            {"_ZobConfig", reinterpret_cast<void**>(&engine.config)},
            {"_ZobMessage", reinterpret_cast<void**>(&engine.message)},
            {"_ZobProgress", reinterpret_cast<void**>(&engine.progress)},
            {"_ZobSpeed", reinterpret_cast<void**>(&engine.speed)},
            {"_ZobExternalValue", reinterpret_cast<void**>(&engine.externalValue)},
        };
    }

    // The header as the loader holds it.
    PackageHeader Header()
    {
        PackageHeader header{};
        header.magic = PackageMagic;
        header.version = 2;
        std::memcpy(header.cacheName, u"demo", 8);
        std::memcpy(header.entries[0].name, u"zelto3d.zob", 22);
        return header;
    }

    struct Progress
    {
        float progress = -1;
        int32_t resCount = -1, finishCount = -1, resSize = -1, finishSize = -1;
    };
    Progress AskProgress()
    {
        Progress p;
        engine.progress(&p.progress, &p.resCount, &p.finishCount, &p.resSize, &p.finishSize);
        return p;
    }
    float AskSpeed()
    {
        float speed = -1;
        engine.speed(&speed);
        return speed;
    }

    std::vector<std::string> CallLines()
    {
        std::istringstream text(folder.ReadBytes(u"zelto3d-calls.txt"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }

    String startDirectory = CurrentDirectory();
    TempDirectory folder;
    EngineModule engine{};
};

} // namespace

TEST_F(SampleEngine, ExportsTheTenEntryPointsUndecorated)
{
    for (const Export& entry : Exports())
        EXPECT_NE(*entry.slot, nullptr) << entry.name;
    for (const char* other : {"ZobCreate", "__ZobCreate", "_ZobCreate@20", "_ZeltoCreate"})
        EXPECT_EQ(ModuleSymbol(engine.module, other), nullptr) << other;
}

TEST_F(SampleEngine, RecordsEachCallAndBecomesReadyAfterTheConfiguredUpdates)
{
    HostWindow window(64, 48, nullptr);
    PackageHeader header = Header();
    ASSERT_EQ(engine.create(window.Handle(), &header, Wide(u"http://127.0.0.1:8080/game.zoa"),
                            Wide(u"host|1.2.3.4:8000|readyafter|3|tickurl|T&sg=4"), 0),
              1);
    const std::string created = "create magic=0f0a0f0a version=2 cacheName=demo module=zelto3d.zob "
                                "url=http://127.0.0.1:8080/game.zoa reserved=0 "
                                "parameters=host|1.2.3.4:8000|readyafter|3|tickurl|T&sg=4";
    EXPECT_EQ(CallLines(), std::vector<std::string>{created}); // on disk while the engine runs
    engine.config(Wide(u"errurl"), Wide(u"http://127.0.0.1:8080/err"));

    struct Step
    {
        int32_t ready;
        float progress;
        int32_t finishCount;
        float speed;
    } steps[] = {{0, 1.0f / 3, 1, 256}, {0, 2.0f / 3, 2, 256}, {1, 1.0f, 3, 0}, {1, 1.0f, 3, 0}};
    Progress before = AskProgress();
    EXPECT_EQ(before.progress, 0.0f);
    EXPECT_EQ(before.finishCount, 0);
    for (uint32_t i = 0; i < std::size(steps); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(engine.update(window.Handle(), 16 + i), steps[i].ready);
        Progress p = AskProgress();
        EXPECT_FLOAT_EQ(p.progress, steps[i].progress);
        EXPECT_EQ(p.resCount, 3);
        EXPECT_EQ(p.finishCount, steps[i].finishCount);
        EXPECT_EQ(p.resSize, 3 * 4096);
        EXPECT_EQ(p.finishSize, steps[i].finishCount * 4096);
        EXPECT_EQ(AskSpeed(), steps[i].speed);
    }
    engine.render(window.Handle());
    EXPECT_EQ(engine.message(window.Handle(), 0x201, 1, 0x00640064), 0x201 + 1000);
    engine.destroy(window.Handle());

    EXPECT_EQ(CallLines(), (std::vector<std::string>{
                               created,
                               "config errurl=http://127.0.0.1:8080/err",
                               "update elapsed=16 ready=0",
                               "update elapsed=17 ready=0",
                               "update elapsed=18 ready=1",
                               "update elapsed=19 ready=1",
                               "render frame=1 colour=FF10C044 drawn=1",
                               "message msg=513 wParam=1 lParam=6553700 result=1513",
                               "delete",
                           }));
#ifndef _WIN32
    // The frame is in the host's surface, every pixel of it.
    auto* surface = static_cast<ZeltoSurface*>(window.Handle());
    std::vector<uint32_t> pixels(surface->pixels, surface->pixels + 64 * 48);
    EXPECT_EQ(pixels, std::vector<uint32_t>(64 * 48, 0xFF10C044u));
#endif
}

TEST_F(SampleEngine, ReadyAfterComesFromTheParameterPairs)
{
    struct Case
    {
        const char16_t* parameters;
        int32_t readyAfter; // also the resource count
        int32_t updates;    // until ready
    } cases[] = {
        {u"", 30, 30},
        {u"readyafter|3", 3, 3},
        {u"host|1.2.3.4:8000|readyafter|2|", 2, 2},
        {u"x|readyafter|9", 30, 30}, // there "readyafter" is a value, not a name
        {u"readyafter|0", 0, 1},     // ready at the first update
        {u"readyafter|-5", 0, 1},
    };
    PackageHeader header = Header();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(
            std::string(c.parameters, c.parameters + std::char_traits<char16_t>::length(c.parameters)));
        ASSERT_EQ(engine.create(nullptr, &header, Wide(u"u"), Wide(c.parameters), 0), 1);
        int32_t updates = 1;
        while (engine.update(nullptr, 1) == 0 && updates < 100)
            ++updates;
        EXPECT_EQ(updates, c.updates);
        Progress p = AskProgress();
        EXPECT_EQ(p.progress, 1.0f);
        EXPECT_EQ(p.resCount, c.readyAfter);
        EXPECT_EQ(p.finishCount, c.readyAfter);
        engine.destroy(nullptr);
    }

    // Without a header there is nothing to run.
    EXPECT_EQ(engine.create(nullptr, nullptr, Wide(u"u"), Wide(u""), 0), 0);
    EXPECT_EQ(CallLines(), std::vector<std::string>{"create without a header"});
    engine.render(nullptr);
    EXPECT_EQ(CallLines().back(), "render frame=1 colour=FF103044 drawn=0");
}
