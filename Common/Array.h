// A growable array. Does not allocate until the first element is added; a full array grows by its capacity
// (by 16 when empty), so capacities run 16, 32, 64 ..., and it never shrinks. Elements are copied in by Add
// and Insert and destroyed by Clear and destruction: an Array<String> owns its strings, an array of pointers
// leaves the pointees to its owner. Growth moves the elements bit-wise, so element types must be trivially
// relocatable (numbers, pointers, plain records, String, Array). Nothing here locks.
#pragma once

#include "Common/Assert.h"
#include "Source/Common/Memory.h"

#include <cstdint>
#include <new>
#include <utility>

namespace Zelto
{

// Slot blocks shared by the growable containers.
namespace Slots
{

// The capacity after growth; 0 when doubling would not fit 32 bits.
inline uint32_t Grown(uint32_t capacity)
{
    if (capacity == 0)
        return 16;
    return capacity <= UINT32_MAX / 2 ? capacity * 2 : 0;
}

// An uninitialised block of `count` slots, or null. A size that would not fit is refused, never wrapped.
template <typename T> T* Allocate(size_t count)
{
    return static_cast<T*>(Memory::Alloc(Memory::BlockSize(count, sizeof(T))));
}

template <typename T> void Relocate(T* destination, const T* source, size_t count)
{
    Memory::Copy(destination, source, count * sizeof(T));
}

template <typename T> void Destroy(T* items, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        items[i].~T();
}

template <typename T> bool Holds(const T* begin, const T* end, const T* item)
{
    auto address = reinterpret_cast<uintptr_t>(item);
    return address >= reinterpret_cast<uintptr_t>(begin) && address < reinterpret_cast<uintptr_t>(end);
}

// Opens a slot at `index` (the elements from there on move up one, the block grows when full) and copies
// `value` into it. `value` may be one of the elements. False, with nothing changed, when the block cannot
// grow.
template <typename T>
bool InsertAt(T*& items, uint32_t& capacity, uint32_t& count, uint32_t index, const T& value)
{
    if (count < capacity)
    {
        const T* source = Holds(items + index, items + count, &value) ? &value + 1 : &value;
        Relocate(items + index + 1, items + index, count - index);
        new (items + index) T(*source);
    }
    else
    {
        uint32_t grown = Grown(capacity);
        T* block = grown != 0 ? Allocate<T>(grown) : nullptr;
        if (block == nullptr)
            return false;
        Relocate(block, items, index);
        new (block + index) T(value); // before the old block goes: `value` may live there
        Relocate(block + index + 1, items + index, count - index);
        Memory::Free(items);
        items = block;
        capacity = grown;
    }
    ++count;
    return true;
}

// What an access to a missing element yields: a value-initialised element. The writable one is per thread and
// fresh on every access, so a caller that writes through it disturbs nothing.
template <typename T> const T& Missing()
{
    static const T missing{};
    return missing;
}

template <typename T> T& MissingWritable()
{
    thread_local T missing{};
    missing = T();
    return missing;
}

} // namespace Slots

template <typename T> class Array
{
public:
    Array() = default;
    Array(const Array& other); // copies every element; empty when out of memory
    Array(Array&& other) noexcept { Swap(other); }
    Array& operator=(Array other) noexcept; // copy or move, then swap
    ~Array();

    int32_t Add(const T& value) { return Insert(int32_t(count), value); } // the new index; -1: out of memory
    int32_t Insert(int32_t index, const T& value); // index = count appends; -1 beyond count or out of memory
    const T& operator[](int32_t index) const;      // reports "IsIndexValid( index )" (Common/Array:100)
    T& operator[](int32_t index);                  // the same check, reported at Common/Array:102
    bool IsIndexValid(int32_t index) const { return index >= 0 && uint32_t(index) < count; }
    uint32_t Length() const { return count; }
    void Clear(); // destroys the elements, keeps the block
    void Swap(Array& other) noexcept;

    T* begin() const { return items; }
    T* end() const { return items + count; }

    // Read freely; change only through the operations above.
    uint32_t capacity = 0; // slots allocated
    uint32_t count = 0;    // slots in use, count <= capacity
    T* items = nullptr;    // owned; null while capacity is 0

private:
    bool CheckIndex(int32_t index, int line) const
    {
        // The report quotes the expression exactly as written here.
        // clang-format off
        return ZELTO_CHECK(IsIndexValid( index ), "Common/Array", line);
        // clang-format on
    }
};

template <typename T> Array<T>::Array(const Array& other)
{
    if (other.count == 0)
        return;
    items = Slots::Allocate<T>(other.capacity);
    if (items == nullptr)
        return;
    capacity = other.capacity;
    for (; count < other.count; ++count)
        new (items + count) T(other.items[count]);
}

template <typename T> Array<T>& Array<T>::operator=(Array other) noexcept
{
    Swap(other);
    return *this;
}

template <typename T> Array<T>::~Array()
{
    Slots::Destroy(items, count);
    Memory::Free(items);
}

template <typename T> int32_t Array<T>::Insert(int32_t index, const T& value)
{
    if (index < 0 || uint32_t(index) > count ||
        !Slots::InsertAt(items, capacity, count, uint32_t(index), value))
        return -1;
    return index;
}

template <typename T> const T& Array<T>::operator[](int32_t index) const
{
    return CheckIndex(index, 100) ? items[index] : Slots::Missing<T>();
}

template <typename T> T& Array<T>::operator[](int32_t index)
{
    return CheckIndex(index, 102) ? items[index] : Slots::MissingWritable<T>();
}

template <typename T> void Array<T>::Clear()
{
    Slots::Destroy(items, count);
    count = 0;
}

template <typename T> void Array<T>::Swap(Array& other) noexcept
{
    std::swap(capacity, other.capacity);
    std::swap(count, other.count);
    std::swap(items, other.items);
}

// Placement of AddSorted: ascending or descending by key, or simply appended.
enum class SortMode : int32_t
{
    Ascending = 0,
    Descending = 1,
    Unsorted = 2,
};

template <typename Key, typename Value> struct KeyValue
{
    Key key;
    Value value;
};

// An array of (key, value) pairs kept in the order of its sort mode; the keys are 32-bit integers or floats.
template <typename Key, typename Value> class SortedArray : public Array<KeyValue<Key, Value>>
{
public:
    explicit SortedArray(SortMode mode = SortMode::Ascending) : sortMode(mode) {}

    int32_t AddSorted(Key key, const Value& value); // the index the pair took; -1 when out of memory

    SortMode sortMode;

private:
    bool Before(Key a, Key b) const { return sortMode == SortMode::Ascending ? a < b : b < a; }
};

// A bisection brackets the key between lo and hi (both the equal element when it meets one); an equal key
// therefore lands directly after the equal element the bisection met.
template <typename Key, typename Value>
int32_t SortedArray<Key, Value>::AddSorted(Key key, const Value& value)
{
    const KeyValue<Key, Value> pair{key, value};
    if (sortMode == SortMode::Unsorted || this->count == 0)
        return this->Add(pair);
    const KeyValue<Key, Value>* items = this->items;
    uint32_t lo = 0;
    uint32_t hi = this->count - 1;
    while (hi - lo > 1)
    {
        uint32_t middle = lo + (hi - lo) / 2;
        if (key == items[middle].key)
        {
            lo = hi = middle;
            break;
        }
        if (Before(key, items[middle].key))
            hi = middle;
        else
            lo = middle;
    }
    uint32_t index = hi;
    if (Before(key, items[lo].key))
        index = lo;
    else if (!Before(key, items[hi].key))
        index = hi + 1;
    return this->Insert(int32_t(index), pair);
}

} // namespace Zelto
