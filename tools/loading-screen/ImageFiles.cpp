#include "tools/loading-screen/ImageFiles.h"

#include <zlib.h>

#include <algorithm>

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

std::string GifFile(const std::vector<Picture>& frames, const std::vector<uint16_t>& delays)
{
    const uint32_t paletteSize = 128, minimumCodeSize = 7, clearCode = 128, endCode = 129;
    const uint32_t codesBetweenClears = 100; // well before the table reaches 256 entries and 9-bit codes
    std::vector<uint32_t> palette;
    for (const Picture& frame : frames)
        for (uint32_t pixel : frame.argb)
            if (std::find(palette.begin(), palette.end(), pixel | 0xFF000000u) == palette.end())
                palette.push_back(pixel | 0xFF000000u);
    palette.resize(paletteSize, 0xFF000000u);

    std::string file = "GIF89a";
    PutLittleEndian16(file, uint32_t(frames[0].width));
    PutLittleEndian16(file, uint32_t(frames[0].height));
    file += char(0x80 | 0x70 | 6); // a global table of 2^(6+1) colours, 8 bits per primary
    file += std::string("\0\0", 2);
    for (uint32_t colour : palette)
        for (int shift : {16, 8, 0})
            file += char((colour >> shift) & 0xFF);
    file += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop for ever

    for (size_t index = 0; index < frames.size(); ++index)
    {
        const Picture& frame = frames[index];
        file += std::string("\x21\xF9\x04\x04", 4); // graphic control: keep the frame in place
        PutLittleEndian16(file, index < delays.size() ? delays[index] : 0);
        file += std::string("\0\0", 2);
        file += '\x2C';
        PutLittleEndian16(file, 0);
        PutLittleEndian16(file, 0);
        PutLittleEndian16(file, uint32_t(frame.width));
        PutLittleEndian16(file, uint32_t(frame.height));
        file += '\0';
        file += char(minimumCodeSize);

        std::string codes;
        for (size_t i = 0; i < frame.argb.size(); ++i)
        {
            if (i % codesBetweenClears == 0)
                codes += char(clearCode);
            uint32_t colour = frame.argb[i] | 0xFF000000u;
            codes += char(std::find(palette.begin(), palette.end(), colour) - palette.begin());
        }
        codes += char(endCode);
        for (size_t start = 0; start < codes.size(); start += 255)
        {
            std::string block = codes.substr(start, 255);
            file += char(block.size());
            file += block;
        }
        file += '\0';
    }
    file += '\x3B';
    return file;
}

} // namespace Zelto
