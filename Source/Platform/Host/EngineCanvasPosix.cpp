#include "Source/Platform/Host/EngineCanvas.h"

#include "ZeltoLoader.h"

#include <algorithm>
#include <cstddef>

namespace Zelto
{

bool FillEngineCanvas(void* window, uint32_t argb)
{
    auto* surface = static_cast<ZeltoSurface*>(window);
    if (surface == nullptr || surface->pixels == nullptr || surface->width <= 0 || surface->height <= 0)
        return false;
    std::fill_n(surface->pixels, size_t(surface->width) * size_t(surface->height), argb);
    if (surface->present != nullptr)
        surface->present(surface);
    return true;
}

} // namespace Zelto
