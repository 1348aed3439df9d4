#include "Source/Platform/AnsiCodePage.h"

#include "Source/Common/StringEncoding.h"

namespace Zelto
{

// Linux's narrow interfaces speak UTF-8.
uint32_t CodePageToWide(const char* source, uint32_t bytes, char16_t* destination, uint32_t capacity)
{
    uint32_t length = 0;
    char16_t* converted = Utf8ToWide(nullptr, 0, source, int32_t(bytes), &length);
    if (destination != nullptr)
        for (uint32_t i = 0; i < length && i < capacity; ++i)
            destination[i] = converted[i];
    delete[] converted;
    return destination != nullptr && length > capacity ? 0 : length;
}

uint32_t WideToCodePage(const char16_t* source, uint32_t units, char* destination, uint32_t capacity)
{
    uint32_t length = 0;
    char* converted = WideToUtf8(nullptr, 0, source, int32_t(units), &length);
    if (destination != nullptr)
        for (uint32_t i = 0; i < length && i < capacity; ++i)
            destination[i] = converted[i];
    delete[] converted;
    return destination != nullptr && length > capacity ? 0 : length;
}

} // namespace Zelto
