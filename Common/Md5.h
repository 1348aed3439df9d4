// MD5 digests (RFC 1321) over data that may arrive in pieces.
#pragma once

#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

struct Md5State
{
    uint32_t a, b, c, d;    // the digest is a, b, c, d, each little-endian
    uint64_t processed = 0; // message bytes consumed so far: tells the last piece; not part of the digest
    bool operator==(const Md5State& other) const
    {
        return a == other.a && b == other.b && c == other.c && d == other.d;
    }
    bool operator!=(const Md5State& other) const { return !(*this == other); }
};

// `total` is the length of the whole message, or -1 when these bytes are all of it. Every piece but the last
// must be a multiple of 64 bytes long.
Md5State Md5Start(const void* bytes, uint32_t count, int64_t total);
Md5State Md5Continue(Md5State state, const void* bytes, uint32_t count, int64_t total);
inline Md5State Md5(const void* bytes, uint32_t count)
{
    return Md5Start(bytes, count, -1);
}

// A message digested as its pieces come, in any sizes, its length known only at its end.
class Md5Stream
{
public:
    void Add(const void* bytes, uint32_t count);
    Md5State Finish() const; // the digest of every byte added so far
    uint64_t Length() const { return mState.processed + mTailCount; }

private:
    static constexpr uint32_t BlockBytes = 64;
    Md5State mState = Md5Start(nullptr, 0, INT64_MAX); // not finished until Finish
    uint8_t mTail[BlockBytes] = {};                    // bytes short of a whole block
    uint32_t mTailCount = 0;
};

Md5State Md5FromBytes(const uint8_t digest[16]);
void Md5ToBytes(const Md5State& state, uint8_t digest[16]);
String Md5Text(const Md5State& state); // the words D, C, B, A as "%.8x" each: for log lines only

} // namespace Zelto
