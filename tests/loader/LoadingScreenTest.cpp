// The scripted loading screen on the whole road: "loading.lua" beside the host draws the loader's progress
// until the engine takes the window over; a broken script costs one logged error and nothing else.
#include "LoaderRoadFixture.h"
#include "ZeltoLoader.h"

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

// Screens that fail, each with the one error logged. A compile error has no stack to trace; the others carry
// their traceback.
struct BrokenScreen
{
    const char* name;
    const char* script;
    const char* error;
    size_t tracebacks;
    bool scriptError; // an error that stops the script, which a preview draws over its frames
};

const BrokenScreen BrokenScreens[] = {
    {"syntax error", "_gdi:onRender(function( end)", "loading.lua:1: <name> or '...' expected", 0, true},
    {"error while loading", "_gdi.bgColor = 0xFF000080\nlocal broken = nil\nbroken.field = 1\n",
     "loading.lua:3: attempt to index local 'broken'", 1, true},
    {"error in the render function",
     "_gdi:onRender(function() _gdi:fillRect(0, 0, 8, 8, -1); error('no screen today') end)",
     "loading.lua:1: no screen today", 1, true},
    // A script that runs over its time is stopped where it is, its own protected calls or not; one
    // stopped while loading does not draw later (a render function that ran would log its error).
    {"endless loop while loading",
     "_gdi:onRender(function() error('drawn after the stop') end)\nwhile true do end",
     "loading.lua:2: script stopped: it ran for more than 100 ms in one call of the host", 1, true},
    {"endless loop in the render function", "_gdi:onRender(function() while true do end end)",
     "loading.lua:1: script stopped: it ran for more than 100 ms in one call of the host", 1, true},
    {"endless loop behind its own pcall",
     "_gdi:onRender(function() while true do pcall(function() while true do end end) end end)",
     "loading.lua:1: script stopped: it ran for more than 100 ms in one call of the host", 1, true},
    // Nor can it turn the JIT on, clear the hook or load compiled bytecode itself.
    {"endless loop with the JIT turned on", "jit.on()\nwhile true do end",
     "loading.lua:2: script stopped: it ran for more than 100 ms in one call of the host", 1, true},
    {"the time limit's hook cleared", "debug.sethook()\nwhile true do end",
     "loading.lua:1: attempt to call field 'sethook' (a nil value)", 1, true},
    {"bytecode loaded by the script", "assert(loadstring(string.dump(function() end)))",
     "loading.lua:1: attempt to load chunk with wrong mode", 1, true},
    {"bytecode read piece by piece",
     "local dumped = string.dump(function() end)\n"
     "assert(load(function() local piece = dumped; dumped = nil; return piece end))",
     "loading.lua:2: attempt to load chunk with wrong mode", 1, true},
    {"compiled bytecode", "\x1bLJ\x02\x0a",
     "loading.lua\" is compiled bytecode: the loading screen runs script text only", 0, true},
    // An image beyond the caps is refused before decoding; the script goes on.
    {"image too large", "_gdi:loadImage('large.png')", "Image \"large.png\" is 16385 x 1 pixels in 1 frames",
     0, false},
};

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

    void WriteScreen(const BrokenScreen& broken)
    {
        folder.WriteBytes(u"game\\loading.lua", broken.script);
        // A PNG that states 16385 x 1 pixels: its signature and header chunk are all the caps read.
        folder.WriteBytes(u"game\\large.png",
                          std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x40\x01\0\0\0\x01"
                                      "\x08\x06\0\0\0",
                                      29));
    }

    static void ExpectLoggedOnce(const BrokenScreen& broken, const std::string& log)
    {
        EXPECT_EQ(Occurrences(log, broken.error), 1u) << log;
        EXPECT_EQ(Occurrences(log, "stack traceback:"), broken.tracebacks) << log;
    }

    // The preview's error panel darkens the whole frame to a deep red, whatever the screen's background; the
    // column sampled lies in its margin, where no text is drawn.
    bool ShowsErrorPanel() const
    {
        uint32_t pixel = Shown().at(size_t(WindowWidth) * 20 + 1);
        uint32_t red = pixel >> 16 & 0xFF, green = pixel >> 8 & 0xFF, blue = pixel & 0xFF;
        return red >= 0x1C && red <= 0x34 && green <= 0x1E && blue <= 0x1E;
    }

    // The bar's width in the frame shown, or -1 when the frame is not the screen's.
    int32_t BarWidth() const
    {
        std::vector<uint32_t> pixels = Shown();
        int32_t width = int32_t(std::count(pixels.begin(), pixels.begin() + WindowWidth, Bar));
        return pixels[size_t(WindowWidth) * 20] == ScreenBackground ? width : -1;
    }

    // The bar's width in every frame from the first until the engine takes over; false on the time-out.
    bool BarWidthsUntilTheEngineRuns(std::vector<int32_t>& widths)
    {
        bool ran = TickUntil(
            [&]
            {
                if (Running())
                    return true;
                widths.push_back(BarWidth());
                return false;
            });
        if (!widths.empty())
            widths.erase(widths.begin()); // checked before the first frame
        return ran;
    }
};

