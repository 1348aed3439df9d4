#include "FrameWindow.h"

#include "Source/Platform/Host/HostWindow.h"

#include <windows.h>

namespace Zelto
{

// The host window starts GDI+ for the whole program, as a host does before loading the plug-in.
FrameWindow::FrameWindow(int32_t width, int32_t height) : mWidth(width), mHeight(height)
{
    auto* window = new HostWindow(width, height, nullptr);
    window->Pump(); // shown and painted before the first pass
    mWindow = window;
    mHandle = window->Handle();
}

FrameWindow::~FrameWindow()
{
    delete mWindow;
}

std::vector<uint32_t> FrameWindow::Pixels() const
{
    std::vector<uint32_t> pixels(size_t(mWidth) * size_t(mHeight), 0);
    auto window = static_cast<HWND>(mHandle);
    HDC windowContext = GetDC(window);
    HDC copyContext = CreateCompatibleDC(windowContext);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = mWidth;
    format.bmiHeader.biHeight = -mHeight; // rows top to bottom
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(windowContext, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(copyContext, copy);
    BitBlt(copyContext, 0, 0, mWidth, mHeight, windowContext, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* rows = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = rows[i] | 0xFF000000u;
    SelectObject(copyContext, previous);
    DeleteObject(copy);
    DeleteDC(copyContext);
    ReleaseDC(window, windowContext);
    return pixels;
}

} // namespace Zelto
