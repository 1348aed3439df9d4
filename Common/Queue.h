// A first-in first-out ring. The ring has capacity + 1 slots, so a full queue never has its front equal to
// its back; back = (mFront + count) mod (capacity + 1). Does not allocate until the first push; a full queue
// grows by its capacity (by 16 when empty), copying its elements in order to the start of the new ring.
// Elements are copied in by Push and destroyed by Pop, Clear and destruction; growth moves them bit-wise, so
// element types must be trivially relocatable. Nothing here locks.
#pragma once

#include "Common/Array.h"

#include <cstdint>
#include <type_traits>

namespace Zelto
{

// What a slot that holds no element contains. Zeroed suits plain records whose stale copies must not linger,
// such as the jobs of a worker: a new ring is all zero and a slot is zeroed again when its element leaves.
enum class FreeSlots
{
    AsAllocated,
    Zeroed,
};

template <typename T, FreeSlots freeSlots = FreeSlots::AsAllocated> class Queue
{
    static_assert(freeSlots != FreeSlots::Zeroed || std::is_trivially_copyable_v<T>,
                  "only plain records may be zeroed in place");

public:
    Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    ~Queue();

    bool Push(const T& value); // false when out of memory
    T& Front(); // the oldest element; reports "IsIndexValid( mFront )" (Common/Queue:117) when empty
    void Pop(); // drops the oldest element, if any
    uint32_t Length() const { return count; }
    void Clear();                            // destroys the elements, keeps the ring; mFront = back = 0
    bool IsIndexValid(uint32_t index) const; // true when slot `index` holds an element

    // Read freely; change only through the operations above.
    uint32_t capacity = 0; // the ring holds capacity + 1 slots
    uint32_t count = 0;    // elements held
    uint32_t mFront = 0;   // slot of the oldest element
    uint32_t back = 0;     // slot the next pushed element takes
    T* slots = nullptr;    // owned; null while capacity is 0

private:
    uint32_t Next(uint32_t index) const { return index == capacity ? 0 : index + 1; }
    bool Grow();
    void Vacate(T* slot, size_t slotCount)
    {
        if constexpr (freeSlots == FreeSlots::Zeroed)
            Memory::Set(slot, 0, slotCount * sizeof(T));
    }
};

template <typename T, FreeSlots freeSlots> Queue<T, freeSlots>::~Queue()
{
    Clear();
    Memory::Free(slots);
}

template <typename T, FreeSlots freeSlots> bool Queue<T, freeSlots>::Push(const T& value)
{
    T* old = nullptr;
    if (count == capacity)
    {
        old = slots;
        if (!Grow())
            return false;
    }
    new (slots + back) T(value); // before the old ring goes: `value` may live there
    Memory::Free(old);
    back = Next(back);
    ++count;
    return true;
}

// Leaves the old ring to the caller, which frees it once the pushed value has been copied.
template <typename T, FreeSlots freeSlots> bool Queue<T, freeSlots>::Grow()
{
    uint32_t grown = Slots::Grown(capacity);
    T* ring = grown != 0 ? Slots::Allocate<T>(size_t(grown) + 1) : nullptr;
    if (ring == nullptr)
        return false;
    uint32_t firstPart = count < capacity + 1 - mFront ? count : capacity + 1 - mFront;
    Slots::Relocate(ring, slots + mFront, firstPart);
    Slots::Relocate(ring + firstPart, slots, count - firstPart);
    Vacate(ring + count, size_t(grown) + 1 - count);
    slots = ring;
    capacity = grown;
    mFront = 0;
    back = count;
    return true;
}

template <typename T, FreeSlots freeSlots> T& Queue<T, freeSlots>::Front()
{
    // The report quotes the expression exactly as written here.
    // clang-format off
    if (!ZELTO_CHECK(IsIndexValid( mFront ), "Common/Queue", 117))
        return Slots::MissingWritable<T>();
    // clang-format on
    return slots[mFront];
}

template <typename T, FreeSlots freeSlots> void Queue<T, freeSlots>::Pop()
{
    if (count == 0)
        return;
    slots[mFront].~T();
    Vacate(slots + mFront, 1);
    mFront = Next(mFront);
    --count;
}

template <typename T, FreeSlots freeSlots> void Queue<T, freeSlots>::Clear()
{
    while (count != 0)
        Pop();
    mFront = back = 0;
}

template <typename T, FreeSlots freeSlots> bool Queue<T, freeSlots>::IsIndexValid(uint32_t index) const
{
    if (mFront <= back)
        return index >= mFront && index < back;
    return index <= capacity && (index >= mFront || index < back); // the elements wrap round the end
}

} // namespace Zelto
