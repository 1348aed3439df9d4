#include "Source/Platform/Decompress.h"

#include "Common/Log.h"
#include "Common/PackedBlock.h"
#include "Source/Common/Memory.h"

#include <lzma.h>
#include <zlib.h>

#include <new>

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
// A streamed block's unpacked bytes pass through this much room: large enough that a file is written in few
// calls, small enough that two lanes' rooms are nothing beside an LZMA dictionary.
constexpr uint32_t StreamChunkBytes = 256 * 1024;

// Where a decoder writes: the caller's fixed room, a block that grows as bytes come, or a room of
// StreamChunkBytes handed on to a sink each time it is full; never beyond a limit.
class Output
{
public:
    Output(uint8_t* room, uint32_t size) : mFixed(room), mLimit(size) {}
    Output(DataBuffer& block, uint32_t limit) : mBlock(&block), mLimit(limit) {}
    Output(DataBuffer& chunk, ByteSink& sink, uint32_t limit) : mBlock(&chunk), mSink(&sink), mLimit(limit) {}

    uint32_t Limit() const { return mLimit; }
    bool Refused() const { return mRefused; }         // the sink took no more
    bool OutOfMemory() const { return mOutOfMemory; } // the room could not grow

    // Room behind the `produced` bytes; false once the limit is reached, no memory is left or the sink
    // refused (then the decoder runs on without room and reports what it still needed).
    bool More(uint32_t produced, uint8_t*& next, uint32_t& available)
    {
        if (produced >= mLimit || mRefused)
            return false;
        if (mSink != nullptr)
            return MoreFromChunk(produced, next, available);
        uint8_t* data = mFixed;
        uint32_t size = mLimit;
        if (mBlock != nullptr)
        {
            // Room an earlier block left is used as it is; beyond it the block grows with what was produced.
            uint64_t grown = produced < FirstRoom / 2 ? FirstRoom : 2 * uint64_t(produced);
            if (grown < mBlock->Capacity())
                grown = mBlock->Capacity();
            size = grown < mLimit ? uint32_t(grown) : mLimit;
            if (!mBlock->Resize(size))
            {
                mOutOfMemory = true;
                return false;
            }
            data = mBlock->Data();
        }
        next = data + produced;
        available = size - produced;
        return true;
    }

    // Hands the bytes produced since the last full chunk to the sink; true without a sink.
    bool Flush(uint32_t produced)
    {
        if (mSink == nullptr || produced == mHandedOn)
            return !mRefused;
        uint32_t count = produced - mHandedOn;
        mHandedOn = produced;
        mRefused = mRefused || !mSink->Take(mBlock->Data(), count);
        return !mRefused;
    }

private:
    // The whole chunk was filled (the decoder asks only when it has no room left): it goes to the sink first.
    bool MoreFromChunk(uint32_t produced, uint8_t*& next, uint32_t& available)
    {
        if (!Flush(produced))
            return false;
        if (mBlock->Size() < StreamChunkBytes && !mBlock->Resize(StreamChunkBytes))
        {
            mOutOfMemory = true;
            return false;
        }
        next = mBlock->Data();
        available = mLimit - produced < StreamChunkBytes ? mLimit - produced : StreamChunkBytes;
        return true;
    }

    uint8_t* mFixed = nullptr;
    DataBuffer* mBlock = nullptr;
    ByteSink* mSink = nullptr;
    uint32_t mLimit;
    uint32_t mHandedOn = 0; // bytes given to the sink so far
    bool mRefused = false;
    bool mOutOfMemory = false;
};

} // namespace

// One packed stream at a time, fed in pieces as they come. The decoders stay for the next stream: liblzma
// keeps its dictionary when the next stream asks for the same size, and zlib its window.
class BlockDecoder
{
public:
    ~BlockDecoder()
    {
        if (mZlibReady)
            inflateEnd(&mZlib);
        lzma_end(&mLzma);
    }

