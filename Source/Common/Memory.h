// The allocation layer behind String and the other owned blocks: the process heap, null on failure.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zelto
{
namespace Memory
{

constexpr size_t MaxAllocation = 0x7FFFFFFE; // larger requests (and 0) fail at once, without a log line

void* Alloc(size_t bytes); // uninitialised block, or null ("[KL] Out of memory")
// The block grown or shrunk to `bytes`, its bytes kept up to the smaller size; null on failure, with
// `pointer` still valid. A large block may grow in place, without a copy or a second block beside it.
void* Realloc(void* pointer, size_t bytes);
void Free(void* pointer); // null is ignored
void Copy(void* destination, const void* source, size_t bytes);
bool Compare(const void* a, const void* b, size_t bytes); // true when equal
void Set(void* destination, uint8_t value, size_t bytes);

// Bytes for `count` items of `itemSize`, or a size Alloc refuses when the product would not fit.
inline size_t BlockSize(size_t count, size_t itemSize)
{
    uint64_t bytes = uint64_t(count) * itemSize;
    return bytes > MaxAllocation ? MaxAllocation + 1 : size_t(bytes);
}

} // namespace Memory
} // namespace Zelto
