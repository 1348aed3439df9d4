#include "FrameWindow.h"

#include "Source/Platform/Host/HostWindow.h"
#include "ZeltoLoader.h"

namespace Zelto
{

FrameWindow::FrameWindow(int32_t width, int32_t height) : mWidth(width), mHeight(height)
{
    auto* window = new HostWindow(width, height, nullptr);
    mWindow = window;
    mHandle = window->Handle();
}

FrameWindow::~FrameWindow()
{
    delete mWindow;
}

std::vector<uint32_t> FrameWindow::Pixels() const
{
    // The surface's own pixels: before any pass they are all 0, which no frame shows (frames are opaque).
    auto* surface = static_cast<ZeltoSurface*>(mHandle);
    return std::vector<uint32_t>(surface->pixels, surface->pixels + size_t(mWidth) * size_t(mHeight));
}

} // namespace Zelto
