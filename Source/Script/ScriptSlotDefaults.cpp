// Configuration data, as far as the core needs it: every slot answers safely (nothing loaded) until it gets a
// file of its own.
#include "Source/Script/LuaScriptManager.h"

#include <lua.hpp>

namespace Zelto
{

// -- Configuration data: nothing is loaded yet

void LuaScriptManager::LoadConfig(const DataBuffer& buffer) {}
void LuaScriptManager::FreeConfigNodes()
{
    mConfigNodes.Clear();
}
void LuaScriptManager::SaveConfig(ConfigNode* node, const char16_t* name, const char16_t* path) {}

} // namespace Zelto
