#include "Common/PackedBlock.h"

#include "Source/Common/Memory.h"

namespace Zelto
{

void WritePackedBlockHeader(uint8_t out[PackedBlockHeaderSize], PackedMethod method,
                            const uint8_t* properties, uint32_t unpackedSize)
{
    Memory::Set(out, 0, PackedBlockHeaderSize);
    Memory::Copy(out, PackedBlockMagic, sizeof PackedBlockMagic);
    if (properties != nullptr)
        Memory::Copy(out + PackedBlockPropertiesOffset, properties, PackedBlockPropertiesSize);
    out[PackedBlockMethodOffset] = method;
    for (uint32_t i = 0; i < 4; ++i)
        out[PackedBlockSizeOffset + i] = uint8_t(unpackedSize >> (8 * i));
}

bool ReadPackedBlockHeader(const uint8_t* bytes, uint32_t count, PackedBlockInfo& info)
{
    if (count < PackedBlockHeaderSize || !Memory::Compare(bytes, PackedBlockMagic, sizeof PackedBlockMagic))
        return false;
    info.method = bytes[PackedBlockMethodOffset] == 0 ? PackedLzma : PackedZlib;
    Memory::Copy(info.properties, bytes + PackedBlockPropertiesOffset, PackedBlockPropertiesSize);
    info.unpackedSize = 0;
    for (uint32_t i = 0; i < 4; ++i)
        info.unpackedSize |= uint32_t(bytes[PackedBlockSizeOffset + i]) << (8 * i);
    return true;
}

} // namespace Zelto
