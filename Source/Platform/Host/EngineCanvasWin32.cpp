#include "Source/Platform/Host/EngineCanvas.h"

#include <windows.h>

namespace Zelto
{

bool FillEngineCanvas(void* window, uint32_t argb)
{
    // A null window would give the whole screen's device context.
    auto handle = static_cast<HWND>(window);
    HDC context = handle != nullptr ? GetDC(handle) : nullptr;
    if (context == nullptr)
        return false;
    RECT client;
    GetClientRect(handle, &client);
    HBRUSH brush = CreateSolidBrush(RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF));
    bool filled = brush != nullptr && FillRect(context, &client, brush) != 0;
    if (brush != nullptr)
        DeleteObject(brush);
    ReleaseDC(handle, context);
    return filled;
}

} // namespace Zelto
