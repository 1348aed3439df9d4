// A host whose surface runs its message loop when a frame is presented can end the loading screen right
// there: the renderer that presented the frame is deleted before its pass has returned.
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "ZeltoLoader.h"

#include <gtest/gtest.h>

#include <vector>

namespace Zelto
{
namespace
{

TEST(RendererPresent, ARendererDeletedWhileItsFramePresentsEndsCleanly)
{
    struct Host
    {
        Zelto3DRenderer_GDI* renderer = nullptr;
        int presents = 0;
    } host;
    std::vector<uint32_t> pixels(32 * 16);
    ZeltoSurface surface{32, 16, pixels.data(),
                         [](ZeltoSurface* self)
                         {
                             auto* closing = static_cast<Host*>(self->user);
                             ++closing->presents;
                             delete closing->renderer;
                         },
                         &host};
    host.renderer = new Zelto3DRenderer_GDI(nullptr, &surface);
    host.renderer->bgColor = 0xFF336699;
    host.renderer->RenderFrame(); // ASan reports a pass or renderer used after the delete
    EXPECT_EQ(host.presents, 1);
    EXPECT_EQ(pixels[0], 0xFF336699u);
}

} // namespace
} // namespace Zelto
