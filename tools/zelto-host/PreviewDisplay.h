// Where a preview's frames are seen when the host's window is only a surface in memory (Linux): a real
// window through SDL2 where a display is available, else none, and the preview runs headless. On Windows the
// host's own window shows the frames and no display is opened.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Zelto
{

class PreviewDisplay
{
public:
    // Null where no window can be opened (no display, or zelto-host built without SDL2).
    static std::unique_ptr<PreviewDisplay> Open(int32_t width, int32_t height, const char* title);
    virtual ~PreviewDisplay() = default;

    // Handles the window's events: false once the user closed it. `width` and `height` give the size the
    // window has now.
    virtual bool Pump(int32_t& width, int32_t& height) = 0;
    // A frame of 0xFFRRGGBB pixels, rows top to bottom.
    virtual void Show(const std::vector<uint32_t>& pixels, int32_t width, int32_t height) = 0;
};

} // namespace Zelto
