#include "Common/Backoff.h"

#include <atomic>
#include <cstdint>

namespace Zelto
{

namespace
{

// Each back-off draws from its own sequence; the seeds differ per object and per process start.
uint32_t NextSeed(const void* self)
{
    static std::atomic<uint32_t> counter{0x9E3779B9u};
    uint32_t seed = counter.fetch_add(0x6D2B79F5u) ^ uint32_t(reinterpret_cast<uintptr_t>(self));
    return seed != 0 ? seed : 1;
}

} // namespace

Backoff::Backoff() : mRandom(NextSeed(this)) {}

uint32_t Backoff::Fail(uint32_t now)
{
    uint32_t base = FirstMs;
    for (uint32_t i = 0; i < mFailures && base < LongestMs; ++i)
        base *= 2;
    if (base > LongestMs)
        base = LongestMs;
    if (mFailures < UINT32_MAX)
        ++mFailures;
    mRandom ^= mRandom << 13;
    mRandom ^= mRandom >> 17;
    mRandom ^= mRandom << 5;
    mWaitMs = base - mRandom % (base / 4 + 1);
    mFailedAt = now;
    return mWaitMs;
}

void Backoff::Reset()
{
    mFailures = 0;
    mWaitMs = 0;
}

bool Backoff::Waiting(uint32_t now) const
{
    return WaitLeft(now) != 0;
}

uint32_t Backoff::WaitLeft(uint32_t now) const
{
    uint32_t waited = now - mFailedAt; // stays right when the clock wraps
    return waited < mWaitMs ? mWaitMs - waited : 0;
}

} // namespace Zelto