    // A stream of `streamSize` bytes follows; LZMA decoding stops once `complete` bytes are produced. False
    // (logged) when the stream cannot start.
    bool Begin(const Output& output, bool isLzma, const uint8_t* properties, uint32_t streamSize,
               uint32_t complete)
    {
        mOutput = output;
        mIsLzma = isLzma;
        mComplete = complete;
        mProduced = 0;
        mEnded = false;
        mOutOfMemory = false;
        return Check(isLzma ? BeginLzma(properties, streamSize) : BeginZlib());
    }

    // False (logged) once the stream is known to be bad. Bytes after the stream's end are ignored.
    bool Feed(const uint8_t* bytes, uint32_t count)
    {
        if (mEnded)
            return true;
        return Check(mIsLzma ? FeedLzma(bytes, count, LZMA_RUN) : FeedZlib(bytes, count));
    }

    // Every byte was fed: true when the stream was whole.
    bool End()
    {
        if (mEnded)
            return true;
        if (mIsLzma)
            return Check(FeedLzma(nullptr, 0, LZMA_FINISH));
        // The input ended before the stream did, or (no room left) the stream wants more than the limit.
        GiveRoom(mZlib);
        return Check(mZlib.avail_out == 0 ? Z_BUF_ERROR : Z_DATA_ERROR);
    }

    uint32_t Produced() const { return mProduced; }
    bool Refused() const { return mOutput.Refused(); }
    bool OutOfMemory() const { return mOutOfMemory || mOutput.OutOfMemory(); }
    // Hands the last bytes on to a sink, if the output has one.
    bool Flush() { return mOutput.Flush(mProduced); }

private:
    // 0, or the decoder's result code, logged here. A sink that refused is the cause of any failure that
    // follows, and no failure of the stream's own.
    bool Check(int result)
    {
        if (result == 0 || Refused())
            return result == 0;
        if (result == (mIsLzma ? int(LzmaOutOfMemory) : Z_MEM_ERROR))
            mOutOfMemory = true;
        LogError(mIsLzma ? u"[ZG] Decompress(7z) Error Code : %d" : u"[ZG] Decompress(Zip) Error Code : %d",
                 result);
        return false;
    }

    template <typename Stream> void GiveRoom(Stream& stream)
    {
        uint8_t* next = nullptr;
        uint32_t available = 0;
        if (stream.avail_out == 0 && mOutput.More(mProduced, next, available))
        {
            stream.next_out = next;
            stream.avail_out = available;
        }
    }

    int BeginZlib()
    {
        mZlib.next_out = nullptr;
        mZlib.avail_out = 0;
        mZlib.avail_in = 0;
        if (mZlibReady)
            return inflateReset(&mZlib);
        int result = inflateInit(&mZlib);
        mZlibReady = result == Z_OK;
        return result;
    }

    // zlib's codes as its one-call uncompress gives them. A stream that ends before the limit is complete;
    // one that needs more room than the limit is -5.
    int FeedZlib(const uint8_t* bytes, uint32_t count)
    {
        mZlib.next_in = const_cast<Bytef*>(bytes);
        mZlib.avail_in = count;
        for (;;)
        {
            GiveRoom(mZlib);
            uint32_t before = mZlib.avail_out;
            int result = inflate(&mZlib, Z_NO_FLUSH);
            mProduced += before - mZlib.avail_out;
            if (result == Z_STREAM_END)
            {
                mEnded = true;
                return Z_OK;
            }
            if (result == Z_BUF_ERROR && mZlib.avail_in == 0)
                return Z_OK; // nothing more without more input
            if (result != Z_OK)
                return result == Z_NEED_DICT ? Z_DATA_ERROR : result;
            if (mZlib.avail_in == 0 && mZlib.avail_out != 0)
                return Z_OK;
        }
    }

