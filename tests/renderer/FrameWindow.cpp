#include "FrameWindow.h"

#include "Source/Platform/Host/HostWindow.h"

namespace Zelto
{

FrameWindow::FrameWindow(int32_t width, int32_t height) : mWidth(width), mHeight(height)
{
    auto* window = new HostWindow(width, height, nullptr);
    window->Pump(); // a real window is shown and painted before the first pass
    mWindow = window;
    mHandle = window->Handle();
}

FrameWindow::~FrameWindow()
{
    delete mWindow;
}

std::vector<uint32_t> FrameWindow::Pixels() const
{
    return mWindow->Pixels(mWidth, mHeight);
}

} // namespace Zelto
