#include "Common/Md5.h"

#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

constexpr uint32_t BlockBytes = 64;

// Per-step shift amounts, four per round.
constexpr uint32_t Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// floor(abs(sin(i + 1)) * 2^32), i = 0 ... 63.
constexpr uint32_t Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

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

void ProcessBlock(Md5State& state, const uint8_t* block)
{
    uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = ReadLittle(block + 4 * i);
    uint32_t a = state.a, b = state.b, c = state.c, d = state.d;
    for (uint32_t step = 0; step < 64; ++step)
    {
        uint32_t round = step / 16;
        uint32_t mix, word;
        switch (round)
        {
        case 0:
            mix = (b & c) | (~b & d);
            word = step;
            break;
        case 1:
            mix = (d & b) | (~d & c);
            word = (5 * step + 1) % 16;
            break;
        case 2:
            mix = b ^ c ^ d;
            word = (3 * step + 5) % 16;
            break;
        default:
            mix = c ^ (b | ~d);
            word = (7 * step) % 16;
            break;
        }
        uint32_t rotated = RotateLeft(a + mix + Sines[step] + words[word], Shifts[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
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
