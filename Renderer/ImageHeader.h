// What an image file says of its size before any pixel is decoded, so that the renderer can refuse an image
// too large to hold without asking a decoder to allocate it first.
#pragma once

#include <cstdint>

namespace Zelto
{

struct ImageHeader
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frames = 1; // the images of a GIF, each decoded to the whole logical screen
    uint64_t Pixels() const { return uint64_t(width) * height * frames; }
};

// Decoded images stay in memory for the screen's life, four bytes a pixel and each frame whole.
const uint32_t MaxImageSide = 16384;                // pixman places patterns at 16.16 fixed-point offsets
const uint64_t MaxImagePixels = uint64_t(1) << 24;  // 64 MB: a 4K picture with room to spare
const uint64_t MaxScreenPixels = uint64_t(1) << 25; // 128 MB for all of a screen's images, in a 32-bit host

// Within the side limit and at most `pixelAllowance` pixels in all frames.
bool ImageFits(const ImageHeader& header, uint64_t pixelAllowance);

// The stated dimensions of a PNG, GIF, JPEG or BMP file; false for other bytes or a header cut short.
bool ReadImageHeader(const uint8_t* bytes, uint32_t size, ImageHeader& header);

} // namespace Zelto
