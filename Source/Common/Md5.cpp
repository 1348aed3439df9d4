#include "Common/Md5.h"

#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

constexpr uint32_t BlockBytes = 64;

uint32_t ReadLittle(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

void WriteLittle(uint8_t* bytes, uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(word >> (8 * i));
}

uint32_t RotateLeft(uint32_t value, uint32_t shift)
{
    return value << shift | value >> (32 - shift);
}

// The four rounds' mixing functions.
inline uint32_t MixF(uint32_t b, uint32_t c, uint32_t d)
{
    return d ^ (b & (c ^ d)); // (b & c) | (~b & d) with one operation fewer
}
inline uint32_t MixG(uint32_t b, uint32_t c, uint32_t d)
{
    return (b & d) + (c & ~d); // (b & d) | (c & ~d): the bits never overlap, and c & ~d need not wait for b
}
inline uint32_t MixH(uint32_t b, uint32_t c, uint32_t d)
{
    return b ^ (c ^ d);
}
inline uint32_t MixI(uint32_t b, uint32_t c, uint32_t d)
{
    return c ^ (b | ~d);
}

template <uint32_t (*Mix)(uint32_t, uint32_t, uint32_t)>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t sine,
                 uint32_t shift)
{
    // The sum that does not wait for the previous step's b comes first.
    a = b + RotateLeft(Mix(b, c, d) + (a + word + sine), shift);
}

// The 64 steps written out, as straight-line code the compiler keeps in registers: each names its word, its
// constant floor(abs(sin(i + 1)) * 2^32) and its shift.
void ProcessBlock(Md5State& state, const uint8_t* block)
{
    uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = ReadLittle(block + 4 * i);
    uint32_t a = state.a, b = state.b, c = state.c, d = state.d;

    Step<MixF>(a, b, c, d, words[0], 0xd76aa478, 7);
    Step<MixF>(d, a, b, c, words[1], 0xe8c7b756, 12);
    Step<MixF>(c, d, a, b, words[2], 0x242070db, 17);
    Step<MixF>(b, c, d, a, words[3], 0xc1bdceee, 22);
    Step<MixF>(a, b, c, d, words[4], 0xf57c0faf, 7);
    Step<MixF>(d, a, b, c, words[5], 0x4787c62a, 12);
    Step<MixF>(c, d, a, b, words[6], 0xa8304613, 17);
    Step<MixF>(b, c, d, a, words[7], 0xfd469501, 22);
    Step<MixF>(a, b, c, d, words[8], 0x698098d8, 7);
    Step<MixF>(d, a, b, c, words[9], 0x8b44f7af, 12);
    Step<MixF>(c, d, a, b, words[10], 0xffff5bb1, 17);
    Step<MixF>(b, c, d, a, words[11], 0x895cd7be, 22);
    Step<MixF>(a, b, c, d, words[12], 0x6b901122, 7);
    Step<MixF>(d, a, b, c, words[13], 0xfd987193, 12);
    Step<MixF>(c, d, a, b, words[14], 0xa679438e, 17);
    Step<MixF>(b, c, d, a, words[15], 0x49b40821, 22);

    Step<MixG>(a, b, c, d, words[1], 0xf61e2562, 5);
    Step<MixG>(d, a, b, c, words[6], 0xc040b340, 9);
    Step<MixG>(c, d, a, b, words[11], 0x265e5a51, 14);
    Step<MixG>(b, c, d, a, words[0], 0xe9b6c7aa, 20);
    Step<MixG>(a, b, c, d, words[5], 0xd62f105d, 5);
    Step<MixG>(d, a, b, c, words[10], 0x02441453, 9);
    Step<MixG>(c, d, a, b, words[15], 0xd8a1e681, 14);
    Step<MixG>(b, c, d, a, words[4], 0xe7d3fbc8, 20);
    Step<MixG>(a, b, c, d, words[9], 0x21e1cde6, 5);
    Step<MixG>(d, a, b, c, words[14], 0xc33707d6, 9);
    Step<MixG>(c, d, a, b, words[3], 0xf4d50d87, 14);
    Step<MixG>(b, c, d, a, words[8], 0x455a14ed, 20);
    Step<MixG>(a, b, c, d, words[13], 0xa9e3e905, 5);
    Step<MixG>(d, a, b, c, words[2], 0xfcefa3f8, 9);
    Step<MixG>(c, d, a, b, words[7], 0x676f02d9, 14);
    Step<MixG>(b, c, d, a, words[12], 0x8d2a4c8a, 20);

    Step<MixH>(a, b, c, d, words[5], 0xfffa3942, 4);
    Step<MixH>(d, a, b, c, words[8], 0x8771f681, 11);
    Step<MixH>(c, d, a, b, words[11], 0x6d9d6122, 16);
    Step<MixH>(b, c, d, a, words[14], 0xfde5380c, 23);
    Step<MixH>(a, b, c, d, words[1], 0xa4beea44, 4);
    Step<MixH>(d, a, b, c, words[4], 0x4bdecfa9, 11);
    Step<MixH>(c, d, a, b, words[7], 0xf6bb4b60, 16);
    Step<MixH>(b, c, d, a, words[10], 0xbebfbc70, 23);
    Step<MixH>(a, b, c, d, words[13], 0x289b7ec6, 4);
    Step<MixH>(d, a, b, c, words[0], 0xeaa127fa, 11);
    Step<MixH>(c, d, a, b, words[3], 0xd4ef3085, 16);
    Step<MixH>(b, c, d, a, words[6], 0x04881d05, 23);
    Step<MixH>(a, b, c, d, words[9], 0xd9d4d039, 4);
    Step<MixH>(d, a, b, c, words[12], 0xe6db99e5, 11);
    Step<MixH>(c, d, a, b, words[15], 0x1fa27cf8, 16);
    Step<MixH>(b, c, d, a, words[2], 0xc4ac5665, 23);

    Step<MixI>(a, b, c, d, words[0], 0xf4292244, 6);
    Step<MixI>(d, a, b, c, words[7], 0x432aff97, 10);
    Step<MixI>(c, d, a, b, words[14], 0xab9423a7, 15);
    Step<MixI>(b, c, d, a, words[5], 0xfc93a039, 21);
    Step<MixI>(a, b, c, d, words[12], 0x655b59c3, 6);
    Step<MixI>(d, a, b, c, words[3], 0x8f0ccc92, 10);
    Step<MixI>(c, d, a, b, words[10], 0xffeff47d, 15);
    Step<MixI>(b, c, d, a, words[1], 0x85845dd1, 21);
    Step<MixI>(a, b, c, d, words[8], 0x6fa87e4f, 6);
    Step<MixI>(d, a, b, c, words[15], 0xfe2ce6e0, 10);
    Step<MixI>(c, d, a, b, words[6], 0xa3014314, 15);
    Step<MixI>(b, c, d, a, words[13], 0x4e0811a1, 21);
    Step<MixI>(a, b, c, d, words[4], 0xf7537e82, 6);
    Step<MixI>(d, a, b, c, words[11], 0xbd3af235, 10);
    Step<MixI>(c, d, a, b, words[2], 0x2ad7d2bb, 15);
    Step<MixI>(b, c, d, a, words[9], 0xeb86d391, 21);

    state.a += a;
    state.b += b;
    state.c += c;
    state.d += d;
}

