// The shared trampoline of declared classes, and their registration.
#include "Source/Script/ScriptClass.h"

namespace Zelto
{

int CallScriptMember(lua_State* state)
{
    LuaScriptManager* manager = LuaScriptManager::Instance();
    if (manager == nullptr)
        return 0;
    auto function = reinterpret_cast<ScriptHostFunction>(manager->BeginCallIn(state, nullptr));
    if (function == nullptr)
    {
        manager->SetError(u"Internal Error : function empty");
        return manager->Return();
    }
    ScriptObject* self = manager->GetSelf(nullptr, 0);
    if (self == nullptr)
        return manager->Return(); // called without its object: no effect, no error
    manager->ProfileEnterNative(reinterpret_cast<const void*>(function));
    self->callState = 2;
    int32_t results = function(*manager, *self);
    self->callState = 0;
    manager->ProfileLeaveNative();
    return results;
}

void RegisterScriptClass(IScriptManager& manager, const char* name, ScriptTrampoline constructor,
                         const ScriptMember* members, size_t count)
{
    manager.BeginClass(name, constructor);
    for (size_t i = 0; i < count; ++i)
    {
        const ScriptMember& member = members[i];
        switch (member.kind)
        {
        case ScriptMember::Method:
            manager.RegisterFunction(member.name, &member.function, CallScriptMember, false);
            break;
        case ScriptMember::ReadOnlyProperty:
            manager.RegisterReadOnlyProperty(member.name, &member.function, CallScriptMember, nullptr);
            break;
        case ScriptMember::Property:
            manager.RegisterProperty(member.name, &member.function, CallScriptMember, &member.setter,
                                     CallScriptMember, nullptr);
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
}

} // namespace Zelto
