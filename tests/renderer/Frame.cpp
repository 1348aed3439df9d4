#include "FrameWindow.h"

#include <algorithm>

namespace Zelto
{

bool Frame::AllAre(uint32_t argb) const
{
    return std::all_of(pixels.begin(), pixels.end(), [argb](uint32_t pixel) { return pixel == argb; });
}

Frame::Box Frame::InkBox(uint32_t background) const
{
    Box box{width, height, 0, 0};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (At(x, y) != background)
            {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box.IsEmpty() ? Box{0, 0, 0, 0} : box;
}

} // namespace Zelto
