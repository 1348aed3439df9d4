// Script functions the host keeps: on an object's table under a key of the host's choosing, or as registry
// references.
#include "Source/Script/LuaScriptManager.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

void* LightKey(int32_t key)
{
    return reinterpret_cast<void*>(intptr_t(key));
}

} // namespace

bool LuaScriptManager::StoreKeyed(ScriptObject* object, void* key)
{
    lua_State* state = mLuaState;
    PushObjectTable(object);
    bool stored = lua_istable(state, -1);
    if (stored)
    {
        lua_pushlightuserdata(state, key);
        lua_pushvalue(state, -3);
        lua_rawset(state, -3);
    }
    lua_pop(state, 2);
    return stored;
}

int32_t LuaScriptManager::StoreArgFunction(ScriptObject* object, int32_t key, int32_t argument)
{
    lua_State* thread = nullptr;
    int index = ArgumentIndex(argument, thread);
    if (object == nullptr || index == 0 || !lua_isfunction(thread, index))
        return 0;
    lua_State* current = mLuaState; // the call's thread, where the function is
    mLuaState = thread;
    lua_pushvalue(thread, index);
    bool stored = StoreKeyed(object, LightKey(key));
    mLuaState = current;
    return stored ? key : 0;
}

int32_t LuaScriptManager::RefArgFunction(int32_t argument)
{
    lua_State* thread = nullptr;
    int index = ArgumentIndex(argument, thread);
    if (index == 0 || !lua_isfunction(thread, index))
        return 0;
    lua_pushvalue(thread, index);
    return luaL_ref(thread, LUA_REGISTRYINDEX);
}

void LuaScriptManager::ClearStoredFunction(ScriptObject* object, int32_t* key)
{
    if (key == nullptr)
        return;
    if (object != nullptr && *key != 0)
    {
        lua_pushnil(mLuaState);
        StoreKeyed(object, LightKey(*key));
    }
    *key = 0;
}

int32_t LuaScriptManager::StoreFunctionRef(ScriptObject* object, int32_t key, int32_t reference)
{
    if (object == nullptr)
        return 0;
    lua_rawgeti(mLuaState, LUA_REGISTRYINDEX, reference);
    StoreKeyed(object, LightKey(key));
    ReleaseFunctionRef(&reference);
    return key;
}

int32_t LuaScriptManager::CreateFunctionRef(const void* functionSlot, ScriptTrampoline trampoline)
{
    PushHostClosure(functionSlot, trampoline);
    AddMemberProfileRecord(HostFunctionIn(functionSlot), "__call", nullptr);
    return luaL_ref(mLuaState, LUA_REGISTRYINDEX);
}

} // namespace Zelto
