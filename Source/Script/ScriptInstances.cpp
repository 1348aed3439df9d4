// What scripts do with an object table beyond its own fields and its class's methods and constants: read and
// write properties through the class's getters and setters, and show the object as text.
#include "Source/Script/LuaScriptManager.h"
#include "Source/Script/ScriptObject.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <cstdio>

namespace Zelto
{

namespace
{

// The class metatable of the object table at `index`: its peer, or its peer's peer for an object with a table
// of its own. False, with nothing pushed, when there is none.
bool PushClassMetatable(lua_State* state, int index)
{
    const ScriptObject* object = ObjectNamedBy(state, index);
    lua_getpeer(state, index);
    if (object != nullptr && object->binding != nullptr && object->binding->ownTable &&
        lua_istable(state, -1))
    {
        lua_getpeer(state, -1);
        lua_remove(state, -2);
    }
    if (lua_istable(state, -1))
        return true;
    lua_pop(state, 1);
    return false;
}

// The accessor for the key at `key` in the class metatable at `metatable`, or the class's default one (then
// `isDefault` is set). Pushes the function, or nil.
void PushAccessor(lua_State* state, int metatable, int key, uintptr_t bit, bool& isDefault)
{
    isDefault = false;
    if (lua_type(state, key) == LUA_TSTRING)
    {
        lua_pushlightuserdata(
            state, reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(lua_tostring(state, key)) | bit));
        lua_rawget(state, metatable);
        if (lua_isfunction(state, -1))
            return;
        lua_pop(state, 1);
    }
    isDefault = true;
    lua_pushlightuserdata(
        state, reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(lua_topointer(state, metatable)) | bit));
    lua_rawget(state, metatable);
}

} // namespace

// Methods and constants are found through the peers before this runs: only properties are left.
int LuaScriptManager::ReadInstance(lua_State* state)
{
    lua_settop(state, 2);
    if (!PushClassMetatable(state, 1))
        return 0;
    bool isDefault = false;
    PushAccessor(state, 3, 2, 0, isDefault);
    if (!lua_isfunction(state, -1))
        return 0;
    lua_pushvalue(state, 1);
    if (isDefault)
        lua_pushvalue(state, 2);
    lua_call(state, isDefault ? 2 : 1, 1);
    return 1;
}

int LuaScriptManager::WriteInstance(lua_State* state)
{
    lua_settop(state, 3);
    const ScriptObject* object = ObjectNamedBy(state, 1);
    if (!PushClassMetatable(state, 1))
        return 0;
    bool isDefault = false;
    PushAccessor(state, 4, 2, PropertySetterBit, isDefault);
    if (lua_isfunction(state, -1))
    {
        lua_pushvalue(state, 1);
        if (isDefault)
            lua_pushvalue(state, 2);
        lua_pushvalue(state, 3);
        lua_call(state, isDefault ? 3 : 2, 1);
        if (!lua_isnil(state, -1))
            return 0; // the setter handled it
    }
    // Not handled: an object with a table of its own keeps the value there, so that the next write of the
    // key reaches the setter again.
    if (object != nullptr && object->binding != nullptr && object->binding->ownTable)
    {
        lua_getpeer(state, 1);
        if (lua_istable(state, -1))
        {
            StoreAssignment(state, lua_gettop(state));
            return 0;
        }
    }
    StoreAssignment(state, 1);
    return 0;
}

int LuaScriptManager::InstanceText(lua_State* state)
{
    lua_settop(state, 1);
    if (PushClassMetatable(state, 1))
    {
        lua_getfield(state, -1, "tostring");
        if (lua_isfunction(state, -1))
        {
            lua_pushvalue(state, 1);
            lua_call(state, 1, 1);
            return 1;
        }
    }
    char text[40];
    std::snprintf(text, sizeof text, "table: 0x%08llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ObjectNamedBy(state, 1))));
    lua_pushstring(state, text);
    return 1;
}

} // namespace Zelto
