// The sample host's window as the preview resizes it: the new client size is what the plug-in draws into,
// and the plug-in hears of it through a size message, as from a window its user resized.
#include "Source/Platform/Host/HostWindow.h"

#include <gtest/gtest.h>

#include <vector>

namespace Zelto
{

namespace
{

const uint32_t SizeMessage = 5;

struct Heard
{
    uint32_t msg;
    intptr_t lParam;
};
std::vector<Heard> heard;

int32_t ZELTO_CALL Listen(int32_t, uint32_t msg, uintptr_t, intptr_t lParam)
{
    heard.push_back(Heard{msg, lParam});
    return 0;
}

TEST(HostWindowTest, ResizeGivesTheNewClientSizeAndASizeMessage)
{
    heard.clear();
    HostWindow window(200, 150, Listen);
    ASSERT_TRUE(window.IsOpen());
    int32_t width = 0, height = 0;
    window.ClientSize(width, height);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 150);

    heard.clear();
    window.Resize(320, 96);
    window.Pump();
    window.ClientSize(width, height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 96);
    bool told = false;
    for (const Heard& message : heard)
        told = told || (message.msg == SizeMessage && (message.lParam & 0xFFFF) == 320 &&
                        ((message.lParam >> 16) & 0xFFFF) == 96);
    EXPECT_TRUE(told) << heard.size() << " messages, none the size message of 320 x 96";
    // The surface the plug-in draws into has the new size (on Linux it is the window).
    EXPECT_EQ(window.Pixels(320, 96).size(), size_t(320 * 96));
}

} // namespace

} // namespace Zelto
