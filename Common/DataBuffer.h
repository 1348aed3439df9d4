// A block of bytes with a read/write cursor, used for files, resources, downloads and unpacked data.
// Owns its bytes unless attached to the caller's without copying.
#pragma once

#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

class DataBuffer
{
public:
    DataBuffer() = default;
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;
    ~DataBuffer() { Reset(); }

    void Reset();                 // frees owned bytes; empty and owned
    bool Allocate(uint32_t size); // uninitialised bytes, cursor at the start
    // Keeps min(old, new) bytes and the cursor offset (clamped). An owned block keeps its room, so that a
    // buffer emptied with Resize(0) takes the next bytes without allocating again; Reset frees it.
    bool Resize(uint32_t size);
    bool Reserve(uint32_t capacity); // room for `capacity` bytes, so that appending up to it never moves them
    bool Append(const void* bytes, uint32_t count);            // cursor keeps its offset
    bool Attach(const void* bytes, uint32_t count, bool copy); // copy = false: borrowed, never freed here
    void Adopt(DataBuffer& from,
               uint32_t size); // takes over `from`'s block holding `size` bytes; `from` empties

    uint8_t* Data() const { return mData; }
    uint32_t Size() const { return mSize; }
    uint32_t Capacity() const { return mCapacity; } // bytes allocated, at least Size()
    bool IsOwned() const { return mOwned; }
    uint32_t CursorOffset() const { return uint32_t(mCursor - mData); }
    void SetCursorOffset(uint32_t offset) { mCursor = mData + (offset < mSize ? offset : mSize); }

    String name; // what the bytes came from (a file path), empty otherwise

private:
    bool Reallocate(uint32_t capacity); // an owned block of `capacity` bytes holding the current bytes

    bool mOwned = true;
    uint32_t mSize = 0;
    uint32_t mCapacity = 0; // bytes allocated; Append grows it geometrically
    uint8_t* mData = nullptr;
    uint8_t* mCursor = nullptr;
};

} // namespace Zelto
