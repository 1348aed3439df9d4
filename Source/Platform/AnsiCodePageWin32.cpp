#include "Source/Platform/AnsiCodePage.h"

#include <windows.h>

namespace Zelto
{

uint32_t CodePageToWide(const char* source, uint32_t bytes, char16_t* destination, uint32_t capacity)
{
    if (bytes == 0)
        return 0;
    int produced = MultiByteToWideChar(CP_ACP, 0, source, int(bytes), reinterpret_cast<wchar_t*>(destination),
                                       destination == nullptr ? 0 : int(capacity));
    return produced > 0 ? uint32_t(produced) : 0;
}

uint32_t WideToCodePage(const char16_t* source, uint32_t units, char* destination, uint32_t capacity)
{
    if (units == 0)
        return 0;
    int produced =
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(source), int(units), destination,
                            destination == nullptr ? 0 : int(capacity), nullptr, nullptr);
    return produced > 0 ? uint32_t(produced) : 0;
}

} // namespace Zelto
