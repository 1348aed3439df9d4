#include "Source/Platform/FileAccess.h"

#include "Source/Platform/File.h"

namespace Zelto
{

bool RestrictToOwner(const char16_t* path)
{
    return path != nullptr && FileExists(path);
}

} // namespace Zelto
