// printf-style formatting over UTF-16, path pieces and list splitting.
//
// Conversions: %d %i %u %x %X %o %c %s %f %F %e %E %g %G %a %A %p %% with flags, width, precision and '*',
// and the length modifiers hh h l ll j z t L I I32 I64. %s and %ls take UTF-16 text (as the platform's wide
// printf does), %hs narrow text; %lc and %c a UTF-16 unit. Output that does not fit is cut at the buffer's
// last unit, which always holds the terminator.
#pragma once

#include "Common/Array.h"
#include "Common/String.h"

#include <cstdarg>
#include <cstdint>

namespace Zelto
{

constexpr uint32_t FormatBufferUnits = 8192;

String Format(const char16_t* format, ...);
const char16_t* FormatBuffer(char16_t* buffer, uint32_t length, const char16_t* format, ...);
const char16_t* FormatArgs(char16_t* buffer, uint32_t length, const char16_t* format, va_list arguments);
String FormatFloat(float value); // "%5.3f"

String PathWithoutExtension(const char16_t* path);
String PathExtension(const char16_t* path);
String PathDirectory(const char16_t* path, bool fromEnd);
String PathFileName(const char16_t* path, bool keepDirectory, bool keepExtension);

// Appends the pieces of `text` cut at any unit of `division`, each trimmed of the units in `trim`.
void Split(const char16_t* text, Array<String>& out, const char16_t* division, const char16_t* trim);

} // namespace Zelto
