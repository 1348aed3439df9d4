#include "Renderer/GifFrameDelays.h"

#include <cstring>

namespace Zelto
{

namespace
{

const uint8_t ExtensionIntroducer = 0x21;
const uint8_t GraphicControlLabel = 0xF9;
const uint8_t ImageSeparator = 0x2C;
const uint8_t Trailer = 0x3B;
const uint8_t ColourTableFlag = 0x80;

// A cursor that never reads past the end: every step says whether the bytes were there.
class GifReader
{
public:
    GifReader(const uint8_t* bytes, uint32_t size) : mBytes(bytes), mSize(size) {}

    bool Byte(uint8_t& value)
    {
        if (mPosition >= mSize)
            return false;
        value = mBytes[mPosition++];
        return true;
    }
    bool Skip(uint32_t count)
    {
        if (count > mSize - mPosition)
            return false;
        mPosition += count;
        return true;
    }
    const uint8_t* At() const { return mBytes + mPosition; }
    uint32_t Left() const { return mSize - mPosition; }

    // A colour table of 2^(n+1) RGB entries when the flag in `packed` is set.
    bool SkipColourTable(uint8_t packed)
    {
        return (packed & ColourTableFlag) == 0 || Skip(3u << ((packed & 7) + 1));
    }
    // Data sub-blocks up to the empty one that ends them.
    bool SkipSubBlocks()
    {
        uint8_t length = 0;
        while (Byte(length))
        {
            if (length == 0)
                return true;
            if (!Skip(length))
                return false;
        }
        return false;
    }

private:
    const uint8_t* mBytes;
    uint32_t mSize;
    uint32_t mPosition = 0;
};

} // namespace

bool ReadGifFrameDelays(const uint8_t* bytes, uint32_t size, Array<uint32_t>& delays)
{
    delays.Clear();
    const uint32_t signatureSize = 6, screenDescriptorSize = 7;
    if (size < signatureSize + screenDescriptorSize || (std::memcmp(bytes, "GIF87a", signatureSize) != 0 &&
                                                        std::memcmp(bytes, "GIF89a", signatureSize) != 0))
        return false;
    GifReader reader(bytes, size);
    reader.Skip(signatureSize + screenDescriptorSize);
    if (!reader.SkipColourTable(bytes[10]))
        return false;

    uint32_t pendingDelay = 0; // from the last graphic control extension, for the next image
    uint8_t block = 0;
    while (reader.Byte(block) && block != Trailer)
    {
        if (block == ExtensionIntroducer)
        {
            uint8_t label = 0;
            if (!reader.Byte(label))
                break;
            // Graphic control: size 4, packed fields, delay (little-endian), transparent index.
            if (label == GraphicControlLabel && reader.Left() >= 5 && reader.At()[0] >= 4)
                pendingDelay = uint32_t(reader.At()[2]) | uint32_t(reader.At()[3]) << 8;
            if (!reader.SkipSubBlocks())
                break;
        }
        else if (block == ImageSeparator)
        {
            const uint32_t positionAndSize = 8;
            uint8_t packed = 0, minimumCodeSize = 0;
            if (!reader.Skip(positionAndSize) || !reader.Byte(packed) || !reader.SkipColourTable(packed) ||
                !reader.Byte(minimumCodeSize))
                break;
            bool complete = reader.SkipSubBlocks();
            delays.Add(pendingDelay);
            pendingDelay = 0;
            if (!complete)
                break;
        }
        else
        {
            break; // not a block of the format: what came before stands
        }
    }
    return delays.Length() > 0;
}

} // namespace Zelto
