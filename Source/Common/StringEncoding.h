// Conversions between UTF-16 and the encodings at the system's edges: the ANSI code page (narrow platform
// interfaces; UTF-8 on Linux) and UTF-8 (the wire and the script engine).
//
// Every converter takes an optional destination with its capacity (in its own units), the source with a
// length (-1: up to the terminator), and optional out-parameters for the produced length and a truncated
// flag. With a null destination it allocates one (new[]) that the caller frees with delete[]. The result is
// the destination, or null when nothing could be produced.
#pragma once

#include "Common/String.h"

#include <cstdint>
#include <string>

namespace Zelto
{

char16_t* AnsiToWide(char16_t* buffer, uint32_t capacity, const char* source, int32_t count = -1,
                     uint32_t* outLength = nullptr, bool* outTruncated = nullptr);
char* WideToAnsi(char* buffer, uint32_t capacity, const char16_t* source, int32_t count = -1,
                 uint32_t* outLength = nullptr, bool* outTruncated = nullptr);
char16_t* Utf8ToWide(char16_t* buffer, uint32_t capacity, const char* source, int32_t count = -1,
                     uint32_t* outLength = nullptr, bool* outTruncated = nullptr);
char* WideToUtf8(char* buffer, uint32_t capacity, const char16_t* source, int32_t count = -1,
                 uint32_t* outLength = nullptr, bool* outTruncated = nullptr);

// Conveniences over the converters above for code that only needs the whole text.
String Utf8ToString(const char* source, int32_t count = -1);
std::string StringToUtf8(const char16_t* source, int32_t count = -1);
String AnsiToString(const char* source, int32_t count = -1);
std::string StringToAnsi(const char16_t* source, int32_t count = -1);

} // namespace Zelto
