#include "Renderer/ImageHeader.h"

#include "Renderer/GifFrameDelays.h"

#include <cstring>

namespace Zelto
{

namespace
{

uint32_t BigEndian16(const uint8_t* at)
{
    return uint32_t(at[0]) << 8 | at[1];
}

uint32_t BigEndian32(const uint8_t* at)
{
    return BigEndian16(at) << 16 | BigEndian16(at + 2);
}

uint32_t LittleEndian16(const uint8_t* at)
{
    return uint32_t(at[1]) << 8 | at[0];
}

uint32_t LittleEndian32(const uint8_t* at)
{
    return LittleEndian16(at + 2) << 16 | LittleEndian16(at);
}

// The signature, then the IHDR chunk: length, type, width and height.
bool ReadPng(const uint8_t* bytes, uint32_t size, ImageHeader& header)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 24 || std::memcmp(bytes, signature, sizeof signature) != 0 ||
        std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return false;
    header.width = BigEndian32(bytes + 16);
    header.height = BigEndian32(bytes + 20);
    return true;
}

// The logical screen, which every frame is decoded to, and the number of images.
bool ReadGif(const uint8_t* bytes, uint32_t size, ImageHeader& header)
{
    if (size < 10 || (std::memcmp(bytes, "GIF87a", 6) != 0 && std::memcmp(bytes, "GIF89a", 6) != 0))
        return false;
    header.width = LittleEndian16(bytes + 6);
    header.height = LittleEndian16(bytes + 8);
    Array<uint32_t> delays;
    header.frames = ReadGifFrameDelays(bytes, size, delays) ? delays.Length() : 1;
    return true;
}

// The markers up to the first start of frame, which holds the height and then the width.
bool ReadJpeg(const uint8_t* bytes, uint32_t size, ImageHeader& header)
{
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return false;
    uint32_t at = 2;
    while (at + 4 <= size)
    {
        if (bytes[at] != 0xFF)
            return false;
        uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) // fill byte
        {
            ++at;
            continue;
        }
        uint32_t length = BigEndian16(bytes + at + 2);
        bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame)
        {
            if (at + 9 > size)
                return false;
            header.height = BigEndian16(bytes + at + 5);
            header.width = BigEndian16(bytes + at + 7);
            return true;
        }
        if (length < 2)
            return false;
        at += 2 + length;
    }
    return false;
}

// The file header, then the info header's width and height (a negative height means rows top down).
bool ReadBmp(const uint8_t* bytes, uint32_t size, ImageHeader& header)
{
    if (size < 26 || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    auto width = int32_t(LittleEndian32(bytes + 18)), height = int32_t(LittleEndian32(bytes + 22));
    header.width = width < 0 ? 0u - uint32_t(width) : uint32_t(width);
    header.height = height < 0 ? 0u - uint32_t(height) : uint32_t(height);
    return true;
}

} // namespace

bool ImageFits(const ImageHeader& header, uint64_t pixelAllowance)
{
    return header.width <= MaxImageSide && header.height <= MaxImageSide && header.Pixels() <= pixelAllowance;
}

bool ReadImageHeader(const uint8_t* bytes, uint32_t size, ImageHeader& header)
{
    header = ImageHeader();
    return ReadPng(bytes, size, header) || ReadGif(bytes, size, header) || ReadJpeg(bytes, size, header) ||
           ReadBmp(bytes, size, header);
}

} // namespace Zelto
