// Host objects bind themselves on construction and unbind on destruction.
#include "Source/Script/ScriptObject.h"

#include "Source/Script/LuaScriptManager.h"

namespace Zelto
{

ScriptObject::ScriptObject(const char* className, int32_t ownTable)
{
    if (IScriptManager* manager = GetScriptManager())
        manager->BindObject(className, this, ownTable);
}

ScriptObject::~ScriptObject()
{
    // Only an existing manager: a destruction must not make one.
    if (LuaScriptManager* manager = LuaScriptManager::Instance())
        manager->UnbindObject(this);
    delete binding; // the manager is gone with its states: nothing else refers to it
}

} // namespace Zelto