    int BeginLzma(const uint8_t* properties, uint32_t streamSize)
    {
        if (streamSize < LzmaMinimumStream)
            return LzmaInputEnded;
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        // Rejects a properties byte above 224 (and lc + lp above 4, which liblzma does not decode).
        lzma_ret result = lzma_properties_decode(&filters[0], &LzmaAllocator, properties, LzmaPropertiesSize);
        if (result != LZMA_OK)
            return LzmaErrorCode(result);
        // A valid stream refers back no further than the bytes produced, so a dictionary beyond the limit is
        // never used: capping it keeps a crafted dictionary size from costing more memory than the output
        // may.
        auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
        if (options->dict_size > mOutput.Limit())
            options->dict_size = mOutput.Limit();
        if (options->dict_size < LzmaMinimumDictionary)
            options->dict_size = LzmaMinimumDictionary;
        mLzma.allocator = &LzmaAllocator;
        result = lzma_raw_decoder(&mLzma, filters);
        Memory::Free(options); // the decoder keeps what it needs
        mLzma.next_out = nullptr;
        mLzma.avail_out = 0;
        return result == LZMA_OK ? 0 : LzmaErrorCode(result);
    }

    // 0, or the LZMA result code. Decoding stops once `complete` bytes are produced; a stream may end earlier
    // with an end mark. Reaching the output's limit before that means the stream is not what it says.
    // liblzma reports input that runs out at the end as a call without progress (LZMA_BUF_ERROR), after one
    // more try.
    int FeedLzma(const uint8_t* bytes, uint32_t count, lzma_action action)
    {
        mLzma.next_in = bytes;
        mLzma.avail_in = count;
        for (;;)
        {
            if (mProduced == mComplete)
                break;
            GiveRoom(mLzma);
            if (mLzma.avail_out == 0) // no room was left to give
                return mProduced < mOutput.Limit() ? LzmaOutOfMemory : LzmaCorrupt;
            size_t before = mLzma.avail_out;
            lzma_ret result = lzma_code(&mLzma, action);
            mProduced += uint32_t(before - mLzma.avail_out);
            if (result == LZMA_STREAM_END)
                break;
            if (result != LZMA_OK)
                return LzmaErrorCode(result);
            if (action == LZMA_RUN && mLzma.avail_in == 0 && mLzma.avail_out != 0)
                return 0; // nothing more without more input
        }
        mEnded = true;
        return 0;
    }

    Output mOutput{nullptr, 0};
    bool mIsLzma = false;
    uint32_t mComplete = 0;
    uint32_t mProduced = 0;
    bool mEnded = false;
    bool mOutOfMemory = false;
    z_stream mZlib{};
    bool mZlibReady = false;
    lzma_stream mLzma = LZMA_STREAM_INIT;
};

bool Decompress(uint8_t* destination, uint32_t& destinationSize, const uint8_t* source, uint32_t sourceSize,
                const uint8_t* properties, bool isLzma)
{
    BlockDecoder decoder;
    if (!decoder.Begin(Output(destination, destinationSize), isLzma, properties, sourceSize,
                       destinationSize) ||
        !decoder.Feed(source, sourceSize) || !decoder.End())
        return false;
    destinationSize = decoder.Produced();
    return true;
}

bool Unpack(DataBuffer& buffer)
{
    PackedBlockInfo block;
    if (!ReadPackedBlockHeader(buffer.Data(), buffer.Size(), block))
        return true; // not packed: usable as it is
    DataBuffer unpacked;
    UnpackStream stream;
    stream.Start(unpacked, buffer.Size());
    if (!stream.Take(buffer.Data(), buffer.Size()) || !stream.Finish())
        return false;
    buffer.Adopt(unpacked, unpacked.Size());
    return true;
}

UnpackStream::~UnpackStream()
{
    delete mDecoder;
}

void UnpackStream::Release()
{
    delete mDecoder;
    mDecoder = nullptr;
    mChunk.Reset();
}

void UnpackStream::Start(DataBuffer& output, uint32_t blockSize)
{
    mOutput = &output;
    mSink = nullptr;
    output.Resize(0);
    Begin(blockSize);
}

void UnpackStream::Start(ByteSink& sink, uint32_t blockSize)
{
    mOutput = nullptr;
    mSink = &sink;
    Begin(blockSize);
}

void UnpackStream::Begin(uint32_t blockSize)
{
    mBlockSize = blockSize;
    mTaken = 0;
    mPhase = ReadingHeader;
    mFailure = UnpackFailure::None;
    if (blockSize < PackedBlockHeaderSize && !BeginPlain())
        Fail(UnpackFailure::OutOfMemory);
}

