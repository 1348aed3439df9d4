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

// Unpacks a block of known size as its bytes arrive, as Unpack would unpack it whole: the packed bytes are
// never kept, and a block that is not packed is kept as it comes. The decoders and the output's room stay
// from one block to the next, so a stream of blocks allocates once.
class UnpackStream : public ByteSink
{
public:
    UnpackStream() = default;
    ~UnpackStream() override;
    UnpackStream(const UnpackStream&) = delete;
    UnpackStream& operator=(const UnpackStream&) = delete;

    // A block of `blockSize` bytes follows; `output` is emptied (its room kept) and receives its bytes.
    void Start(DataBuffer& output, uint32_t blockSize);
    // False once the block cannot unpack (logged as Unpack logs it) or brings more than `blockSize` bytes.
    bool Take(const uint8_t* bytes, uint32_t count) override;
    // True when all `blockSize` bytes came and `output` holds the whole of what they unpack to.
    bool Finish();
    uint32_t Taken() const { return mTaken; }
    // Frees the decoders (an LZMA dictionary) between blocks, when no block may follow for a while.
    void Release();

private:
    bool TakeHeader(const uint8_t*& bytes, uint32_t& count); // false on a failure
    bool BeginPlain();                                       // the block is kept as it comes

    enum Phase : uint8_t
    {
        ReadingHeader,
        KeepingPlain,
        Decoding,
        Dropping, // an empty packed block: what follows is not needed
        Failed,
    };
    DataBuffer* mOutput = nullptr;
    BlockDecoder* mDecoder = nullptr; // made on first need, kept for the next blocks
    uint32_t mBlockSize = 0;
    uint32_t mTaken = 0;
    uint8_t mHeader[PackedBlockHeaderSize] = {};
    Phase mPhase = ReadingHeader;
};

} // namespace Zelto
