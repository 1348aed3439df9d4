// Coordinates and sizes from scripts, brought within what the drawing backends take. Scripts pass any 32-bit
// values; the arithmetic on them is done in 64 bits, and what reaches a backend lies within
// ±CoordinateLimit, far outside any window, so that what shows in the window does not change.
#pragma once

#include <cstdint>

namespace Zelto
{

// cairo holds coordinates in 24.8 fixed point (up to ±2^23) and GDI+ in floats, exact up to 2^24.
const int32_t CoordinateLimit = int32_t(1) << 22;

int32_t LimitedCoordinate(int64_t value);

// The segment clipped to the square of ±CoordinateLimit; false when none of it lies inside.
bool LimitLine(int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2);

// One axis of a mirrored tiling: the span [position, position + size) (size may be negative: the span then
// lies before `position`) holds an image of `extent` pixels repeating mirrored from `position`. The part of
// it within the window's [0, window) is [start, start + length), length > 0, with the repetition starting at
// `origin`, less than two extents before `start` (the backends place patterns only near the window: pixman
// holds their offsets in 16.16 fixed point); false when no part of the span shows.
struct TiledSpan
{
    int32_t origin;
    int32_t start;
    int32_t length;
};
bool LimitTiledSpan(int64_t position, int64_t size, uint32_t extent, int32_t window, TiledSpan& span);

} // namespace Zelto
