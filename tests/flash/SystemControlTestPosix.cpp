// Linux has no Flash control: a host never gets one, and the loader takes the scripted screen.
#include "StandInControl.h"

#include "ZeltoLoader.h"

namespace Zelto
{
namespace
{

class FlashControlTest : public FlashHostFixture
{
};

TEST_F(FlashControlTest, NoControlIsHosted)
{
    ZeltoSurface surface{320, 240, nullptr, nullptr, nullptr};
    loader.window = &surface;
    FlashHost made(&loader);
    EXPECT_FALSE(made.ControlCreated());
    EXPECT_TRUE(loader.setups.empty());
}

} // namespace
} // namespace Zelto
