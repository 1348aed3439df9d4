#include "Source/Platform/Decompress.h"

#include "Common/Log.h"
#include "Common/PackedBlock.h"
#include "Source/Common/Memory.h"

#include <lzma.h>
#include <zlib.h>

#include <utility>

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

// A byte of packed stream never gives more than this many unpacked bytes: zlib at most 1032 (a 258-byte match
// coded in 2 bits), LZMA about 7100 (a 273-byte repeat in about 0.3 bits once its probabilities have
// settled). A stated size beyond what the stream can give is a lie, and the output is bounded by the stream
// instead.
constexpr uint64_t ZlibMostPerByte = 1032;
constexpr uint64_t LzmaMostPerByte = 8192;
constexpr uint32_t FirstRoom = 64 * 1024; // the output grows from here as bytes are produced

// Where a decoder writes: the caller's fixed room, or a block that grows as bytes come, never beyond a limit.
class Output
{
public:
    Output(uint8_t* room, uint32_t size) : mFixed(room), mLimit(size) {}
    Output(DataBuffer& block, uint32_t limit) : mBlock(&block), mLimit(limit) {}

    uint32_t Limit() const { return mLimit; }

    // Room behind the `produced` bytes; false once the limit is reached or no memory is left (then the
    // decoder runs on without room and reports what it still needed).
    bool More(uint32_t produced, uint8_t*& next, uint32_t& available)
    {
        if (produced >= mLimit)
            return false;
        uint8_t* data = mFixed;
        uint32_t size = mLimit;
        if (mBlock != nullptr)
        {
            uint64_t grown = produced < FirstRoom / 2 ? FirstRoom : 2 * uint64_t(produced);
            size = grown < mLimit ? uint32_t(grown) : mLimit;
            if (!mBlock->Resize(size))
                return false;
            data = mBlock->Data();
        }
        next = data + produced;
        available = size - produced;
        return true;
    }

private:
    uint8_t* mFixed = nullptr;
    DataBuffer* mBlock = nullptr;
    uint32_t mLimit;
};

// Runs `step` (one call of the decoder) until it stops, giving `stream` more room whenever it has used all
// it had; `produced` counts the bytes written.
template <typename Stream, typename Step>
auto RunDecoder(Stream& stream, Output& output, uint32_t& produced, Step step)
{
    uint8_t* next = nullptr;
    uint32_t available = 0;
    for (;;)
    {
        if (stream.avail_out == 0 && output.More(produced, next, available))
        {
            stream.next_out = next;
            stream.avail_out = available;
        }
        uint32_t before = uint32_t(stream.avail_out);
        auto result = step();
        produced += before - uint32_t(stream.avail_out);
        if (result.second)
            return result.first;
    }
}

// 0, or the LZMA result code. Decoding stops once `complete` bytes are produced; a stream may end earlier
// with an end mark. Reaching the output's limit before that means the stream is not what it says.
int DecodeLzma(Output& output, uint32_t complete, const uint8_t* source, uint32_t sourceSize,
               const uint8_t* properties, uint32_t& produced)
{
    if (sourceSize < LzmaMinimumStream)
        return LzmaInputEnded;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    // Rejects a properties byte above 224 (and lc + lp above 4, which liblzma does not decode).
    lzma_ret result = lzma_properties_decode(&filters[0], &LzmaAllocator, properties, LzmaPropertiesSize);
    if (result != LZMA_OK)
        return LzmaErrorCode(result);
    // A valid stream refers back no further than the bytes produced, so a dictionary beyond the limit is
    // never used: capping it keeps a crafted dictionary size from costing more memory than the output may.
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    if (options->dict_size > output.Limit())
        options->dict_size = output.Limit();
    if (options->dict_size < LzmaMinimumDictionary)
        options->dict_size = LzmaMinimumDictionary;

    lzma_stream stream = LZMA_STREAM_INIT;
    stream.allocator = &LzmaAllocator;
    result = lzma_raw_decoder(&stream, filters);
    Memory::Free(options); // the decoder keeps what it needs
    stream.next_in = source;
    stream.avail_in = sourceSize;
    produced = 0;
    // liblzma reports input that runs out as a call without progress (LZMA_BUF_ERROR), after one more try.
    if (result == LZMA_OK)
        result = RunDecoder(stream, output, produced,
                            [&]
                            {
                                if (produced == complete)
                                    return std::make_pair(LZMA_OK, true);
                                if (stream.avail_out == 0) // no room was left to give
                                    return std::make_pair(
                                        produced < output.Limit() ? LZMA_MEM_ERROR : LZMA_DATA_ERROR, true);
                                lzma_ret step = lzma_code(&stream, LZMA_FINISH);
                                return std::make_pair(step, step != LZMA_OK);
                            });
    lzma_end(&stream);
    return result == LZMA_OK || result == LZMA_STREAM_END ? 0 : LzmaErrorCode(result);
}

