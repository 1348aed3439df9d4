// The manager's life: the process's one instance, its states and their tables, and its end.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <new>

namespace Zelto
{

namespace
{

// Scripts get the base library (with coroutines), table, string, math, bit, debug and jit; no io, os,
// package or ffi. They run interpreted.
void OpenLibraries(lua_State* state)
{
    static const luaL_Reg libraries[] = {
        {"", luaopen_base},
        {LUA_TABLIBNAME, luaopen_table},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
        {LUA_BITLIBNAME, luaopen_bit},
        {LUA_DBLIBNAME, luaopen_debug},
        {LUA_JITLIBNAME, luaopen_jit},
    };
    for (const luaL_Reg& library : libraries)
    {
        lua_pushcfunction(state, library.func);
        lua_pushstring(state, library.name);
        lua_call(state, 1, 0);
    }
    lua_getfield(state, LUA_GLOBALSINDEX, "jit");
    if (lua_istable(state, -1))
    {
        lua_getfield(state, -1, "off");
        if (lua_isfunction(state, -1))
            lua_call(state, 0, 0);
        else
            lua_pop(state, 1);
    }
    lua_pop(state, 1);
}

// A new table at the top, also referenced from the registry; the reference is returned.
int32_t NewReferencedTable(lua_State* state)
{
    lua_newtable(state);
    lua_pushvalue(state, -1);
    return luaL_ref(state, LUA_REGISTRYINDEX);
}

} // namespace

IScriptManager* GetScriptManager()
{
    return LuaScriptManager::Make();
}

LuaScriptManager* LuaScriptManager::Make()
{
    if (instance != nullptr)
        return instance;
    auto* manager = new (std::nothrow) LuaScriptManager();
    if (manager == nullptr)
        return nullptr;
    if (!manager->SwitchState(manager->LuaScriptManager::CreateState(nullptr)))
    {
        manager->Release();
        return nullptr;
    }
    instance = manager;
    PrintTrace(u"[KL] Lua ScriptManager Created");
    return manager;
}

LuaScriptManager::LuaScriptManager() = default;

LuaScriptManager::~LuaScriptManager()
{
    if (instance == this)
        instance = nullptr;
}

int32_t LuaScriptManager::CreateState(lua_State* existing)
{
    StateRecord record{existing, 0, 0, 0, 0};
    if (existing == nullptr)
    {
        record.state = luaL_newstate();
        if (record.state == nullptr)
            return -1;
        OpenLibraries(record.state);
        record.owned = 1;
    }
    lua_State* state = record.state;

    // Objects: weak values, so that a host object lives as long as scripts reference its table.
    record.objectsRef = NewReferencedTable(state);
    lua_createtable(state, 0, 1);
    lua_pushstring(state, "v");
    lua_setfield(state, -2, "__mode");
    lua_setmetatable(state, -2);
    lua_setclearfunc(state, -1, ReapObject);
    lua_pop(state, 1);

    record.anchorsRef = NewReferencedTable(state);
    lua_pop(state, 1);

    record.metatableRef = NewReferencedTable(state);
    lua_newtable(state);
    lua_setfield(state, -2, "__index");
    lua_pushcfunction(state, AssignClassMember);
    lua_setfield(state, -2, "__newindex");
    lua_pop(state, 1);

    int32_t index = mStates.Add(record);
    if (index < 0 && record.owned)
        lua_close(state);
    return index;
}

bool LuaScriptManager::SwitchState(int32_t index)
{
    if (!mStates.IsIndexValid(index))
    {
        PrintTrace(u"[LS] Failed to switch script state to invalid index %d", index);
        return false;
    }
    const StateRecord& record = mStates[index];
    mLuaState = record.state;
    mObjectsRef = record.objectsRef;
    mAnchorsRef = record.anchorsRef;
    mMetatableRef = record.metatableRef;
    return true;
}

void LuaScriptManager::Release()
{
    for (int32_t index = 0; index < int32_t(mStates.Length()); ++index)
        if (mStates[index].owned)
            DeleteScriptOwnedObjects(index);
    for (const PendingString& pending : mPendingStrings)
        Memory::Free(pending.text);
    mPendingStrings.Clear();
    for (; mFreeBuffers.Length() != 0; mFreeBuffers.Pop())
        Memory::Free(mFreeBuffers.Front());
    Memory::Free(mNarrowBuffer);
    mNarrowBuffer = nullptr;

    if (mProfiling)
        DumpProfile();
    if (mAllocationThreshold > 0)
        lua_setallochook(nullptr); // the hook is the process's; it must not outlive its table
    for (const StateRecord& record : mStates)
    {
        ForgetObjectTables(record);
        if (record.owned)
            lua_close(record.state);
    }
    mStates.Clear();
    mLuaState = nullptr;
    FreeConfigNodes();
    delete this;
}

int32_t LuaScriptManager::NotifyErrorHandler(const char16_t* text)
{
    return mErrorHandler != nullptr ? mErrorHandler(text) : 0;
}

void LuaScriptManager::CollectGarbage()
{
    if (!RefusedWhileReaping(u"A collection"))
        lua_gc(mLuaState, LUA_GCCOLLECT, 0);
}

bool LuaScriptManager::RefusedWhileReaping(const char16_t* what)
{
    if (mReaping == 0)
        return false;
    LogError(u"[LS] %ls inside the collector (an object being deleted by it) is refused", what);
    return true;
}

} // namespace Zelto
