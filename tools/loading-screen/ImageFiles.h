// Small image files made here: PNG through zlib, GIF with its LZW codes written uncompressed (one byte per
// pixel, a clear code often enough that the code width never grows). The renderer's tests draw them; the
// example loading screen's spinner is one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Zelto
{

struct Picture
{
    int32_t width;
    int32_t height;
    std::vector<uint32_t> argb; // rows top to bottom

    // Four quadrants of one colour each: top-left, top-right, bottom-left, bottom-right.
    static Picture Quadrants(int32_t width, int32_t height, uint32_t topLeft, uint32_t topRight,
                             uint32_t bottomLeft, uint32_t bottomRight);
    static Picture Plain(int32_t width, int32_t height, uint32_t argb);
};

std::string PngFile(const Picture& picture);
// Opaque frames of one size, at most 128 colours in all; `delays` in hundredths of a second, one per frame.
std::string GifFile(const std::vector<Picture>& frames, const std::vector<uint16_t>& delays);

} // namespace Zelto
