// The host over the system's backend with a control really installed: our test control, registered under
// the movie control's class identifier, is created by ATL's container exactly as the movie control would be,
// and reports what the host asked of it and what its window received.
#include "Source/Platform/Host/HostWindow.h"
#include "StandInControl.h"
#include "flash/test-control/TestControlProbe.h"

#include <windows.h>

namespace Zelto
{
namespace
{

using Calls = std::vector<std::string>;

ClientArea ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return ClientArea{client.right, client.bottom};
}

class HostedControlTest : public WithTestControl<FlashHostFixture>
{
protected:
    void SetUp() override
    {
        WithTestControl::SetUp();
        library->OfferFlashInterface(true);
        ASSERT_TRUE(window.IsOpen());
        loader.window = window.Handle();
    }

    // A host over the system's backend, which ATL's container and the registered control serve.
    FlashHost& MakeSystemHost()
    {
        host = std::make_unique<FlashHost>(&loader);
        return *host;
    }
    HWND Parent() const { return static_cast<HWND>(window.Handle()); }
    HWND Container() const { return GetWindow(Parent(), GW_CHILD); }

    HostWindow window{320, 240, nullptr};
};

TEST_F(HostedControlTest, TheControlLivesInTheContainerAndPlaysTheMovie)
{
    FlashHost& made = MakeSystemHost();
    ASSERT_TRUE(made.ControlCreated());
    EXPECT_EQ(library->LiveObjects(), 1);
    EXPECT_EQ(loader.setups, (decltype(loader.setups){{u"flashversion", u"WIN_11_0_1_152"}}));
    // The control's window fills the container, which fills the host window.
    ASSERT_NE(library->Window(), nullptr);
    EXPECT_EQ(GetParent(library->Window()), Container());
    EXPECT_EQ(ClientSize(Container()).width, 320);
    EXPECT_EQ(ClientSize(library->Window()).height, 240);

    ASSERT_TRUE(made.OpenMovie(u"stand-in-movie.swf"));
    Calls expected = {"put_BackgroundColor 0", "GetVariable $version"};
    Calls opening = MovieOpeningCalls("stand-in-movie.swf", ClientArea{320, 240});
    expected.insert(expected.end(), opening.begin(), opening.end());
    EXPECT_EQ(library->Calls(), expected);
}

// A container whose control is not the movie control would leave an empty screen: that is no control, and the
// loader takes the scripted screen instead.
TEST_F(HostedControlTest, AControlWithoutTheMovieInterfaceIsNoControl)
{
    library->OfferFlashInterface(false);
    EXPECT_FALSE(MakeSystemHost().ControlCreated());
    EXPECT_EQ(library->LiveObjects(), 0);
    EXPECT_EQ(Container(), nullptr);
    EXPECT_TRUE(loader.setups.empty());
}

TEST_F(HostedControlTest, MovieVariablesTravelThroughTheControl)
{
    FlashHost& made = MakeSystemHost();
    ASSERT_TRUE(made.OpenMovie(u"stand-in-movie.swf"));
    loader.progress = 0.25f;
    made.Tick();
    library->SetVariable(L"zoaurl", L"http://127.0.0.1/game.zoa");
    made.Tick();
    made.Tick();
    EXPECT_EQ(loader.setups, (decltype(loader.setups){{u"flashversion", u"WIN_11_0_1_152"},
                                                      {u"zoaurl", u"http://127.0.0.1/game.zoa"}}));
    Calls progress;
    for (const std::string& call : library->Calls())
        if (call.find("ZeltoLoaderProgress") != std::string::npos)
            progress.push_back(call);
    EXPECT_EQ(progress, Calls(3, "SetVariable ZeltoLoaderProgress=0.250"));
}

TEST_F(HostedControlTest, AResizeReachesTheContainerAndTheZoomRectangle)
{
    FlashHost& made = MakeSystemHost();
    ASSERT_TRUE(made.OpenMovie(u"stand-in-movie.swf"));
    made.Resize(500, 300);
    ASSERT_FALSE(library->Calls().empty());
    EXPECT_EQ(library->Calls().back(), "SetZoomRect 0 0 500 300");
    for (HWND resized : {Container(), library->Window()})
    {
        EXPECT_EQ(ClientSize(resized).width, 500);
        EXPECT_EQ(ClientSize(resized).height, 300);
    }
}

TEST_F(HostedControlTest, OnlyTheRightButtonIsKeptFromTheControl)
{
    MakeSystemHost();
    HWND control = library->Window();
    ASSERT_NE(control, nullptr);
    struct Case
    {
        UINT message;
        int received;
    };
    const Case cases[] = {{WM_RBUTTONDOWN, 0}, {WM_LBUTTONDOWN, 1}, {WM_KEYDOWN, 1}, {WM_RBUTTONUP, 1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.message);
        SendMessageW(control, c.message, 0, MAKELPARAM(10, 10));
        EXPECT_EQ(library->MessageCount(c.message), c.received);
    }
}

TEST_F(HostedControlTest, DeletingTheHostReleasesTheControlAndItsWindows)
{
    // Twice: the container classes are registered again for a second host.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        ASSERT_TRUE(MakeSystemHost().ControlCreated());
        HWND container = Container();
        HWND control = library->Window();
        ASSERT_NE(control, nullptr);
        host.reset();
        EXPECT_EQ(library->LiveObjects(), 0);
        EXPECT_FALSE(IsWindow(container));
        EXPECT_FALSE(IsWindow(control));
        EXPECT_EQ(GetWindow(Parent(), GW_CHILD), nullptr);
    }
}

} // namespace
} // namespace Zelto
