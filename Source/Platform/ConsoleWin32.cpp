#include "Source/Platform/Console.h"

#include <clocale>
#include <cstdio>
#include <cwchar>

namespace Zelto
{

void ConsoleWrite(const char16_t* text, bool lineBreak)
{
    std::setlocale(LC_CTYPE, "");
    std::fwprintf(stdout, L"%ls", reinterpret_cast<const wchar_t*>(text));
    if (lineBreak)
        std::fwprintf(stdout, L"\n");
    std::fflush(nullptr);
}

} // namespace Zelto
