// Fields of globals and object tables, and calls of script functions from the host.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

// Wide field names are cut to what a 1024-byte UTF-8 buffer holds.
constexpr uint32_t NameBytes = 1024;

// table[key] with its metamethods, run as a protected call: a raising "__index" or property getter is a
// script error, never an unwinding through the host.
int LookUpField(lua_State* state)
{
    lua_gettable(state, 1);
    return 1;
}

} // namespace

// -- Object tables

void LuaScriptManager::PushObjectTable(ScriptObject* object)
{
    lua_rawgeti(mLuaState, LUA_REGISTRYINDEX, mObjectsRef);
    lua_pushlightuserdata(mLuaState, object);
    lua_rawget(mLuaState, -2);
    lua_remove(mLuaState, -2);
}

void LuaScriptManager::PushStoredCallback(ScriptObject* object, int32_t key)
{
    PushObjectTable(object);
    if (!lua_istable(mLuaState, -1))
        return; // nil
    lua_pushlightuserdata(mLuaState, reinterpret_cast<void*>(intptr_t(key)));
    lua_rawget(mLuaState, -2);
    lua_remove(mLuaState, -2);
}

// -- Fields

void LuaScriptManager::SetField(ScriptObject* object, const char* name, const Variable& value)
{
    if (RefusedWhileReaping(u"A field's writing"))
        return;
    if (object != nullptr)
        PushObjectTable(object);
    else
        lua_pushvalue(mLuaState, LUA_GLOBALSINDEX);
    if (lua_istable(mLuaState, -1))
    {
        lua_pushstring(mLuaState, name != nullptr ? name : "");
        PushVariable(value, nullptr);
        lua_rawset(mLuaState, -3);
    }
    lua_pop(mLuaState, 1);
}

void LuaScriptManager::SetFieldWide(ScriptObject* object, const char16_t* name, const Variable& value)
{
    char narrow[NameBytes];
    SetField(object, WideToUtf8(narrow, NameBytes, name != nullptr ? name : u""), value);
}

Variable& LuaScriptManager::GetField(Variable& out, ScriptObject* object, const char* name)
{
    out.Clear();
    if (RefusedWhileReaping(u"A field's reading"))
        return out;
    if (object != nullptr)
        PushObjectTable(object);
    else
        lua_pushvalue(mLuaState, LUA_GLOBALSINDEX);
    if (!lua_istable(mLuaState, -1))
    {
        lua_pop(mLuaState, 1);
        return out;
    }
    lua_pushcfunction(mLuaState, LookUpField);
    lua_insert(mLuaState, -2);
    lua_pushstring(mLuaState, name != nullptr ? name : "");
    if (!HandleStatus(ProtectedCall(2)))
    {
        LogLastError();
        return out;
    }
    ReadVariable(out, -1);
    lua_pop(mLuaState, 1);
    return out;
}

Variable& LuaScriptManager::GetFieldWide(Variable& out, ScriptObject* object, const char16_t* name)
{
    char narrow[NameBytes];
    return GetField(out, object, WideToUtf8(narrow, NameBytes, name != nullptr ? name : u""));
}

// -- Calls

bool LuaScriptManager::PushFunction(ScriptObject* object, int32_t reference)
{
    if (object != nullptr)
        PushStoredCallback(object, reference);
    else
        lua_rawgeti(mLuaState, LUA_REGISTRYINDEX, reference);
    if (lua_isfunction(mLuaState, -1))
        return true;
    lua_pop(mLuaState, 1);
    return false;
}

Variable& LuaScriptManager::Call(Variable& out, ScriptObject* object, int32_t reference,
                                 const Variable* arguments, uint32_t count)
{
    out.Clear();
    if (reference == 0 || RefusedWhileReaping(u"A call") || !PushFunction(object, reference))
        return out;
    if (count > INT32_MAX - 1 || !lua_checkstack(mLuaState, int(count) + 1))
    {
        lua_pop(mLuaState, 1);
        LogError(u"[LS] Too many arguments for a script call: %u", count);
        return out;
    }
    for (uint32_t i = 0; i < count; ++i)
        PushVariable(arguments[i], nullptr);
    if (!HandleStatus(ProtectedCall(int(count))))
    {
        LogLastError();
        return out;
    }
    ReadVariable(out, -1);
    lua_pop(mLuaState, 1);
    return out;
}

Variable& LuaScriptManager::CallFunctionArray(Variable& out, ScriptObject* object, int32_t reference,
                                              const Array<Variable>& arguments)
{
    return Call(out, object, reference, arguments.items, arguments.Length());
}

Variable& LuaScriptManager::CallFunctionOne(Variable& out, ScriptObject* object, int32_t reference,
                                            const Variable& argument)
{
    return Call(out, object, reference, &argument, 1);
}

Variable& LuaScriptManager::CallFunction(Variable& out, ScriptObject* object, int32_t reference)
{
    return Call(out, object, reference, nullptr, 0);
}

void LuaScriptManager::ReleaseFunctionRef(int32_t* reference)
{
    if (reference == nullptr)
        return;
    if (*reference != 0)
        luaL_unref(mLuaState, LUA_REGISTRYINDEX, *reference);
    *reference = 0;
}

} // namespace Zelto
