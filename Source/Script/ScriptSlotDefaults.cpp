// Class binding, native calls, profiling and allocation statistics, as far as the core needs them: every slot
// answers safely (nothing bound, no call open, nothing measured) until each of them gets a file of its own.
// Switches and thresholds are already kept.
#include "Source/Script/LuaScriptManager.h"

#include <lua.hpp>

namespace Zelto
{

// -- Classes and objects

void LuaScriptManager::BeginClass(const char* name, ScriptTrampoline constructor) {}
void LuaScriptManager::EndClass() {}
void LuaScriptManager::RegisterFunction(const char* name, const void* functionSlot,
                                        ScriptTrampoline trampoline, bool intoClassTable)
{
}
void LuaScriptManager::RegisterProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                                        const void* setterSlot, ScriptTrampoline setter, const void* unused)
{
}
void LuaScriptManager::RegisterReadOnlyProperty(const char* name, const void* getterSlot,
                                                ScriptTrampoline getter, const void* unused)
{
}
void LuaScriptManager::RegisterConstant(const char* name, const Variable& value, const void* unused,
                                        bool intoClassTable)
{
}
void LuaScriptManager::CreateGlobalObject(const char* globalName, const char* className) {}

ScriptObject* LuaScriptManager::BindObject(const char* className, ScriptObject* object, int32_t ownTable)
{
    return object;
}
void LuaScriptManager::UnbindObject(ScriptObject* object) {}
ScriptObject* LuaScriptManager::AttachObject(ScriptObject* owner, ScriptObject* child)
{
    return nullptr;
}
ScriptObject* LuaScriptManager::HoldObject(ScriptObject* object)
{
    return nullptr;
}
void LuaScriptManager::DetachObject(ScriptObject* owner, ScriptObject* child) {}
void LuaScriptManager::ReleaseObject(ScriptObject* object) {}
ScriptObject* LuaScriptManager::LockObject(ScriptObject* object)
{
    return nullptr;
}
void LuaScriptManager::UnlockObject(ScriptObject* object) {}

// No object is bound, so none is in the objects table: this pushes nil.
void LuaScriptManager::PushObject(ScriptObject* object)
{
    PushObjectTable(object);
}

// Class tables take new members as they are.
int LuaScriptManager::AssignClassMember(lua_State* state)
{
    lua_settop(state, 3);
    lua_rawset(state, 1);
    return 0;
}

// -- Native calls: no call is ever open

ScriptObject* LuaScriptManager::GetSelf(const void* unused, int32_t queryOnly)
{
    return nullptr;
}
void* LuaScriptManager::BeginCall(void* function, const void* unused1, const void* unused2,
                                  const void* unused3)
{
    return function;
}
int32_t LuaScriptManager::CreateFunctionRef(const void* functionSlot, ScriptTrampoline trampoline)
{
    return 0;
}
int32_t LuaScriptManager::StoreArgFunction(ScriptObject* object, int32_t key, int32_t argument)
{
    return 0;
}
int32_t LuaScriptManager::RefArgFunction(int32_t argument)
{
    return 0;
}
void LuaScriptManager::ClearStoredFunction(ScriptObject* object, int32_t* key)
{
    if (key != nullptr)
        *key = 0;
}
int32_t LuaScriptManager::StoreFunctionRef(ScriptObject* object, int32_t key, int32_t reference)
{
    return 0;
}

int32_t LuaScriptManager::GetArgCount()
{
    return 0;
}
bool LuaScriptManager::GetArgBool(int32_t argument)
{
    return false;
}
char16_t LuaScriptManager::GetArgWChar(int32_t argument)
{
    return 0;
}
int8_t LuaScriptManager::GetArgInt8(int32_t argument)
{
    return 0;
}
int16_t LuaScriptManager::GetArgInt16(int32_t argument)
{
    return 0;
}
int32_t LuaScriptManager::GetArgInt32(int32_t argument)
{
    return 0;
}
int64_t LuaScriptManager::GetArgInt64(int32_t argument)
{
    return 0;
}
uint8_t LuaScriptManager::GetArgUInt8(int32_t argument)
{
    return 0;
}
uint16_t LuaScriptManager::GetArgUInt16(int32_t argument)
{
    return 0;
}
uint32_t LuaScriptManager::GetArgUInt32(int32_t argument)
{
    return 0;
}
uint64_t LuaScriptManager::GetArgUInt64(int32_t argument)
{
    return 0;
}
float LuaScriptManager::GetArgFloat(int32_t argument)
{
    return 0;
}
double LuaScriptManager::GetArgDouble(int32_t argument)
{
    return 0;
}
void LuaScriptManager::GetArgString(const char16_t** out, int32_t argument)
{
    if (out != nullptr)
        *out = u"";
}
ScriptObject* LuaScriptManager::GetArgObject(int32_t argument)
{
    return nullptr;
}
Variable& LuaScriptManager::GetArgVariable(Variable& out, int32_t argument)
{
    return out;
}

int32_t LuaScriptManager::ReturnVariable(const Variable& value)
{
    return 0;
}
int32_t LuaScriptManager::Return()
{
    return 0;
}
int32_t LuaScriptManager::ReturnBool(bool value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnWChar(char16_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnInt8(int8_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnInt16(int16_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnInt32(int32_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnInt64(int64_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnUInt8(uint8_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnUInt16(uint16_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnUInt32(uint32_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnUInt64(uint64_t value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnFloat(float value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnDouble(double value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnString(const char16_t* value)
{
    return 0;
}
int32_t LuaScriptManager::ReturnObject(ScriptObject* object)
{
    return 0;
}

void LuaScriptManager::SetError(const char16_t* text)
{
    mPendingError.Assign(text != nullptr ? text : u"");
}

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

} // namespace Zelto
