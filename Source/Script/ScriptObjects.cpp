// Host objects in a state: binding, the anchors that keep fresh objects until a script receives them, the
// collector's reaper, attaching, holding and locking.
#include "Source/Script/LuaScriptManager.h"
#include "Source/Script/ScriptObject.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <new>
#include <unordered_set>
#include <vector>

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

// The object of an entry of the objects table, or of an object table's attached children (a light key naming
// its own table); null for any other entry.
ScriptObject* EntryObject(lua_State* state, int keyIndex, int valueIndex)
{
    if (lua_type(state, keyIndex) != LUA_TLIGHTUSERDATA)
        return nullptr;
    auto* object = static_cast<ScriptObject*>(lua_touserdata(state, keyIndex));
    return object != nullptr && ObjectNamedBy(state, valueIndex) == object ? object : nullptr;
}

// Whether the host keeps the object itself: never received by a script (still anchored), locked or held.
bool HostKeeps(const ScriptObject* object)
{
    const ObjectBinding* binding = object->binding;
    return binding == nullptr || binding->anchored != 0 || binding->lockCount != 0 ||
           binding->held.Length() != 0;
}

// The objects bound in a state, and of them those the host keeps: its own and the children attached to those
// (their owner may use them), however deep.
void SortObjects(lua_State* state, int32_t objectsRef, std::vector<ScriptObject*>& bound,
                 std::unordered_set<ScriptObject*>& kept)
{
    PushRegistryTable(state, objectsRef);
    for (lua_pushnil(state); lua_next(state, -2) != 0; lua_pop(state, 1))
        if (ScriptObject* object = EntryObject(state, -2, -1))
        {
            bound.push_back(object);
            if (HostKeeps(object))
                kept.insert(object);
        }
    std::vector<ScriptObject*> owners(kept.begin(), kept.end());
    while (!owners.empty())
    {
        lua_pushlightuserdata(state, owners.back());
        owners.pop_back();
        lua_rawget(state, -2);
        if (lua_istable(state, -1))
            for (lua_pushnil(state); lua_next(state, -2) != 0; lua_pop(state, 1))
            {
                ScriptObject* child = EntryObject(state, -2, -1);
                if (child != nullptr && kept.insert(child).second)
                    owners.push_back(child);
            }
        lua_pop(state, 1);
    }
    lua_pop(state, 1);
}

} // namespace

ScriptObject* LuaScriptManager::BindObject(const char* className, ScriptObject* object, int32_t ownTable)
{
    if (object == nullptr || object->binding != nullptr || RefusedWhileReaping(u"Binding"))
        return object;
    auto* binding = new (std::nothrow) ObjectBinding();
    if (binding == nullptr)
        return object;
    binding->ownTable = ownTable;
    object->binding = binding;

    lua_State* state = mLuaState;
    lua_newtable(state);
    luaL_getmetatable(state, className != nullptr ? className : "");
    binding->classKey = lua_istable(state, -1) ? lua_topointer(state, -1) : nullptr;
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
    binding->state = state;
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
    // The entries and holds are the state's the object was bound in, which need not be the current one.
    const StateRecord* record = RecordOf(binding->state);
    if (mReaping == 0 && record != nullptr)
    {
        lua_State* state = record->state;
        for (; binding->held.Length() != 0; binding->held.Pop())
            luaL_unref(state, LUA_REGISTRYINDEX, binding->held.Front());
        lua_pushnil(state);
        SetKeyed(state, record->objectsRef, object);
        if (binding->anchored)
        {
            lua_pushnil(state);
            SetKeyed(state, record->anchorsRef, object);
        }
    }
    object->binding = nullptr;
    delete binding;
}

const LuaScriptManager::StateRecord* LuaScriptManager::RecordOf(lua_State* state) const
{
    for (const StateRecord& record : mStates)
        if (state != nullptr && record.state == state)
            return &record;
    return nullptr;
}

