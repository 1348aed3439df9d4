#include "Source/Common/Memory.h"

#include "Common/Assert.h"
#include "Common/Log.h"

#include <cstdlib>
#include <cstring>

namespace Zelto
{
namespace Memory
{

void* Alloc(size_t bytes)
{
    if (bytes == 0 || bytes > MaxAllocation)
        return nullptr;
    void* pointer = std::malloc(bytes);
    if (pointer == nullptr)
    {
        LogError(u"[KL] Out of memory");
        ZELTO_CHECK(pointer != _null, "Source/Common/Memory", 101);
    }
    return pointer;
}

void* Realloc(void* pointer, size_t bytes)
{
    if (bytes == 0 || bytes > MaxAllocation)
        return nullptr;
    void* moved = std::realloc(pointer, bytes);
    if (moved == nullptr)
        LogError(u"[KL] Out of memory");
    return moved;
}

void Free(void* pointer)
{
    std::free(pointer);
}

void Copy(void* destination, const void* source, size_t bytes)
{
    if (bytes != 0)
        std::memmove(destination, source, bytes);
}

bool Compare(const void* a, const void* b, size_t bytes)
{
    return bytes == 0 || std::memcmp(a, b, bytes) == 0;
}

void Set(void* destination, uint8_t value, size_t bytes)
{
    if (bytes != 0)
        std::memset(destination, value, bytes);
}

} // namespace Memory
} // namespace Zelto
