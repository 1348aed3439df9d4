#include "Source/Platform/AnsiCodePage.h"

#include <windows.h>

namespace Zelto
{

String CodePageToString(const char* source, uint32_t bytes)
{
    int units = bytes == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, source, int(bytes), nullptr, 0);
    if (units <= 0)
        return String();
    std::u16string text(size_t(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, source, int(bytes), reinterpret_cast<wchar_t*>(&text[0]), units);
    return String(text.c_str(), int32_t(units));
}

std::string StringToCodePage(const char16_t* source, uint32_t units)
{
    const auto* wide = reinterpret_cast<const wchar_t*>(source);
    int bytes =
        units == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, wide, int(units), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string text(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, int(units), &text[0], bytes, nullptr, nullptr);
    return text;
}

} // namespace Zelto
