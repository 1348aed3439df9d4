// The pause between repeated failures of the same thing (a file, a URL): 1 s after the first failure,
// doubling up to a minute, each shortened at random by up to a quarter so that many clients that failed
// together do not come back together. A success resets it.
#pragma once

#include <cstdint>

namespace Zelto
{

class Backoff
{
public:
    static constexpr uint32_t FirstMs = 1000;
    static constexpr uint32_t LongestMs = 60000;

    Backoff();
    uint32_t Fail(uint32_t now);      // records a failure at `now` (ms); the wait before the next attempt
    void Reset();                     // a success: the next failure waits FirstMs again
    bool Waiting(uint32_t now) const; // the wait of the last failure has not passed yet
    uint32_t WaitLeft(uint32_t now) const; // ms until it has, 0 once it has
    uint32_t Failures() const { return mFailures; }

private:
    uint32_t mFailures = 0;
    uint32_t mFailedAt = 0;
    uint32_t mWaitMs = 0;
    uint32_t mRandom; // xorshift state
};

} // namespace Zelto
