#include "Source/Platform/AnsiCodePage.h"

#include "Source/Common/StringEncoding.h"

namespace Zelto
{

// Linux's narrow interfaces speak UTF-8.
String CodePageToString(const char* source, uint32_t bytes)
{
    return Utf8ToString(source, int32_t(bytes));
}

std::string StringToCodePage(const char16_t* source, uint32_t units)
{
    return StringToUtf8(source, int32_t(units));
}

} // namespace Zelto
