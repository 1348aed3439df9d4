// The loader with a movie control installed: our test control, registered under the movie control's class
// identifier, is hosted by the plug-in in the host's window and plays the loading movie. Every other loader
// test expects stock Wine, where no control is installed: a registration left by a crashed run is removed
// before any test runs.
#include "LoaderRoadFixture.h"
#include "Source/Platform/System.h"
#include "flash/test-control/TestControlProbe.h"
#include "support/Text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace Zelto
{
namespace
{

const ::testing::Environment* const noLeftover =
    ::testing::AddGlobalTestEnvironment(new NoLeftoverTestControl);

using Calls = std::vector<std::string>;

class HostedControl : public WithTestControl<LoaderRoad>
{
protected:
    HWND HostWindowHandle() const { return static_cast<HWND>(window->Handle()); }
    HWND Container() const { return GetWindow(HostWindowHandle(), GW_CHILD); }
    // What the plug-in asked of the control when it started the movie.
    Calls MovieStart(const std::string& movie) const
    {
        RECT client{}; // the system may have widened the fixture's small window
        GetClientRect(HostWindowHandle(), &client);
        return {
            "put_BackgroundColor 0",
            "GetVariable $version",
            "LoadMovie 0 " + Narrow(CurrentDirectory()) + "\\" + movie,
            "Play",
            "SetZoomRect 0 0 " + std::to_string(client.right) + " " + std::to_string(client.bottom),
            "put_Menu false",
        };
    }
};

TEST_F(HostedControl, TheLoaderPlaysTheMovieBesideTheHostElseTheEmbeddedOne)
{
    struct Case
    {
        const char* besideTheHost; // "loader.swf" put beside the host first, unless null
        const char* played;
        const char* signature; // of the movie file handed to the control
    };
    const Case cases[] = {{nullptr, "loading.swf", "CWS"},
                          {"FWS\x0b placed by the host", "loader.swf", "FWS"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.played);
        if (c.besideTheHost != nullptr)
            folder.WriteBytes(Game(u"loader.swf").c_str(), c.besideTheHost);
        Create();
        Calls calls = library->Calls();
        calls.resize(std::min(calls.size(), MovieStart(c.played).size()));
        EXPECT_EQ(calls, MovieStart(c.played));
        std::u16string played(c.played, c.played + strlen(c.played));
        EXPECT_EQ(GameFile(played.c_str()).substr(0, 3), c.signature);
        EXPECT_EQ(GetParent(library->Window()), Container());
        Delete();
    }
}

TEST_F(HostedControl, ASizeMessageWhileLoadingReachesTheZoomRectangle)
{
    Create();
    const uint32_t windowSize = 5;
    plugin.message(0, windowSize, 0, MAKELPARAM(200, 100));
    ASSERT_FALSE(library->Calls().empty());
    EXPECT_EQ(library->Calls().back(), "SetZoomRect 0 0 200 100");
    RECT client{};
    GetClientRect(library->Window(), &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
}

// With a movie, the server list and the host's movie variables go to the movie, which answers with the
// package it chose; the road then runs to the engine, and the control goes once the engine draws.
TEST_F(HostedControl, TheMovieChoosesThePackageAndTheRoadReachesTheEngine)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    Create();
    Setup(u"loadervar", " skin | dark |lang|en|unpaired");
    Setup(u"serverdata", "{\"default\":1}");
    Calls calls = library->Calls();
    for (const char* expected :
         {"SetVariable skin=dark", "SetVariable lang=en", "SetVariable ServerData={\"default\":1}"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), expected), calls.end()) << expected;
    for (const std::string& call : calls)
        EXPECT_EQ(call.find("unpaired"), std::string::npos) << call;

    library->SetVariable(L"zoaparam", L"host|1.2.3.4:8000||");
    std::string url = server.Url("/game.zoa");
    library->SetVariable(L"zoaurl", std::wstring(url.begin(), url.end()).c_str());
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog();
    EXPECT_EQ(library->LiveObjects(), 0);
    EXPECT_EQ(Container(), nullptr);
    EXPECT_NE(EngineCalls().find("parameters=host|1.2.3.4:8000"), std::string::npos);
}

TEST_F(HostedControl, DeletingTheLoaderReleasesTheControlAndItsWindow)
{
    Create();
    HWND control = library->Window();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(library->LiveObjects(), 1);
    Delete();
    EXPECT_EQ(library->LiveObjects(), 0);
    EXPECT_FALSE(IsWindow(control));
    EXPECT_EQ(Container(), nullptr);
}

} // namespace
} // namespace Zelto
