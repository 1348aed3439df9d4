// The platform's narrow code page: the ANSI code page on Windows, UTF-8 on Linux. Each call converts the
// whole source (no terminator needed or added); what cannot be converted gives the empty text.
#pragma once

#include "Common/String.h"

#include <cstdint>
#include <string>

namespace Zelto
{

String CodePageToString(const char* source, uint32_t bytes);
std::string StringToCodePage(const char16_t* source, uint32_t units);

} // namespace Zelto