// The message ends with `tail` (fewer than 64 bytes, possibly none): a 0x80 byte, zeros up to 56 bytes into a
// block, and the length in bits as a 64-bit little-endian number; a tail of 56 bytes or more needs a second
// block for the length.
void Finish(Md5State& state, const uint8_t* tail, uint32_t tailCount)
{
    uint8_t blocks[2 * BlockBytes] = {};
    Memory::Copy(blocks, tail, tailCount);
    blocks[tailCount] = 0x80;
    uint32_t used = tailCount < BlockBytes - 8 ? BlockBytes : 2 * BlockBytes;
    uint64_t bits = state.processed * 8;
    for (int i = 0; i < 8; ++i)
        blocks[used - 8 + i] = uint8_t(bits >> (8 * i));
    for (uint32_t offset = 0; offset < used; offset += BlockBytes)
        ProcessBlock(state, blocks + offset);
}

} // namespace

Md5State Md5Start(const void* bytes, uint32_t count, int64_t total)
{
    return Md5Continue(Md5State{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476}, bytes, count, total);
}

// The message is finished, always with its padding, once the bytes processed reach `total` (also when its
// length is a multiple of 64). A piece that is not a multiple of 64 bytes cannot be continued, so it ends the
// message too.
Md5State Md5Continue(Md5State state, const void* bytes, uint32_t count, int64_t total)
{
    auto* data = static_cast<const uint8_t*>(bytes);
    uint32_t tailCount = count % BlockBytes;
    for (uint32_t offset = 0; offset < count - tailCount; offset += BlockBytes)
        ProcessBlock(state, data + offset);
    state.processed += count;
    if (total < 0 || state.processed >= uint64_t(total) || tailCount != 0)
        Finish(state, data + count - tailCount, tailCount);
    return state;
}

void Md5Stream::Add(const void* bytes, uint32_t count)
{
    auto* data = static_cast<const uint8_t*>(bytes);
    if (mTailCount != 0)
    {
        uint32_t piece = count < BlockBytes - mTailCount ? count : BlockBytes - mTailCount;
        Memory::Copy(mTail + mTailCount, data, piece);
        mTailCount += piece;
        data += piece;
        count -= piece;
        if (mTailCount < BlockBytes)
            return;
        mState = Md5Continue(mState, mTail, BlockBytes, INT64_MAX);
        mTailCount = 0;
    }
    uint32_t whole = count - count % BlockBytes;
    if (whole != 0)
        mState = Md5Continue(mState, data, whole, INT64_MAX);
    mTailCount = count - whole;
    Memory::Copy(mTail, data + whole, mTailCount);
}

Md5State Md5Stream::Finish() const
{
    return Md5Continue(mState, mTail, mTailCount, int64_t(Length()));
}

Md5State Md5FromBytes(const uint8_t digest[16])
{
    return Md5State{ReadLittle(digest), ReadLittle(digest + 4), ReadLittle(digest + 8),
                    ReadLittle(digest + 12)};
}

void Md5ToBytes(const Md5State& state, uint8_t digest[16])
{
    WriteLittle(digest, state.a);
    WriteLittle(digest + 4, state.b);
    WriteLittle(digest + 8, state.c);
    WriteLittle(digest + 12, state.d);
}

String Md5Text(const Md5State& state)
{
    return Format(u"%.8x%.8x%.8x%.8x", state.d, state.c, state.b, state.a);
}

} // namespace Zelto
