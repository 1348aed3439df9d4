#include "Common/DataBuffer.h"

#include "Source/Common/Memory.h"

namespace Zelto
{

void DataBuffer::Reset()
{
    if (mOwned)
        Memory::Free(mData);
    mOwned = true;
    mSize = mCapacity = 0;
    mData = mCursor = nullptr;
}

bool DataBuffer::Allocate(uint32_t size)
{
    Reset();
    if (size == 0)
        return true;
    mData = static_cast<uint8_t*>(Memory::Alloc(size));
    if (mData == nullptr)
        return false;
    mSize = mCapacity = size;
    mCursor = mData;
    return true;
}

bool DataBuffer::Resize(uint32_t size)
{
    if (size == mSize)
        return true;
    if (!mOwned || size > mCapacity)
    {
        if (size == 0)
        {
            Reset();
            return true;
        }
        if (!Reallocate(size))
            return false; // the old bytes stay
    }
    mSize = size;
    SetCursorOffset(CursorOffset());
    return true;
}

bool DataBuffer::Reserve(uint32_t capacity)
{
    return (mOwned && capacity <= mCapacity) || Reallocate(capacity < mSize ? mSize : capacity);
}

bool DataBuffer::Append(const void* bytes, uint32_t count)
{
    if (count == 0)
        return true;
    uint64_t needed = uint64_t(mSize) + count;
    if (needed > Memory::MaxAllocation)
        return false;
    if (!mOwned || needed > mCapacity)
    {
        // Downloads append many small pieces: grow geometrically so that appending stays linear overall.
        uint64_t capacity = needed > 2 * uint64_t(mCapacity) ? needed : 2 * uint64_t(mCapacity);
        if (capacity > Memory::MaxAllocation)
            capacity = Memory::MaxAllocation;
        if (!Reallocate(uint32_t(capacity)))
            return false;
    }
    Memory::Copy(mData + mSize, bytes, count);
    mSize += count;
    return true;
}

bool DataBuffer::Reallocate(uint32_t capacity)
{
    uint32_t offset = CursorOffset();
    uint8_t* block;
    if (mOwned && mData != nullptr)
        block = static_cast<uint8_t*>(Memory::Realloc(mData, capacity));
    else
    {
        block = static_cast<uint8_t*>(Memory::Alloc(capacity));
        if (block != nullptr)
            Memory::Copy(block, mData, mSize < capacity ? mSize : capacity);
    }
    if (block == nullptr)
        return false;
    mOwned = true;
    mCapacity = capacity;
    mData = block;
    mCursor = mData + offset;
    return true;
}

bool DataBuffer::Attach(const void* bytes, uint32_t count, bool copy)
{
    Reset();
    if (count == 0)
        return true;
    if (copy)
    {
        if (!Allocate(count))
            return false;
        Memory::Copy(mData, bytes, count);
        return true;
    }
    mOwned = false;
    mSize = mCapacity = count;
    mData = mCursor = static_cast<uint8_t*>(const_cast<void*>(bytes));
    return true;
}

void DataBuffer::Adopt(DataBuffer& from, uint32_t size)
{
    if (&from == this)
        return;
    Reset();
    mOwned = from.mOwned;
    mCapacity = from.mCapacity;
    mSize = size < from.mSize ? size : from.mSize;
    mData = mCursor = from.mData;
    from.mOwned = true; // the block is ours now
    from.mData = from.mCursor = nullptr;
    from.mSize = from.mCapacity = 0;
}

} // namespace Zelto
