// Packed data blocks: a 20-byte header naming the packing method (zlib or LZMA) and the unpacked size, then
// the packed stream. Package contents and other data blocks may arrive packed this way.
#pragma once

#include "Common/DataBuffer.h"

#include <cstdint>

namespace Zelto
{

// Replaces a packed block in `buffer` by its unpacked bytes and leaves any other data as it is. True when the
// buffer now holds usable data (unpacked or never packed); false when unpacking failed, with the packed block
// still in the buffer. The stated size is not trusted: the output grows as bytes are produced, up to the
// stated size or what the packed stream can give at most, whichever is less; a stream that goes beyond fails.
bool Unpack(DataBuffer& buffer);

// Decodes a zlib stream, or a raw LZMA stream whose 5 property bytes (lc/lp/pb, dictionary size) are at
// `properties`. `destinationSize` is the room available on entry and the bytes produced on success. A failure
// is logged with the decoder's result code.
bool Decompress(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize,
                const uint8_t* properties, bool isLzma);

} // namespace Zelto
