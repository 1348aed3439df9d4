// Packs bytes into a packed block: the 20-byte header, then a zlib stream or a raw LZMA1 stream.
#pragma once

#include "Common/DataBuffer.h"
#include "Common/PackedBlock.h"
#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

// LZMA: lc 3, lp 0, pb 2, a dictionary of the smallest power of two that holds the input (64 KiB to 8 MiB),
// and an end mark after the data. zlib: compress2 at the best level. `out` receives the whole block, header
// and stream.
bool PackBlock(const uint8_t* bytes, uint32_t count, PackedMethod method, DataBuffer& out, String& error);

} // namespace Zelto
