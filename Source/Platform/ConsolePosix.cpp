#include "Source/Platform/Console.h"

#include "Source/Common/StringEncoding.h"

#include <cstdio>

namespace Zelto
{

// Linux terminals speak UTF-8, so the text is written as UTF-8 bytes.
void ConsoleWrite(const char16_t* text, bool lineBreak)
{
    std::string bytes = StringToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    if (lineBreak)
        std::fputc('\n', stdout);
    std::fflush(nullptr);
}

} // namespace Zelto