bool UnpackStream::Take(const uint8_t* bytes, uint32_t count)
{
    if (mPhase == Failed || count > mBlockSize - mTaken)
        return Fail(UnpackFailure::Damaged);
    mTaken += count;
    bool usable = true;
    if (mPhase == ReadingHeader)
        usable = TakeHeader(bytes, count);
    if (usable && mPhase == KeepingPlain)
        usable = Keep(bytes, count);
    else if (usable && mPhase == Decoding)
        usable = mDecoder->Feed(bytes, count);
    return usable || Fail(UnpackFailure::Damaged);
}

bool UnpackStream::Finish()
{
    if (mPhase == Failed || mTaken != mBlockSize)
        return Fail(UnpackFailure::Damaged);
    if (mPhase != Decoding)
        return true;
    if (!mDecoder->End() || !mDecoder->Flush())
        return Fail(UnpackFailure::Damaged);
    return mOutput == nullptr || mOutput->Resize(mDecoder->Produced());
}

// The first failure names the cause; what the decoder or the sink knew of it comes before a damaged stream.
bool UnpackStream::Fail(UnpackFailure cause)
{
    if (mFailure == UnpackFailure::None)
    {
        if (mPhase == Decoding && mDecoder->Refused())
            cause = UnpackFailure::Refused;
        else if (mPhase == Decoding && mDecoder->OutOfMemory())
            cause = UnpackFailure::OutOfMemory;
        mFailure = cause;
    }
    mPhase = Failed;
    return false;
}

bool UnpackStream::Keep(const uint8_t* bytes, uint32_t count)
{
    if (mSink != nullptr)
        return mSink->Take(bytes, count) || Fail(UnpackFailure::Refused);
    return mOutput->Append(bytes, count) || Fail(UnpackFailure::OutOfMemory);
}

bool UnpackStream::BeginPlain()
{
    mPhase = KeepingPlain;
    // Sized for the whole block at once: the bytes are never moved while they come.
    return mSink != nullptr || mOutput->Reserve(mBlockSize);
}

// `mTaken` already counts these bytes; what is left of them after the header is for the phase it chose.
bool UnpackStream::TakeHeader(const uint8_t*& bytes, uint32_t& count)
{
    uint32_t had = mTaken - count;
    uint32_t piece = count < PackedBlockHeaderSize - had ? count : PackedBlockHeaderSize - had;
    Memory::Copy(mHeader + had, bytes, piece);
    bytes += piece;
    count -= piece;
    if (had + piece < PackedBlockHeaderSize)
        return true;

    PackedBlockInfo block;
    if (!ReadPackedBlockHeader(mHeader, PackedBlockHeaderSize, block))
    {
        if (!BeginPlain())
            return Fail(UnpackFailure::OutOfMemory);
        return Keep(mHeader, PackedBlockHeaderSize);
    }
    uint32_t stated = block.unpackedSize;
    if (stated == 0)
    {
        mPhase = Dropping; // nothing to unpack, whatever follows
        return true;
    }
    if (mSink == nullptr && stated > Memory::MaxAllocation)
        return false; // no block can hold it
    if (mDecoder == nullptr)
        mDecoder = new (std::nothrow) BlockDecoder;
    if (mDecoder == nullptr)
        return Fail(UnpackFailure::OutOfMemory);
    bool isLzma = block.method == PackedLzma;
    uint32_t streamSize = mBlockSize - PackedBlockHeaderSize;
    uint64_t most = streamSize * (isLzma ? LzmaMostPerByte : ZlibMostPerByte);
    uint32_t limit = most < stated ? uint32_t(most) : stated;
    mPhase = Decoding;
    if (mSink != nullptr)
        return mDecoder->Begin(Output(mChunk, *mSink, limit), isLzma, block.properties, streamSize, stated);
    return mDecoder->Begin(Output(*mOutput, limit), isLzma, block.properties, streamSize, stated);
}

} // namespace Zelto
