#include "FrameWindow.h"

#include "ZeltoLoader.h"

namespace Zelto
{

namespace
{

struct Surface
{
    ZeltoSurface surface{};
    std::vector<uint32_t> pixels;
};

void Present(ZeltoSurface*) {}

} // namespace

FrameWindow::FrameWindow(int32_t width, int32_t height) : mWidth(width), mHeight(height)
{
    auto* owner = new Surface;
    // A colour no frame uses, so that a pass that copies nothing shows.
    owner->pixels.assign(size_t(width) * size_t(height), 0xFF123456);
    owner->surface = ZeltoSurface{width, height, owner->pixels.data(), Present, owner};
    mOwner = owner;
    mHandle = &owner->surface;
}

FrameWindow::~FrameWindow()
{
    delete static_cast<Surface*>(mOwner);
}

std::vector<uint32_t> FrameWindow::Pixels() const
{
    return static_cast<Surface*>(mOwner)->pixels;
}

} // namespace Zelto
