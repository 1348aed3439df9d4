// The profile records: one per profiled function, keyed by the function's address. Chained buckets, each
// chain in ascending key order, serve the lookup on every call; a list in insertion order serves the dump.
// Records are freed only as a whole, when the table goes. Nothing here locks.
#pragma once

#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

struct ProfileRecord
{
    String
        name; // the debugger's name of a script function (may be empty), the registration name of a host one
    uintptr_t key;            // the function's address
    bool mCFunc;              // a host (native) function, timed by its trampoline
    String source;            // the chunk name of a script function; empty for host functions
    int32_t line;             // where the script function is defined; -1 for host functions
    uint32_t calls;           // completed calls since the last dump
    int64_t total;            // counter ticks spent since the last dump
    ProfileRecord* next;      // insertion order
    ProfileRecord* chainNext; // the bucket's chain, ascending key
};

class ProfileRecords
{
public:
    static constexpr uint32_t BucketCount = 397;

    ProfileRecords() = default;
    ProfileRecords(const ProfileRecords&) = delete;
    ProfileRecords& operator=(const ProfileRecords&) = delete;
    ~ProfileRecords() { Clear(); }

    ProfileRecord* Find(uintptr_t key) const; // null when absent
    // A new record with zero counts, or the one the key already has; null when out of memory.
    ProfileRecord* Add(uintptr_t key, const String& name, bool native, const String& source, int32_t line);
    ProfileRecord* First() const { return mFirst; } // then follow `next`
    void Clear();

private:
    ProfileRecord** mBuckets = nullptr; // BucketCount chain heads, allocated on the first insertion
    ProfileRecord* mFirst = nullptr;
    ProfileRecord* mLast = nullptr;
};

} // namespace Zelto
