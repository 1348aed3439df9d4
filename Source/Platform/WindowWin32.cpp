#include "Source/Platform/Window.h"

#include <windows.h>

namespace Zelto
{

void StartWindowTimer(void* window)
{
    SetTimer(static_cast<HWND>(window), 0, 1, nullptr);
}

} // namespace Zelto
