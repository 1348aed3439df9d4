// The console sink's writer: the text as it is, then a line break when asked, then everything flushed.
#pragma once

namespace Zelto
{

void ConsoleWrite(const char16_t* text, bool lineBreak);

} // namespace Zelto