// The collector found an object table unreachable from scripts. Runs inside the collection: it may delete
// host objects but must not touch the state. Asked first whether the entry may go (a locked object stays),
// the object is deleted only when told that the entry goes: an entry let go while asking may still be kept
// by another one kept later, such as a child attached to a locked owner.
int32_t LuaScriptManager::ReapObject(lua_State*, lua_NativeBlock*, uintptr_t keyPayload, int keyType,
                                     uintptr_t valuePayload, int valueType, uint32_t flags)
{
    auto* object = reinterpret_cast<ScriptObject*>(keyPayload);
    if (object == nullptr || keyType != LUA_TLIGHTUSERDATA || valueType != LUA_TTABLE)
        return 1;
    // A table outlives an object the host destroyed during a collection: only a table that still names its
    // object deletes it.
    auto* block = reinterpret_cast<lua_NativeBlock*>(valuePayload);
    if (!NamesObject(block, object) || object->binding == nullptr)
        return 1;
    if ((flags & LUA_CLEAR_FINAL) == 0)
        return object->binding->lockCount == 0;
    if (object->binding->lockCount != 0)
    {
        // Locked by a destructor in this very pass: the object stays, without the table that goes.
        object->binding->block = nullptr;
        return 1;
    }
    LuaScriptManager* manager = Instance();
    if (manager != nullptr)
        ++manager->mReaping;
    delete object;
    if (manager != nullptr)
        --manager->mReaping;
    return 1;
}

// Closing makes every object table unreachable: the objects whose tables the reaper would then delete, those
// scripts own, are deleted while the state is still open to their destructors. They are found before the
// first goes; each is deleted only if it is still bound and still the scripts' when its turn comes, as a
// destructor may delete, keep or make others (those it makes stay: the host made them).
void LuaScriptManager::DeleteScriptOwnedObjects(int32_t index)
{
    if (!SwitchState(index))
        return;
    std::vector<ScriptObject*> bound;
    std::unordered_set<ScriptObject*> kept;
    SortObjects(mLuaState, mObjectsRef, bound, kept);
    for (ScriptObject* object : bound)
    {
        if (kept.count(object) != 0 || !SwitchState(index))
            continue;
        PushRegistryTable(mLuaState, mObjectsRef);
        lua_pushlightuserdata(mLuaState, object);
        lua_rawget(mLuaState, -2);
        bool stillBound = ObjectNamedBy(mLuaState, -1) == object;
        lua_pop(mLuaState, 2);
        if (stillBound && !HostKeeps(object))
            delete object;
    }
}

// Before the manager lets a state go (closed, or left open to the host that passed it in): the objects still
// bound in it keep their bindings (a host object outlives the state), but neither they nor the state reach
// each other any more. A state left open keeps its tables without the reaper, and scripts in it find no
// object behind them.
void LuaScriptManager::ForgetObjectTables(const StateRecord& record)
{
    lua_State* state = record.state;
    PushRegistryTable(state, record.objectsRef);
    lua_setclearfunc(state, -1, nullptr);
    for (lua_pushnil(state); lua_next(state, -2) != 0; lua_pop(state, 1))
    {
        auto* object = static_cast<ScriptObject*>(lua_touserdata(state, -2));
        if (object == nullptr || ObjectNamedBy(state, -1) != object)
            continue;
        auto* block = static_cast<lua_NativeBlock*>(const_cast<void*>(lua_topointer(state, -1)));
        block->word[0] = block->word[1] = 0;
        if (object->binding != nullptr)
        {
            object->binding->block = nullptr;
            object->binding->state = nullptr;
        }
    }
    lua_pop(state, 1);
    if (!record.owned)
    {
        luaL_unref(state, LUA_REGISTRYINDEX, record.objectsRef);
        luaL_unref(state, LUA_REGISTRYINDEX, record.anchorsRef);
    }
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
    if (owner == nullptr || child == nullptr || child->binding == nullptr ||
        RefusedWhileReaping(u"Attaching"))
        return nullptr;
    // An owner without a table keeps nothing: the child stays anchored rather than being reaped.
    PushObjectTable(child);
    if (!StoreKeyed(owner, child))
        return nullptr;
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
    if (object == nullptr || object->binding == nullptr || RefusedWhileReaping(u"Holding"))
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
    const StateRecord* record = RecordOf(object->binding->state);
    if (record != nullptr)
        luaL_unref(record->state, LUA_REGISTRYINDEX, object->binding->held.Front());
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
