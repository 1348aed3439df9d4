// Host objects in a state: binding, the anchors that keep fresh objects until a script receives them, the
// collector's reaper, attaching, holding and locking.
#include "Source/Script/LuaScriptManager.h"
#include "Source/Script/ScriptObject.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <new>

namespace Zelto
{

namespace
{

void PushRegistryTable(lua_State* state, int32_t reference)
{
    lua_rawgeti(state, LUA_REGISTRYINDEX, reference);
}

// registry[reference][light pointer key] = the value on top, which is popped.
void SetKeyed(lua_State* state, int32_t reference, void* key)
{
    PushRegistryTable(state, reference);
    lua_pushlightuserdata(state, key);
    lua_pushvalue(state, -3);
    lua_rawset(state, -3);
    lua_pop(state, 2);
}

bool NamesObject(const lua_NativeBlock* block, const ScriptObject* object)
{
    return block != nullptr && block->word[0] == ObjectTableMagic &&
           block->word[1] == reinterpret_cast<uintptr_t>(object);
}

} // namespace

ScriptObject* LuaScriptManager::BindObject(const char* className, ScriptObject* object, int32_t ownTable)
{
    if (object == nullptr || object->binding != nullptr)
        return object;
    auto* binding = new (std::nothrow) ObjectBinding();
    if (binding == nullptr)
        return object;
    binding->ownTable = ownTable;
    object->binding = binding;

    lua_State* state = mLuaState;
    lua_newtable(state);
    luaL_getmetatable(state, className != nullptr ? className : "");
    if (ownTable)
    {
        // The object's own table M sits between the object table and its class: every write misses the
        // object table and reaches the setters, while reads still find what M holds.
        lua_newtable(state);
        lua_pushvalue(state, -2);
        lua_setpeer(state, -2);
        lua_setpeer(state, -3);
    }
    else
    {
        lua_pushvalue(state, -1);
        lua_setpeer(state, -3);
    }
    lua_setmetatable(state, -2);

    lua_pushvalue(state, -1);
    SetKeyed(state, mObjectsRef, object);
    lua_pushvalue(state, -1);
    SetKeyed(state, mAnchorsRef, object);

    auto* block = static_cast<lua_NativeBlock*>(const_cast<void*>(lua_topointer(state, -1)));
    block->word[0] = ObjectTableMagic;
    block->word[1] = reinterpret_cast<uintptr_t>(object);
    binding->block = block;
    lua_pop(state, 1);
    return object;
}

void LuaScriptManager::UnbindObject(ScriptObject* object)
{
    if (object == nullptr || object->binding == nullptr)
        return;
    ObjectBinding* binding = object->binding;
    // Scripts that still reference the table find no object behind it.
    if (NamesObject(binding->block, object))
        binding->block->word[0] = binding->block->word[1] = 0;
    if (mReaping == 0 && mLuaState != nullptr)
    {
        for (; binding->held.Length() != 0; binding->held.Pop())
            luaL_unref(mLuaState, LUA_REGISTRYINDEX, binding->held.Front());
        lua_pushnil(mLuaState);
        SetKeyed(mLuaState, mObjectsRef, object);
        if (binding->anchored)
        {
            lua_pushnil(mLuaState);
            SetKeyed(mLuaState, mAnchorsRef, object);
        }
    }
    object->binding = nullptr;
    delete binding;
}

// The collector found an object table unreachable from scripts. Runs inside the collection: it may delete
// host objects but must not touch the state.
int32_t LuaScriptManager::ReapObject(lua_State*, lua_NativeBlock*, uintptr_t keyPayload, int keyType,
                                     uintptr_t valuePayload, int valueType, uint32_t flags)
{
    auto* object = reinterpret_cast<ScriptObject*>(keyPayload);
    if (object == nullptr || keyType != LUA_TLIGHTUSERDATA || valueType != LUA_TTABLE)
        return 1;
    // The same entry may be asked again in this collection, and a table outlives an object the host
    // destroyed during a collection: only a table that still names its object deletes it.
    auto* block = reinterpret_cast<lua_NativeBlock*>(valuePayload);
    if (!NamesObject(block, object) || object->binding == nullptr)
        return 1;
    if (object->binding->lockCount != 0)
        return 0;
    LuaScriptManager* manager = Instance();
    if (manager != nullptr)
        ++manager->mReaping;
    delete object;
    if (manager != nullptr)
        --manager->mReaping;
    return 1;
}

// Before a state closes: the objects still bound in it keep their bindings (a host object outlives the
// state), but nothing of the state may be reached through them any more.
void LuaScriptManager::ForgetObjectTables(const StateRecord& record)
{
    lua_State* state = record.state;
    PushRegistryTable(state, record.objectsRef);
    for (lua_pushnil(state); lua_next(state, -2) != 0; lua_pop(state, 1))
    {
        auto* object = static_cast<ScriptObject*>(lua_touserdata(state, -2));
        if (object != nullptr && ObjectNamedBy(state, -1) == object && object->binding != nullptr)
            object->binding->block = nullptr;
    }
    lua_pop(state, 1);
}

void LuaScriptManager::PushObject(ScriptObject* object)
{
    PushObjectTable(object);
    if (object == nullptr)
        return;
    // The report quotes the expression exactly as written here.
    // clang-format off
    ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TTABLE, ZELTO_SCRIPT_SOURCE, __LINE__);
    // clang-format on
    ReleaseAnchor(object);
}

