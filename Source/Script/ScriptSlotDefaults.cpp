// Profiling, allocation statistics and configuration data, as far as the core needs them: every slot answers
// safely (nothing measured, nothing loaded) until each of them gets a file of its own. Switches and
// thresholds are already kept.
#include "Source/Script/LuaScriptManager.h"

#include <lua.hpp>

namespace Zelto
{

// -- Profiling and allocation statistics: nothing is measured yet

void LuaScriptManager::EnableProfiling(bool on)
{
    mProfiling = on ? 1 : 0;
}
void LuaScriptManager::DumpProfile() {}
void LuaScriptManager::ProfileEnterNative(const void* function) {}
void LuaScriptManager::ProfileLeaveNative() {}
void LuaScriptManager::ProfileLeave(bool native)
{
    mProfStack.Pop();
}
void LuaScriptManager::TrackAllocations(int32_t threshold)
{
    mAllocationThreshold = threshold > 0 ? threshold : -1;
}

// -- Configuration data: nothing is loaded yet

void LuaScriptManager::LoadConfig(const DataBuffer& buffer) {}
void LuaScriptManager::FreeConfigNodes()
{
    mConfigNodes.Clear();
}
void LuaScriptManager::SaveConfig(ConfigNode* node, const char16_t* name, const char16_t* path) {}

} // namespace Zelto
