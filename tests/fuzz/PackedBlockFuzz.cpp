// Packed blocks from outside: Unpack either leaves the block alone or gives bytes no more than it states;
// both decoders also run on the raw bytes into a room whose size the input picks.
#include "Common/PackedBlock.h"
#include "FuzzCheck.h"
#include "Source/Platform/Decompress.h"

#include <vector>

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DataBuffer buffer;
    buffer.Attach(data, uint32_t(size), true);
    PackedBlockInfo block;
    bool packed = ReadPackedBlockHeader(data, uint32_t(size), block);
    bool unpacked = Unpack(buffer);
    Require(!packed || !unpacked || buffer.Size() <= block.unpackedSize);
    Require(unpacked || (packed && buffer.Size() == size)); // only a packed block fails, and keeps its bytes

    // Raw streams: 2 bytes of room size (up to 64 KiB), 5 LZMA property bytes, then the stream.
    if (size < 7)
        return 0;
    uint32_t room = uint32_t(data[0]) << 8 | data[1];
    std::vector<uint8_t> destination(room + 1);
    for (bool isLzma : {false, true})
    {
        uint32_t produced = room;
        if (Decompress(destination.data(), produced, data + 7, uint32_t(size - 7), data + 2, isLzma))
            Require(produced <= room);
    }
    return 0;
}
