#include "tools/loading-screen/ImageFiles.h"

#include <zlib.h>

#include <algorithm>
#include <utility>

namespace Zelto
{

namespace
{

void PutBigEndian32(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((value >> shift) & 0xFF);
}

void PutLittleEndian16(std::string& out, uint32_t value)
{
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

void PutPngChunk(std::string& out, const char* type, const std::string& data)
{
    PutBigEndian32(out, uint32_t(data.size()));
    std::string typed = std::string(type, 4) + data;
    out += typed;
    PutBigEndian32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))));
}

// GIF's variable-width LZW: codes from minimumCodeSize + 1 bits up to 12, least significant bit first, a
// clear code at the start and whenever the table is full, the end code last.
class LzwPacker
{
public:
    explicit LzwPacker(uint32_t minimumCodeSize)
        : mClear(1u << minimumCodeSize), mFirstWidth(minimumCodeSize + 1), mTable(TableSlots)
    {
        Reset();
    }

    std::string Pack(const std::vector<uint8_t>& indices)
    {
        Put(mClear);
        if (indices.empty())
        {
            Put(mClear + 1);
            return Finish();
        }
        uint32_t prefix = indices[0];
        for (size_t i = 1; i < indices.size(); ++i)
        {
            uint32_t key = (prefix << 8) | indices[i];
            int32_t code = Find(key);
            if (code >= 0)
            {
                prefix = uint32_t(code);
                continue;
            }
            Put(prefix);
            Insert(key, ++mLastCode);
            if (mLastCode >= (1u << mWidth))
                ++mWidth;
            if (mLastCode == MaxCode)
            {
                Put(mClear);
                Reset();
            }
            prefix = indices[i];
        }
        Put(prefix);
        Put(mClear + 1);
        return Finish();
    }

private:
    static const uint32_t MaxCode = 4095;    // 12-bit codes, the format's widest
    static const uint32_t TableSlots = 8192; // a power of two above MaxCode: short probe chains
    struct Slot
    {
        uint32_t generation = 0; // slots of an earlier generation are empty: a reset clears nothing
        uint32_t key = 0;
        uint32_t code = 0;
    };

    void Reset()
    {
        ++mGeneration;
        mWidth = mFirstWidth;
        mLastCode = mClear + 1;
    }
    int32_t Find(uint32_t key) const
    {
        for (uint32_t slot = Hash(key);; slot = (slot + 1) & (TableSlots - 1))
        {
            if (mTable[slot].generation != mGeneration)
                return -1;
            if (mTable[slot].key == key)
                return int32_t(mTable[slot].code);
        }
    }
    void Insert(uint32_t key, uint32_t code)
    {
        uint32_t slot = Hash(key);
        while (mTable[slot].generation == mGeneration)
            slot = (slot + 1) & (TableSlots - 1);
        mTable[slot] = Slot{mGeneration, key, code};
    }
    static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 19; } // the top 13 bits
    void Put(uint32_t code)
    {
        mBits |= code << mBitCount;
        mBitCount += mWidth;
        while (mBitCount >= 8)
        {
            mOut += char(mBits & 0xFF);
            mBits >>= 8;
            mBitCount -= 8;
        }
    }
    std::string Finish()
    {
        if (mBitCount > 0)
            mOut += char(mBits & 0xFF);
        return std::move(mOut);
    }

    const uint32_t mClear, mFirstWidth;
    std::vector<Slot> mTable;
    uint32_t mGeneration = 0, mWidth = 0, mLastCode = 0;
    uint32_t mBits = 0, mBitCount = 0;
    std::string mOut;
};

std::string LzwCodes(const std::vector<uint8_t>& indices, uint32_t minimumCodeSize)
{
    return LzwPacker(minimumCodeSize).Pack(indices);
}

} // namespace

Picture Picture::Quadrants(int32_t width, int32_t height, uint32_t topLeft, uint32_t topRight,
                           uint32_t bottomLeft, uint32_t bottomRight)
{
    Picture picture{width, height, {}};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            bool right = x >= width / 2, bottom = y >= height / 2;
            picture.argb.push_back(bottom ? (right ? bottomRight : bottomLeft)
                                          : (right ? topRight : topLeft));
        }
    return picture;
}