// 0, or zlib's result code (as its one-call uncompress gives them). A stream that ends before the limit is
// complete; one that needs more room than the limit is -5.
int DecodeZlib(Output& output, const uint8_t* source, uint32_t sourceSize, uint32_t& produced)
{
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = sourceSize;
    int result = inflateInit(&stream);
    produced = 0;
    if (result == Z_OK)
        result = RunDecoder(stream, output, produced,
                            [&]
                            {
                                int step = inflate(&stream, Z_NO_FLUSH);
                                return std::make_pair(step, step != Z_OK);
                            });
    inflateEnd(&stream);
    if (result == Z_STREAM_END)
        return Z_OK;
    if (result == Z_NEED_DICT || (result == Z_BUF_ERROR && stream.avail_out != 0))
        return Z_DATA_ERROR; // the input ended (or names a dictionary) before the stream did
    return result;
}

// Decodes into `output`; a failure is logged with the decoder's result code.
bool Decode(Output& output, uint32_t complete, const uint8_t* source, uint32_t sourceSize,
            const uint8_t* properties, bool isLzma, uint32_t& produced)
{
    int result = isLzma ? DecodeLzma(output, complete, source, sourceSize, properties, produced)
                        : DecodeZlib(output, source, sourceSize, produced);
    if (result != 0)
        LogError(isLzma ? u"[ZG] Decompress(7z) Error Code : %d" : u"[ZG] Decompress(Zip) Error Code : %d",
                 result);
    return result == 0;
}

} // namespace

bool Decompress(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize,
                const uint8_t* properties, bool isLzma)
{
    Output output(destination, destinationSize);
    uint32_t produced = 0;
    if (!Decode(output, destinationSize, source, sourceSize, properties, isLzma, produced))
        return false;
    destinationSize = produced;
    return true;
}

bool Unpack(DataBuffer& buffer)
{
    PackedBlockInfo block;
    if (!ReadPackedBlockHeader(buffer.Data(), buffer.Size(), block))
        return true; // not packed: usable as it is
    uint32_t stated = block.unpackedSize;
    if (stated == 0)
    {
        buffer.Reset();
        return true;
    }
    if (stated > Memory::MaxAllocation)
        return false; // no block can hold it
    bool isLzma = block.method == PackedLzma;
    const uint8_t* stream = buffer.Data() + PackedBlockHeaderSize;
    uint32_t streamSize = buffer.Size() - PackedBlockHeaderSize;
    uint64_t most = streamSize * (isLzma ? LzmaMostPerByte : ZlibMostPerByte);
    DataBuffer unpacked;
    Output output(unpacked, most < stated ? uint32_t(most) : stated);
    uint32_t produced = 0;
    if (!Decode(output, stated, stream, streamSize, block.properties, isLzma, produced))
        return false;
    buffer.Adopt(unpacked, produced);
    return true;
}

} // namespace Zelto
