#include "Source/Platform/FileAccess.h"

#include "Source/Platform/PosixPath.h"

#include <sys/stat.h>

namespace Zelto
{

bool RestrictToOwner(const char16_t* path)
{
    return path != nullptr && chmod(NativePath(path).c_str(), S_IRUSR | S_IWUSR) == 0;
}

} // namespace Zelto
