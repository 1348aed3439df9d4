// Packed data blocks: a 20-byte header naming the packing method (zlib or LZMA) and the unpacked size, then
// the packed stream. Package contents and other data blocks may arrive packed this way.
#pragma once

#include "Common/ByteSink.h"
#include "Common/DataBuffer.h"
#include "Common/PackedBlock.h"

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

class BlockDecoder; // zlib or LZMA, fed piece by piece (Decompress.cpp)

// Why a block did not unpack: its bytes were not what they say, there was no memory for the decoder or its
// room, or the sink refused what was unpacked (it knows why).
enum class UnpackFailure : uint8_t
{
    None,
    Damaged,
    OutOfMemory,
    Refused,
};

// Unpacks a block of known size as its bytes arrive, as Unpack would unpack it whole: the packed bytes are
// never kept, and a block that is not packed is kept as it comes. The unpacked bytes go to a DataBuffer, or
// on to a sink in pieces of at most 256 KiB, so that a file of any size passes through a fixed room. The
// decoders and the room stay from one block to the next, so a stream of blocks allocates once.
class UnpackStream : public ByteSink
{
public:
    UnpackStream() = default;
    ~UnpackStream() override;
    UnpackStream(const UnpackStream&) = delete;
    UnpackStream& operator=(const UnpackStream&) = delete;

    // A block of `blockSize` bytes follows; `output` is emptied (its room kept) and receives its bytes.
    void Start(DataBuffer& output, uint32_t blockSize);
    // The same, the unpacked bytes handed to `sink` as they come; a refusal ends the block.
    void Start(ByteSink& sink, uint32_t blockSize);
    // False once the block cannot unpack (logged as Unpack logs it) or brings more than `blockSize` bytes.
    bool Take(const uint8_t* bytes, uint32_t count) override;
    // True when all `blockSize` bytes came and the output holds (or the sink took) all they unpack to.
    bool Finish();
    uint32_t Taken() const { return mTaken; }
    UnpackFailure Failure() const { return mFailure; } // why Take or Finish failed
    // Frees the decoders (an LZMA dictionary) between blocks, when no block may follow for a while.
    void Release();

private:
    void Begin(uint32_t blockSize);
    bool TakeHeader(const uint8_t*& bytes, uint32_t& count); // false on a failure
    bool BeginPlain();                                       // the block is kept as it comes
    bool Keep(const uint8_t* bytes, uint32_t count);         // bytes of a block that is not packed
    bool Fail(UnpackFailure cause);                          // false, the cause recorded

    enum Phase : uint8_t
    {
        ReadingHeader,
        KeepingPlain,
        Decoding,
        Dropping, // an empty packed block: what follows is not needed
        Failed,
    };
    DataBuffer* mOutput = nullptr; // one of these two takes the bytes
    ByteSink* mSink = nullptr;
    DataBuffer mChunk;                // the room a sink's bytes pass through
    BlockDecoder* mDecoder = nullptr; // made on first need, kept for the next blocks
    uint32_t mBlockSize = 0;
    uint32_t mTaken = 0;
    uint8_t mHeader[PackedBlockHeaderSize] = {};
    Phase mPhase = ReadingHeader;
    UnpackFailure mFailure = UnpackFailure::None;
};

} // namespace Zelto
