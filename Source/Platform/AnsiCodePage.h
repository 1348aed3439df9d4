// The platform's narrow code page: the ANSI code page on Windows, UTF-8 on Linux. Both calls convert the
// whole source (no terminator added) into `destination`, or with a null destination only count; they return
// the number of units produced, 0 on failure.
#pragma once

#include <cstdint>

namespace Zelto
{

uint32_t CodePageToWide(const char* source, uint32_t bytes, char16_t* destination, uint32_t capacity);
uint32_t WideToCodePage(const char16_t* source, uint32_t units, char* destination, uint32_t capacity);

} // namespace Zelto
