#include "Source/Platform/AnsiCodePage.h"

#include "Source/Common/StringEncoding.h"

#include <cstring>

namespace Zelto
{

namespace
{

// The whole source converted, then copied when the destination has room for all of it.
template <typename To, typename From>
uint32_t Convert(To* (*convert)(To*, uint32_t, const From*, int32_t, uint32_t*, bool*), const From* source,
                 uint32_t count, To* destination, uint32_t capacity)
{
    uint32_t length = 0;
    To* converted = convert(nullptr, 0, source, int32_t(count), &length, nullptr);
    bool fits = destination == nullptr || length <= capacity;
    if (destination != nullptr && fits)
        std::memcpy(destination, converted, length * sizeof(To));
    delete[] converted;
    return fits ? length : 0;
}

} // namespace

// Linux's narrow interfaces speak UTF-8.
uint32_t CodePageToWide(const char* source, uint32_t bytes, char16_t* destination, uint32_t capacity)
{
    return Convert(Utf8ToWide, source, bytes, destination, capacity);
}

uint32_t WideToCodePage(const char16_t* source, uint32_t units, char* destination, uint32_t capacity)
{
    return Convert(WideToUtf8, source, units, destination, capacity);
}

} // namespace Zelto
