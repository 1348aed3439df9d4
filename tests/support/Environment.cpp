#include "support/Environment.h"

#include "Source/Common/StringEncoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace Zelto
{

bool WriteEnvironmentVariable(const char16_t* name, const char16_t* value)
{
#ifdef _WIN32
    return SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name),
                                   reinterpret_cast<const wchar_t*>(value)) != 0;
#else
    if (value == nullptr)
        return unsetenv(StringToUtf8(name).c_str()) == 0;
    return setenv(StringToUtf8(name).c_str(), StringToUtf8(value).c_str(), 1) == 0;
#endif
}

} // namespace Zelto