void LuaScriptManager::ReleaseAnchor(ScriptObject* object)
{
    if (object->binding == nullptr || !object->binding->anchored)
        return;
    lua_pushnil(mLuaState);
    SetKeyed(mLuaState, mAnchorsRef, object);
    object->binding->anchored = 0;
}

// -- Keeping objects alive beyond scripts' references

ScriptObject* LuaScriptManager::AttachObject(ScriptObject* owner, ScriptObject* child)
{
    if (owner == nullptr || child == nullptr || child->binding == nullptr)
        return nullptr;
    PushObjectTable(child);
    StoreKeyed(owner, child);
    ReleaseAnchor(child);
    return child;
}

void LuaScriptManager::DetachObject(ScriptObject* owner, ScriptObject* child)
{
    if (owner == nullptr || child == nullptr || child->binding == nullptr)
        return;
    lua_pushnil(mLuaState);
    StoreKeyed(owner, child);
    ReleaseAnchor(child);
}

ScriptObject* LuaScriptManager::HoldObject(ScriptObject* object)
{
    if (object == nullptr || object->binding == nullptr)
        return nullptr;
    PushObjectTable(object);
    if (!lua_istable(mLuaState, -1))
    {
        lua_pop(mLuaState, 1);
        return nullptr;
    }
    int32_t reference = luaL_ref(mLuaState, LUA_REGISTRYINDEX);
    if (!object->binding->held.Push(reference))
    {
        luaL_unref(mLuaState, LUA_REGISTRYINDEX, reference);
        return nullptr;
    }
    return object;
}

void LuaScriptManager::ReleaseObject(ScriptObject* object)
{
    if (object == nullptr || object->binding == nullptr || object->binding->held.Length() == 0)
        return;
    luaL_unref(mLuaState, LUA_REGISTRYINDEX, object->binding->held.Front());
    object->binding->held.Pop();
}

ScriptObject* LuaScriptManager::LockObject(ScriptObject* object)
{
    if (object == nullptr || object->binding == nullptr)
        return nullptr;
    ++object->binding->lockCount;
    return object;
}

void LuaScriptManager::UnlockObject(ScriptObject* object)
{
    if (object != nullptr && object->binding != nullptr && object->binding->lockCount > 0)
        --object->binding->lockCount;
}

} // namespace Zelto
