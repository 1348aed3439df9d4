// A stack: an array used at its end, the top being items[mLength - 1]. Grows and owns its elements as Array
// does (no block until the first push, then 16, 32, 64 ... slots; elements copied in, destroyed on removal;
// trivially relocatable element types only). Nothing here locks.
#pragma once

#include "Common/Array.h"

#include <cstdint>
#include <utility>

namespace Zelto
{

template <typename T> class Stack
{
public:
    Stack() = default;
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;
    ~Stack();

    int32_t Push(const T& value); // the new index; -1 when out of memory
    T& Top();                     // reports "mLength > 0" (Common/Stack:105) when empty
    T Pop();                      // the top, removed; reports "mLength > 0" (Common/Stack:107) when empty
    uint32_t Length() const { return mLength; }
    void Clear(); // destroys the elements, keeps the block

    T* begin() const { return items; } // bottom to top
    T* end() const { return items + mLength; }

    // Read freely; change only through the operations above.
    uint32_t capacity = 0; // slots allocated
    uint32_t mLength = 0;  // slots in use, mLength <= capacity
    T* items = nullptr;    // owned; null while capacity is 0
};

template <typename T> Stack<T>::~Stack()
{
    Slots::Destroy(items, mLength);
    Memory::Free(items);
}

template <typename T> int32_t Stack<T>::Push(const T& value)
{
    // With room left nothing moves, so the common push is one construction (call frames push on every call).
    if (mLength < capacity)
    {
        new (items + mLength) T(value);
        return int32_t(mLength++);
    }
    return Slots::InsertAt(items, capacity, mLength, mLength, value) ? int32_t(mLength - 1) : -1;
}

template <typename T> T& Stack<T>::Top()
{
    if (!ZELTO_CHECK(mLength > 0, "Common/Stack", 105))
        return Slots::MissingWritable<T>();
    return items[mLength - 1];
}

template <typename T> T Stack<T>::Pop()
{
    if (!ZELTO_CHECK(mLength > 0, "Common/Stack", 107))
        return T();
    T* top = items + --mLength;
    T value(std::move(*top));
    top->~T();
    return value;
}

template <typename T> void Stack<T>::Clear()
{
    Slots::Destroy(items, mLength);
    mLength = 0;
}

} // namespace Zelto
