// Packs bytes into a packed block: the 20-byte header, then a zlib stream or a raw LZMA1 stream.
#pragma once

#include "Common/ByteSink.h"
#include "Common/DataBuffer.h"
#include "Common/PackedBlock.h"
#include "Common/String.h"

#include <lzma.h>
#include <zlib.h>

#include <cstdint>

namespace Zelto
{

// LZMA: lc 3, lp 0, pb 2, a dictionary of the smallest power of two that holds the input (64 KiB to 8 MiB),
// and an end mark after the data. zlib: the best level. The block is handed to `out` as it is made, the
// header first (the unpacked size is known in advance), so that a file of any size is packed in fixed
// memory.
class BlockPacker
{
public:
    BlockPacker() = default;
    ~BlockPacker();
    BlockPacker(const BlockPacker&) = delete;
    BlockPacker& operator=(const BlockPacker&) = delete;

    bool Start(PackedMethod method, uint32_t unpackedSize, ByteSink& out, String& error);
    bool Take(const uint8_t* bytes, uint32_t count, String& error);
    bool Finish(String& error); // every byte was given: ends the stream

private:
    bool Code(bool finish, String& error); // encodes what was given, handing the output on

    PackedMethod mMethod = PackedZlib;
    ByteSink* mOut = nullptr;
    z_stream mZlib{};
    bool mZlibReady = false;
    lzma_stream mLzma = LZMA_STREAM_INIT;
};

// The whole block of `count` bytes in `out`, header and stream.
bool PackBlock(const uint8_t* bytes, uint32_t count, PackedMethod method, DataBuffer& out, String& error);

} // namespace Zelto
