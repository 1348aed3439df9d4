#include "Renderer/ScriptGeometry.h"

#include <algorithm>

namespace Zelto
{

int32_t LimitedCoordinate(int64_t value)
{
    return int32_t(std::clamp<int64_t>(value, -CoordinateLimit, CoordinateLimit));
}

bool LimitLine(int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2)
{
    // Liang-Barsky: the part of the segment's parameter range [0, 1] inside each of the four edges.
    const double limit = CoordinateLimit;
    double dx = double(x2 - x1), dy = double(y2 - y1);
    double enter = 0.0, leave = 1.0;
    const double towards[4] = {-dx, dx, -dy, dy};
    const double room[4] = {double(x1) + limit, limit - double(x1), double(y1) + limit, limit - double(y1)};
    for (int edge = 0; edge < 4; ++edge)
    {
        if (towards[edge] == 0.0)
        {
            if (room[edge] < 0.0)
                return false; // parallel to the edge and outside it
            continue;
        }
        double at = room[edge] / towards[edge];
        if (towards[edge] < 0.0)
            enter = std::max(enter, at);
        else
            leave = std::min(leave, at);
    }
    if (enter > leave)
        return false;
    double startX = double(x1) + enter * dx, startY = double(y1) + enter * dy;
    double endX = double(x1) + leave * dx, endY = double(y1) + leave * dy;
    x1 = LimitedCoordinate(int64_t(startX < 0 ? startX - 0.5 : startX + 0.5));
    y1 = LimitedCoordinate(int64_t(startY < 0 ? startY - 0.5 : startY + 0.5));
    x2 = LimitedCoordinate(int64_t(endX < 0 ? endX - 0.5 : endX + 0.5));
    y2 = LimitedCoordinate(int64_t(endY < 0 ? endY - 0.5 : endY + 0.5));
    return true;
}

bool LimitTiledSpan(int64_t position, int64_t size, uint32_t extent, int32_t window, TiledSpan& span)
{
    if (size == 0 || extent == 0)
        return false;
    int64_t low = std::min(position, position + size), high = std::max(position, position + size);
    low = std::max<int64_t>(low, 0);
    high = std::min<int64_t>(high, window);
    if (low >= high)
        return false;
    // Mirrored, the image repeats every two extents: the origin moves by whole periods to just before the
    // span's start, which leaves every pixel of the tiling where it was.
    const int64_t period = int64_t(extent) * 2;
    int64_t offset = (low - position) % period;
    if (offset < 0)
        offset += period;
    span.origin = int32_t(low - offset);
    span.start = int32_t(low);
    span.length = int32_t(high - low);
    return true;
}

} // namespace Zelto
