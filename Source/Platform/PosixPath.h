// Paths inside the system are UTF-16 and may separate with '\' as on Windows; Linux calls take UTF-8 with
// '/'.
#pragma once

#include "Source/Common/StringEncoding.h"

#include <algorithm>
#include <string>

namespace Zelto
{

inline std::string NativePath(const char16_t* path)
{
    std::string native = StringToUtf8(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

} // namespace Zelto
