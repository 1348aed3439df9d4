// The shared trampoline of declared classes, and their registration.
#include "Source/Script/ScriptClass.h"

#include <lua.hpp>

namespace Zelto
{

int CallScriptMember(lua_State* state)
{
    LuaScriptManager* manager = LuaScriptManager::Instance();
    if (manager == nullptr)
        return 0;
    auto function =
        reinterpret_cast<ScriptHostFunction>(manager->BeginCall(nullptr, nullptr, nullptr, nullptr));
    return manager->RunMember(function);
}

void RegisterScriptClass(IScriptManager& manager, const char* name, ScriptTrampoline constructor,
                         const ScriptMember* members, size_t count)
{
    // The members' trampolines are the manager's own, which know the thread they run on. (The interface has
    // one implementation.)
    auto& lua = static_cast<LuaScriptManager&>(manager);
    lua.DeclareOwnTrampolines(true);
    manager.BeginClass(name, constructor);
    for (size_t i = 0; i < count; ++i)
    {
        const ScriptMember& member = members[i];
        switch (member.kind)
        {
        case ScriptMember::Method:
            manager.RegisterFunction(member.name, &member.function, member.trampoline, false);
            break;
        case ScriptMember::ReadOnlyProperty:
            manager.RegisterReadOnlyProperty(member.name, &member.function, member.trampoline, nullptr);
            break;
        case ScriptMember::Property:
            manager.RegisterProperty(member.name, &member.function, member.trampoline, &member.setter,
                                     member.setterTrampoline, nullptr);
            break;
        case ScriptMember::Constant:
        {
            Variable value(u"", VariableInt32);
            value.value.i32 = member.value;
            manager.RegisterConstant(member.name, value, nullptr, true);
            break;
        }
        }
    }
    manager.EndClass();
    lua.DeclareOwnTrampolines(false);
}

} // namespace Zelto
