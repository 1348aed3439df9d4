// The scripted loading screen on the whole road: "loading.lua" beside the host draws the loader's progress
// until the engine takes the window over; a broken script costs one logged error and nothing else.
#include "LoaderRoadFixture.h"

#include <algorithm>

using namespace Zelto;

namespace
{

const uint32_t ScreenBackground = 0xFF000080, Bar = 0xFFFF0000;
const int32_t WindowWidth = 64, WindowHeight = 48; // the fixture's host window

// A bar along the top rows, as wide as the window times the loader's progress.
const char ProgressBarScript[] = R"(
_gdi.bgColor = 0xFF000080
_gdi:onRender(function()
    _gdi:fillRect(0, 0, math.floor(_gdi.w * _gdi.progress), 8, 0xFFFF0000)
end)
)";

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Entries of a log: lines that start with their time stamp ("2026/12/11-01:39:14 ...").
size_t LoggedEntries(const std::string& log)
{
    size_t count = 0;
    for (size_t line = 0; line < log.size(); line = log.find('\n', line) + 1)
    {
        count += log.size() - line > 11 && log[line + 4] == '/' && log[line + 10] == '-' ? 1 : 0;
        if (log.find('\n', line) == std::string::npos)
            break;
    }
    return count;
}

class LoadingScreen : public LoaderRoad
{
protected:
    void StartRoad()
    {
        server.Serve("/game.zoa", BuildPackage(DemoFiles()));
        Create();
        Setup(u"zoaurl", server.Url("/game.zoa"));
    }

    std::vector<uint32_t> Shown() const { return window->Pixels(WindowWidth, WindowHeight); }

    // The bar's width in the frame shown, or -1 when the frame is not the screen's.
    int32_t BarWidth() const
    {
        std::vector<uint32_t> pixels = Shown();
        int32_t width = int32_t(std::count(pixels.begin(), pixels.begin() + WindowWidth, Bar));
        return pixels[size_t(WindowWidth) * 20] == ScreenBackground ? width : -1;
    }
};

TEST_F(LoadingScreen, ShowsTheProgressGrowingUntilTheEngineDraws)
{
    folder.WriteBytes(u"game\\loading.lua", ProgressBarScript);
    StartRoad();
    std::vector<int32_t> widths;
    ASSERT_TRUE(TickUntil(
        [&]
        {
            if (Running())
                return true;
            widths.push_back(BarWidth());
            return false;
        }))
        << TraceLog();

    widths.erase(widths.begin()); // checked before the first frame
    ASSERT_GE(widths.size(), 3u);
    EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end())) << ::testing::PrintToString(widths);
    EXPECT_GT(widths.back(), widths.front());
    EXPECT_LT(std::count(widths.begin(), widths.end(), widths.back()),
              int(widths.size()) - 1); // steps between

    // The engine draws from here on: one colour, no bar, no background of the screen.
    plugin.update(0, 16);
    plugin.render();
    std::vector<uint32_t> engineFrame = Shown();
    EXPECT_NE(engineFrame[0], Bar);
    EXPECT_NE(engineFrame[0], ScreenBackground);
    EXPECT_EQ(std::count(engineFrame.begin(), engineFrame.end(), engineFrame[0]), int(engineFrame.size()));
    EXPECT_EQ(ErrorLog(), "");
}

TEST_F(LoadingScreen, ScriptThatDropsTheGlobalLeavesTheScreenToTheLoader)
{
    folder.WriteBytes(u"game\\loading.lua", "_gdi.bgColor = 0xFF000080\n_gdi = nil\ncollectgarbage()\n");
    StartRoad();
    std::vector<uint32_t> firstFrame;
    ASSERT_TRUE(TickUntil(
        [&]
        {
            if (firstFrame.empty() && plugin.progress() > 0.0f)
                firstFrame = Shown();
            return Running();
        }));
    EXPECT_EQ(firstFrame.at(0), ScreenBackground);
}

TEST_F(LoadingScreen, BrokenScriptIsLoggedOnceAndTheRoadGoesOn)
{
    // A compile error has no stack to trace; the others carry their traceback.
    const struct
    {
        const char* name;
        const char* script;
        const char* error;
        size_t tracebacks;
    } cases[] = {
        {"syntax error", "_gdi:onRender(function( end)", "loading.lua:1: <name> or '...' expected", 0},
        {"error while loading", "_gdi.bgColor = 0xFF000080\nlocal broken = nil\nbroken.field = 1\n",
         "loading.lua:3: attempt to index local 'broken'", 1},
        {"error in the render function",
         "_gdi:onRender(function() _gdi:fillRect(0, 0, 8, 8, -1); error('no screen today') end)",
         "loading.lua:1: no screen today", 1},
    };
    for (const auto& broken : cases)
    {
        SCOPED_TRACE(broken.name);
        TearDown();
        SetUp();
        folder.WriteBytes(u"game\\loading.lua", broken.script);
        StartRoad();
        ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
        std::string errors = ErrorLog();
        EXPECT_EQ(Occurrences(errors, broken.error), 1u) << errors;
        EXPECT_EQ(Occurrences(errors, "stack traceback:"), broken.tracebacks) << errors;
        EXPECT_EQ(LoggedEntries(errors), 1u) << errors;
    }
}

} // namespace
