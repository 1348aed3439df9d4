#include "tools/zoa-pack/PackedBlockWriter.h"

#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"

#include <lzma.h>
#include <zlib.h>

namespace Zelto
{

namespace
{

constexpr uint32_t MinDictionary = 64 * 1024;
constexpr uint32_t MaxDictionary = 8 * 1024 * 1024;

// The decoder allocates the whole dictionary, so a small file gets a small one.
uint32_t DictionarySize(uint32_t count)
{
    uint32_t size = MinDictionary;
    while (size < count && size < MaxDictionary)
        size *= 2;
    return size;
}

// LZMA1 has no stored chunks: incompressible input grows by an amount no library bound states, so the
// stream is appended piece by piece after the header.
bool PackLzma(const uint8_t* bytes, uint32_t count, DataBuffer& out, String& error)
{
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6))
    {
        error = u"LZMA preset not supported";
        return false;
    }
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.dict_size = DictionarySize(count);
    // The raw LZMA1 encoder knows no size in advance and always ends the stream with an end mark.
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t properties[PackedBlockPropertiesSize];
    lzma_stream stream = LZMA_STREAM_INIT;
    lzma_ret result = lzma_properties_encode(filters, properties);
    if (result == LZMA_OK)
        result = lzma_raw_encoder(&stream, filters);
    stream.next_in = bytes;
    stream.avail_in = count;
    uint8_t piece[64 * 1024];
    while (result == LZMA_OK)
    {
        stream.next_out = piece;
        stream.avail_out = sizeof piece;
        result = lzma_code(&stream, LZMA_FINISH);
        if (!out.Append(piece, uint32_t(sizeof piece - stream.avail_out)))
            result = LZMA_MEM_ERROR;
    }
    lzma_end(&stream);
    if (result != LZMA_STREAM_END)
    {
        error = Format(u"LZMA encoder failed with code %d", int(result));
        return false;
    }
    WritePackedBlockHeader(out.Data(), PackedLzma, properties, count);
    return true;
}

bool PackZlib(const uint8_t* bytes, uint32_t count, DataBuffer& out, String& error)
{
    uLongf written = compressBound(uLong(count));
    int result = Z_MEM_ERROR;
    if (PackedBlockHeaderSize + uint64_t(written) <= Memory::MaxAllocation &&
        out.Resize(uint32_t(PackedBlockHeaderSize + written)))
        result =
            compress2(out.Data() + PackedBlockHeaderSize, &written, bytes, uLong(count), Z_BEST_COMPRESSION);
    if (result != Z_OK)
    {
        error = Format(u"zlib compress2 failed with code %d", result);
        return false;
    }
    WritePackedBlockHeader(out.Data(), PackedZlib, nullptr, count);
    return out.Resize(uint32_t(PackedBlockHeaderSize + written));
}

} // namespace

bool PackBlock(const uint8_t* bytes, uint32_t count, PackedMethod method, DataBuffer& out, String& error)
{
    // The header's room first; it is filled in once the stream is made.
    out.Reset();
    if (!out.Resize(PackedBlockHeaderSize))
    {
        error = u"no memory to pack";
        return false;
    }
    bool packed =
        method == PackedLzma ? PackLzma(bytes, count, out, error) : PackZlib(bytes, count, out, error);
    if (!packed)
        out.Reset();
    return packed;
}

} // namespace Zelto
