#include "Source/Platform/Plugin/ModuleEntry.h"

namespace
{

__attribute__((constructor)) void Attached()
{
    Zelto::PluginAttached(nullptr);
}

__attribute__((destructor)) void Detached()
{
    Zelto::PluginDetached();
}

} // namespace
