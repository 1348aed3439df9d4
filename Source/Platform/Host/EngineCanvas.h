// The sample engine's drawing: fills the host's window with one colour. Windows: GDI into the window's
// device context; Linux: every pixel of the host's ZeltoSurface, then its present callback.
#pragma once

#include <cstdint>

namespace Zelto
{

bool FillEngineCanvas(void* window, uint32_t argb); // false without a window to draw into

} // namespace Zelto
