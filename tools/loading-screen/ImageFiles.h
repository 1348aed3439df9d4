// Small image files made here: PNG through zlib, GIF with its own LZW packer. The renderer's tests draw them;
// the example loading screen's spinner is one, and zelto-host's preview records its frames with them.
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
// Opaque frames of one size, at most 256 colours in all; `delays` in hundredths of a second, one per frame.
std::string GifFile(const std::vector<Picture>& frames, const std::vector<uint16_t>& delays);

// An animated GIF a frame at a time, for frames too many to hold: the head (logical screen, a global palette
// of 2^paletteBits opaque colours, looping for ever), then one GifFrame per frame, then GifTrailer.
const uint32_t GifMaxPaletteBits = 8;
std::string GifHead(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                    uint32_t paletteBits);
// `indices` (width x height, rows top to bottom) into the palette; `delay` in hundredths of a second.
std::string GifFrame(int32_t width, int32_t height, const std::vector<uint8_t>& indices, uint16_t delay,
                     uint32_t paletteBits);
const char GifTrailer = '\x3B';

} // namespace Zelto
