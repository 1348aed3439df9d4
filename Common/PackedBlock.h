#pragma once

#include <cstdint>

namespace Zelto
{

// The packed block: data stored zlib- or LZMA-packed behind a 20-byte header: magic (8), LZMA properties (5),
// unused (2), method (1), unpacked size (4). The method byte is 0 for a raw LZMA1 stream; any other value
// means a zlib stream.

constexpr uint32_t PackedBlockHeaderSize = 20;
constexpr uint8_t PackedBlockMagic[8] = {0xF7, 0xF4, 0xE4, 0xC8, 0xCA, 0xD7, 0xD5, 0xC2};
constexpr uint32_t PackedBlockPropertiesOffset = 8;
constexpr uint32_t PackedBlockPropertiesSize = 5; // lc/lp/pb byte, then the dictionary size
constexpr uint32_t PackedBlockMethodOffset = 15;
constexpr uint32_t PackedBlockSizeOffset = 16;

enum PackedMethod : uint8_t
{
    PackedLzma = 0,
    PackedZlib = 1, // what we write; readers take every non-zero value as zlib
};

struct PackedBlockInfo
{
    PackedMethod method;
    uint8_t properties[PackedBlockPropertiesSize]; // meaningful for LZMA only
    uint32_t unpackedSize;
};

// Fills the 20 header bytes; `properties` may be null for zlib (then zero).
void WritePackedBlockHeader(uint8_t out[PackedBlockHeaderSize], PackedMethod method,
                            const uint8_t* properties, uint32_t unpackedSize);
// True when `bytes` begin with a packed-block header (at least 20 bytes and the magic).
bool ReadPackedBlockHeader(const uint8_t* bytes, uint32_t count, PackedBlockInfo& info);

} // namespace Zelto
