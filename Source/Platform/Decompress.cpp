#include "Source/Platform/Decompress.h"

#include "Common/Log.h"
#include "Common/PackedBlock.h"
#include "Source/Common/Memory.h"

#include <lzma.h>
#include <zlib.h>

namespace Zelto
{

namespace
{

constexpr uint32_t LzmaPropertiesSize = PackedBlockPropertiesSize;
constexpr uint32_t LzmaMinimumStream = 5; // the range coder starts with 5 bytes
constexpr uint32_t LzmaMinimumDictionary = 4096;

// The LZMA result codes of the log message.
enum LzmaError : int
{
    LzmaCorrupt = 1,
    LzmaOutOfMemory = 2,
    LzmaUnsupported = 4,
    LzmaInputEnded = 6,
};

// The LZMA decoder's dictionary and probability tables come from our heap, under its size limit.
void* LzmaAlloc(void*, size_t count, size_t size)
{
    return Memory::Alloc(Memory::BlockSize(count, size));
}

void LzmaFree(void*, void* pointer)
{
    Memory::Free(pointer);
}

const lzma_allocator LzmaAllocator = {LzmaAlloc, LzmaFree, nullptr};

int LzmaErrorCode(lzma_ret result)
{
    switch (result)
    {
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return LzmaOutOfMemory;
    case LZMA_OPTIONS_ERROR:
        return LzmaUnsupported;
    case LZMA_BUF_ERROR:
        return LzmaInputEnded;
    default:
        return LzmaCorrupt;
    }
}

// 0, or the LZMA result code. Decoding stops once the room is filled; a stream may end earlier with an end
// mark.
int DecodeLzma(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize,
               const uint8_t* properties)
{
    if (sourceSize < LzmaMinimumStream)
        return LzmaInputEnded;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    // Rejects a properties byte above 224 (and lc + lp above 4, which liblzma does not decode).
    lzma_ret result = lzma_properties_decode(&filters[0], &LzmaAllocator, properties, LzmaPropertiesSize);
    if (result != LZMA_OK)
        return LzmaErrorCode(result);
    // A valid stream refers back no further than the bytes produced, so a dictionary beyond the room is never
    // used: capping it keeps a crafted dictionary size from costing more memory than the unpacked size.
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    if (options->dict_size > destinationSize)
        options->dict_size = destinationSize;
    if (options->dict_size < LzmaMinimumDictionary)
        options->dict_size = LzmaMinimumDictionary;

    lzma_stream stream = LZMA_STREAM_INIT;
    stream.allocator = &LzmaAllocator;
    result = lzma_raw_decoder(&stream, filters);
    Memory::Free(options); // the decoder keeps what it needs
    stream.next_in = source;
    stream.avail_in = sourceSize;
    stream.next_out = destination;
    stream.avail_out = destinationSize;
    // liblzma reports input that runs out as a call without progress (LZMA_BUF_ERROR), after one more try.
    while (result == LZMA_OK && stream.avail_out != 0)
        result = lzma_code(&stream, LZMA_FINISH);
    lzma_end(&stream);
    if (result != LZMA_OK && result != LZMA_STREAM_END)
        return LzmaErrorCode(result);
    destinationSize -= uint32_t(stream.avail_out);
    return 0;
}

// 0, or zlib's result code. A stream that ends before the room is filled is complete.
int DecodeZlib(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize)
{
    uLongf produced = destinationSize;
    int result = uncompress(destination, &produced, source, sourceSize);
    if (result == Z_OK)
        destinationSize = uint32_t(produced);
    return result;
}

} // namespace

bool Decompress(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize,
                const uint8_t* properties, bool isLzma)
{
    int result = isLzma ? DecodeLzma(destination, destinationSize, source, sourceSize, properties)
                        : DecodeZlib(destination, destinationSize, source, sourceSize);
    if (result == 0)
        return true;
    LogError(isLzma ? u"[ZG] Decompress(7z) Error Code : %d" : u"[ZG] Decompress(Zip) Error Code : %d",
             result);
    return false;
}

bool Unpack(DataBuffer& buffer)
{
    PackedBlockInfo block;
    if (!ReadPackedBlockHeader(buffer.Data(), buffer.Size(), block))
        return true; // not packed: usable as it is
    uint32_t size = block.unpackedSize;
    if (size == 0)
    {
        buffer.Reset();
        return true;
    }
    DataBuffer unpacked;
    if (!unpacked.Allocate(size)) // a stated size beyond what Memory allows fails here
        return false;
    if (!Decompress(unpacked.Data(), size, buffer.Data() + PackedBlockHeaderSize,
                    buffer.Size() - PackedBlockHeaderSize, block.properties, block.method == PackedLzma))
        return false;
    buffer.Adopt(unpacked, size);
    return true;
}

} // namespace Zelto
