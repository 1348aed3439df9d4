// A 32-bit float that one thread publishes and another reads without a lock: the download progress cell is
// a plain float in the caller's record, so std::atomic<float> cannot hold it (and std::atomic_ref is C++20).
// Both targets build with GCC, whose __atomic built-ins take any lock-free size.
#pragma once

namespace Zelto
{

static_assert(__atomic_always_lock_free(sizeof(float), 0), "the progress cell needs lock-free 32-bit stores");

inline void AtomicStoreFloat(float* cell, float value)
{
    __atomic_store(cell, &value, __ATOMIC_SEQ_CST);
}

inline float AtomicLoadFloat(const float* cell)
{
    float value;
    __atomic_load(cell, &value, __ATOMIC_SEQ_CST);
    return value;
}

} // namespace Zelto
