#include "tools/zoa-pack/PackedBlockWriter.h"

#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

constexpr uint32_t MinDictionary = 64 * 1024;
constexpr uint32_t MaxDictionary = 8 * 1024 * 1024;
constexpr uint32_t PieceBytes = 64 * 1024; // the stream goes on in pieces of this size

// The decoder allocates the whole dictionary, so a small file gets a small one.
uint32_t DictionarySize(uint32_t count)
{
    uint32_t size = MinDictionary;
    while (size < count && size < MaxDictionary)
        size *= 2;
    return size;
}

class AppendTo : public ByteSink
{
public:
    explicit AppendTo(DataBuffer& buffer) : mBuffer(buffer) {}
    bool Take(const uint8_t* bytes, uint32_t count) override { return mBuffer.Append(bytes, count); }

private:
    DataBuffer& mBuffer;
};

} // namespace

BlockPacker::~BlockPacker()
{
    if (mZlibReady)
        deflateEnd(&mZlib);
    lzma_end(&mLzma);
}

bool BlockPacker::Start(PackedMethod method, uint32_t unpackedSize, ByteSink& out, String& error)
{
    mMethod = method;
    mOut = &out;
    uint8_t properties[PackedBlockPropertiesSize] = {};
    if (method == PackedLzma)
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
        options.dict_size = DictionarySize(unpackedSize);
        // The raw LZMA1 encoder knows no size in advance and always ends the stream with an end mark.
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_ret result = lzma_properties_encode(filters, properties);
        if (result == LZMA_OK)
            result = lzma_raw_encoder(&mLzma, filters);
        if (result != LZMA_OK)
        {
            error = Format(u"LZMA encoder failed with code %d", int(result));
            return false;
        }
    }
    else
    {
        int result = deflateInit(&mZlib, Z_BEST_COMPRESSION);
        mZlibReady = result == Z_OK;
        if (!mZlibReady)
        {
            error = Format(u"zlib deflateInit failed with code %d", result);
            return false;
        }
    }
    uint8_t header[PackedBlockHeaderSize];
    WritePackedBlockHeader(header, method, method == PackedLzma ? properties : nullptr, unpackedSize);
    if (out.Take(header, sizeof header))
        return true;
    error = u"cannot write the packed block";
    return false;
}

bool BlockPacker::Take(const uint8_t* bytes, uint32_t count, String& error)
{
    if (mMethod == PackedLzma)
    {
        mLzma.next_in = bytes;
        mLzma.avail_in = count;
    }
    else
    {
        mZlib.next_in = const_cast<Bytef*>(bytes);
        mZlib.avail_in = count;
    }
    return Code(false, error);
}

bool BlockPacker::Finish(String& error)
{
    return Code(true, error);
}

bool BlockPacker::Code(bool finish, String& error)
{
    uint8_t piece[PieceBytes];
    for (;;)
    {
        uint32_t made = 0;
        bool ended = false;
        if (mMethod == PackedLzma)
        {
            mLzma.next_out = piece;
            mLzma.avail_out = sizeof piece;
            lzma_ret result = lzma_code(&mLzma, finish ? LZMA_FINISH : LZMA_RUN);
            if (result != LZMA_OK && result != LZMA_STREAM_END)
            {
                error = Format(u"LZMA encoder failed with code %d", int(result));
                return false;
            }
            made = uint32_t(sizeof piece - mLzma.avail_out);
            ended = result == LZMA_STREAM_END || (!finish && mLzma.avail_in == 0 && mLzma.avail_out != 0);
        }
        else
        {
            mZlib.next_out = piece;
            mZlib.avail_out = sizeof piece;
            int result = deflate(&mZlib, finish ? Z_FINISH : Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            {
                error = Format(u"zlib deflate failed with code %d", result);
                return false;
            }
            made = uint32_t(sizeof piece - mZlib.avail_out);
            ended = result == Z_STREAM_END || (!finish && mZlib.avail_in == 0 && mZlib.avail_out != 0);
        }
        if (made != 0 && !mOut->Take(piece, made))
        {
            error = u"cannot write the packed block";
            return false;
        }
        if (ended)
            return true;
    }
}

bool PackBlock(const uint8_t* bytes, uint32_t count, PackedMethod method, DataBuffer& out, String& error)
{
    out.Reset();
    AppendTo sink(out);
    BlockPacker packer;
    bool packed =
        packer.Start(method, count, sink, error) && packer.Take(bytes, count, error) && packer.Finish(error);
    if (!packed)
        out.Reset();
    return packed;
}

} // namespace Zelto