TEST_F(LoadingScreen, ShowsTheProgressGrowingUntilTheEngineDraws)
{
    folder.WriteBytes(u"game\\loading.lua", ProgressBarScript);
    StartRoad();
    std::vector<int32_t> widths;
    ASSERT_TRUE(BarWidthsUntilTheEngineRuns(widths)) << TraceLog();
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
    for (const BrokenScreen& broken : BrokenScreens)
    {
        SCOPED_TRACE(broken.name);
        TearDown();
        SetUp();
        WriteScreen(broken);
        StartRoad();
        ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
        std::string errors = ErrorLog();
        ExpectLoggedOnce(broken, errors);
        EXPECT_EQ(LoggedEntries(errors), 1u) << errors;
    }
}

// A screen the preview starts is held as a real run holds it: the same message logged once (a preview logs to
// the console), a script's error drawn over the frames until the script is fixed and named again.
TEST_F(LoadingScreen, PreviewHoldsTheScreenAsARealRunDoes)
{
    const int PreviewFrames = 5; // enough for a render function to have run
    for (const BrokenScreen& broken : BrokenScreens)
    {
        SCOPED_TRACE(broken.name);
        TearDown();
        SetUp();
        WriteScreen(broken);
        ::testing::internal::CaptureStdout();
        Create(ZELTO_PREVIEW_LAUNCH_MODE);
        Setup(u"previewscript", "loading.lua");
        int frames = 0;
        bool ticked = TickUntil([&] { return ++frames > PreviewFrames; });
        std::string console = ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ticked);
        ExpectLoggedOnce(broken, console);
        EXPECT_EQ(ShowsErrorPanel(), broken.scriptError);

        folder.WriteBytes(u"game\\loading.lua", ProgressBarScript);
        Setup(u"previewscript", "loading.lua");
        ASSERT_TRUE(TickUntil([&] { return Shown().at(size_t(WindowWidth) * 20) == ScreenBackground; }));
        EXPECT_FALSE(ShowsErrorPanel());
    }
}

// The preview's keys: in the preview launch mode they name the script and give the figures; in any other
// mode the loader's own screen and figures stand, whatever a host sends.
// The same bar over another background.
std::string OtherScreenScript()
{
    std::string script = ProgressBarScript;
    return script.replace(script.find("0xFF000080"), 10, "0xFF008000");
}
const uint32_t OtherBackground = 0xFF008000;

TEST_F(LoadingScreen, PreviewKeysNameTheScriptAndFiguresOnlyInThePreviewLaunchMode)
{
    folder.WriteBytes(u"game\\loading.lua", ProgressBarScript);
    folder.WriteBytes(u"game\\other.lua", OtherScreenScript());
    const std::string halfWay = "0.5 1200 8 3 1000 400";

    Create(ZELTO_PREVIEW_LAUNCH_MODE);
    Setup(u"previewscript", "other.lua");
    Setup(u"previewfigures", halfWay);
    ASSERT_TRUE(TickUntil([&] { return Shown().at(size_t(WindowWidth) * 20) == OtherBackground; }));
    // The screen is as wide as the client area, which a window manager may widen beyond the one asked for.
    int32_t clientWidth = 0, clientHeight = 0;
    window->ClientSize(clientWidth, clientHeight);
    std::vector<uint32_t> pixels = Shown();
    EXPECT_EQ(std::count(pixels.begin(), pixels.begin() + WindowWidth, Bar),
              std::min(clientWidth / 2, WindowWidth));

    // A real run, in a fresh window: the screen is "loading.lua" and the bar is the loader's.
    TearDown();
    SetUp();
    folder.WriteBytes(u"game\\loading.lua", ProgressBarScript);
    folder.WriteBytes(u"game\\other.lua", OtherScreenScript());
    StartRoad();
    Setup(u"previewscript", "other.lua");
    Setup(u"previewfigures", halfWay);
    std::vector<int32_t> widths;
    ASSERT_TRUE(BarWidthsUntilTheEngineRuns(widths)) << TraceLog();
    EXPECT_EQ(std::count(widths.begin(), widths.end(), -1), 0)
        << "a frame was not loading.lua's: " << ::testing::PrintToString(widths);
    // The preview's figures would show half the bar from the first frame on; the loader's start lower.
    EXPECT_LT(widths.front(), std::min(clientWidth / 2, WindowWidth)) << ::testing::PrintToString(widths);
    EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end())) << ::testing::PrintToString(widths);
}

} // namespace
