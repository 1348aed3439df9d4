#include "Source/Platform/Host/HostWindow.h"

#include <windows.h>

#include <objbase.h> // gdiplus.h needs its COM types

#include <gdiplus.h>

namespace Zelto
{

namespace
{

const wchar_t WindowClass[] = L"ZeltoHostWindow";

LRESULT CALLBACK WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto forward = reinterpret_cast<ZeltoMessageFunction>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (forward != nullptr)
        forward(0, msg, wParam, lParam);
    // Closed by the user (the host's own destruction clears the forwarder first): the host loop ends.
    if (msg == WM_DESTROY && forward != nullptr)
        PostQuitMessage(0);
    return DefWindowProcW(window, msg, wParam, lParam);
}

// The plug-in's loading screen draws with GDI+, which the host process starts, once, before the plug-in
// draws, and keeps running until it exits.
void StartGdiPlus()
{
    static ULONG_PTR token = []
    {
        ULONG_PTR started = 0;
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&started, &input, nullptr);
        return started;
    }();
    (void)token;
}

} // namespace

HostWindow::HostWindow(int32_t width, int32_t height, ZeltoMessageFunction forward) : mForward(forward)
{
    StartGdiPlus();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.lpszClassName = WindowClass;
    RegisterClassW(&windowClass);
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowW(WindowClass, L"Zelto host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    // Messages that arrive before the loader exists are answered by the plug-in's default.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(forward));
    mHandle = window;
}

HostWindow::~HostWindow()
{
    if (mHandle == nullptr)
        return;
    // No more messages to the plug-in, which may be unloaded next, and no quit message for a later loop.
    SetWindowLongPtrW(static_cast<HWND>(mHandle), GWLP_USERDATA, 0);
    DestroyWindow(static_cast<HWND>(mHandle));
}

bool HostWindow::Pump()
{
    // A bounded number per call: the plug-in's 1 ms timer can refill the queue faster than a loop empties it.
    const int maxMessages = 64;
    MSG message;
    for (int handled = 0; handled < maxMessages && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
         ++handled)
    {
        if (message.message == WM_QUIT)
        {
            mHandle = nullptr;
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

bool HostWindow::SaveFrame(const char16_t*)
{
    return false; // the window shows the frame itself
}

void HostWindow::ClientSize(int32_t& width, int32_t& height) const
{
    RECT client{};
    GetClientRect(static_cast<HWND>(mHandle), &client);
    width = client.right;
    height = client.bottom;
}

void HostWindow::Resize(int32_t width, int32_t height)
{
    // The window sends the size message to the plug-in through its procedure.
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(static_cast<HWND>(mHandle), nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
}

std::vector<uint32_t> HostWindow::Pixels(int32_t width, int32_t height) const
{
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0);
    auto window = static_cast<HWND>(mHandle);
    HDC windowContext = GetDC(window);
    HDC copyContext = CreateCompatibleDC(windowContext);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height; // rows top to bottom
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(windowContext, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(copyContext, copy);
    BitBlt(copyContext, 0, 0, width, height, windowContext, 0, 0, SRCCOPY);
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

void HostSleep(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

const char16_t* PluginFileName()
{
    return u"zelto_loader.dll";
}

} // namespace Zelto
