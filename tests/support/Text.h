// A String's text in standard forms that GoogleTest compares and prints.
#pragma once

#include "Common/Md5.h"
#include "Common/String.h"

#include <string>

namespace Zelto
{

inline std::u16string Text(const String& s)
{
    return std::u16string(s.Text(), s.Length());
}

// Each unit cut to a byte: readable expectations for ASCII results.
inline std::string Narrow(const String& s)
{
    return std::string(s.Text(), s.Text() + s.Length());
}

// Bytes as lower-case hexadecimal digits.
inline std::string Hex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i)
    {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

// A digest as md5sum prints it: its 16 bytes in order.
inline std::string Hex(const Md5State& state)
{
    uint8_t digest[16];
    Md5ToBytes(state, digest);
    return Hex(digest, sizeof digest);
}

} // namespace Zelto
