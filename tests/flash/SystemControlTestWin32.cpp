// The system's control backend in a real window. Stock Wine creates an "AtlAxWin90" container even for a
// control that is not installed, with nothing in it: that is no control, and no window may stay behind. The
// test control's registration, should a crashed run have left it, is removed before any test runs.
#include "Source/Platform/Host/HostWindow.h"
#include "StandInControl.h"
#include "flash/test-control/TestControlProbe.h"

#include <windows.h>

namespace Zelto
{
namespace
{

const ::testing::Environment* const noLeftover =
    ::testing::AddGlobalTestEnvironment(new NoLeftoverTestControl);

class FlashControlTest : public FlashHostFixture
{
};

TEST_F(FlashControlTest, WithoutAnInstalledControlNothingIsHosted)
{
    HostWindow window(320, 240, nullptr);
    ASSERT_TRUE(window.IsOpen());
    loader.window = window.Handle();
    // Twice: the container classes are registered again for a second host.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        FlashHost made(&loader);
        EXPECT_FALSE(made.ControlCreated());
        EXPECT_EQ(GetWindow(static_cast<HWND>(window.Handle()), GW_CHILD), nullptr);
    }
    EXPECT_TRUE(loader.setups.empty());
}

TEST_F(FlashControlTest, TheWindowAreaIsTheClientRectangle)
{
    HostWindow window(320, 240, nullptr);
    ClientArea area = SystemFlashPlatform().WindowArea(window.Handle());
    EXPECT_EQ(area.width, 320);
    EXPECT_EQ(area.height, 240);
}

} // namespace
} // namespace Zelto