Picture Picture::Plain(int32_t width, int32_t height, uint32_t argb)
{
    return Picture{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), argb)};
}

std::string PngFile(const Picture& picture)
{
    std::string header;
    PutBigEndian32(header, uint32_t(picture.width));
    PutBigEndian32(header, uint32_t(picture.height));
    header += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits per sample, RGBA, no interlace

    std::string rows;
    for (int32_t y = 0; y < picture.height; ++y)
    {
        rows += '\0'; // no filter
        for (int32_t x = 0; x < picture.width; ++x)
        {
            uint32_t pixel = picture.argb[size_t(y) * size_t(picture.width) + size_t(x)];
            for (int shift : {16, 8, 0, 24})
                rows += char((pixel >> shift) & 0xFF);
        }
    }
    uLongf packedSize = compressBound(uLong(rows.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
             uLong(rows.size()));
    packed.resize(packedSize);

    std::string file("\x89PNG\r\n\x1a\n", 8);
    PutPngChunk(file, "IHDR", header);
    PutPngChunk(file, "IDAT", packed);
    PutPngChunk(file, "IEND", "");
    return file;
}

std::string GifHead(int32_t width, int32_t height, const std::vector<uint32_t>& palette, uint32_t paletteBits)
{
    std::string file = "GIF89a";
    PutLittleEndian16(file, uint32_t(width));
    PutLittleEndian16(file, uint32_t(height));
    // A global table of 2^paletteBits colours, 8 bits per primary.
    file += char(0x80 | 0x70 | (paletteBits - 1));
    file += std::string("\0\0", 2);
    for (uint32_t i = 0; i < (1u << paletteBits); ++i)
    {
        uint32_t colour = i < palette.size() ? palette[i] : 0xFF000000u;
        for (int shift : {16, 8, 0})
            file += char((colour >> shift) & 0xFF);
    }
    file += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop for ever
    return file;
}

std::string GifFrame(int32_t width, int32_t height, const std::vector<uint8_t>& indices, uint16_t delay,
                     uint32_t paletteBits)
{
    std::string file("\x21\xF9\x04\x04", 4); // graphic control: keep the frame in place
    PutLittleEndian16(file, delay);
    file += std::string("\0\0", 2);
    file += '\x2C';
    PutLittleEndian16(file, 0);
    PutLittleEndian16(file, 0);
    PutLittleEndian16(file, uint32_t(width));
    PutLittleEndian16(file, uint32_t(height));
    file += '\0';
    const uint32_t minimumCodeSize = paletteBits < 2 ? 2 : paletteBits;
    file += char(minimumCodeSize);
    std::string codes = LzwCodes(indices, minimumCodeSize);
    for (size_t start = 0; start < codes.size(); start += 255)
    {
        std::string block = codes.substr(start, 255);
        file += char(block.size());
        file += block;
    }
    file += '\0';
    return file;
}

std::string GifFile(const std::vector<Picture>& frames, const std::vector<uint16_t>& delays)
{
    std::vector<uint32_t> palette;
    for (const Picture& frame : frames)
        for (uint32_t pixel : frame.argb)
            if (std::find(palette.begin(), palette.end(), pixel | 0xFF000000u) == palette.end())
                palette.push_back(pixel | 0xFF000000u);
    std::string file = GifHead(frames[0].width, frames[0].height, palette, GifMaxPaletteBits);
    for (size_t index = 0; index < frames.size(); ++index)
    {
        const Picture& frame = frames[index];
        std::vector<uint8_t> indices;
        indices.reserve(frame.argb.size());
        for (uint32_t pixel : frame.argb)
            indices.push_back(
                uint8_t(std::find(palette.begin(), palette.end(), pixel | 0xFF000000u) - palette.begin()));
        file += GifFrame(frame.width, frame.height, indices, index < delays.size() ? delays[index] : 0,
                         GifMaxPaletteBits);
    }
    return file + GifTrailer;
}

} // namespace Zelto
