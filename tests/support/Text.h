// A String's text in standard forms that GoogleTest compares and prints.
#pragma once

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

} // namespace Zelto
