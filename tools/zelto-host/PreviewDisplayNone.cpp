// No display of its own: Windows, whose host window shows the frames, and a Linux build without SDL2.
#include "tools/zelto-host/PreviewDisplay.h"

namespace Zelto
{

std::unique_ptr<PreviewDisplay> PreviewDisplay::Open(int32_t, int32_t, const char*)
{
    return nullptr;
}

} // namespace Zelto
