// Script classes: the class table (a global with "new" and static members), the class metatable shared by the
// instances (methods, constants, getters and setters), and the assignment that extends both.
#include "Source/Script/LuaScriptManager.h"

#include "Source/Common/StringEncoding.h"

#include <lua.hpp>
#include <lua_extensions.h>

namespace Zelto
{

namespace
{

// The peer entry of a class table that names its class metatable.
void* const ClassMetatableKey = reinterpret_cast<void*>(uintptr_t(1));

// Registration reads and writes globals raw: a script's strict "__index" or "__newindex" on the globals must
// neither raise through the host nor refuse the host's classes.
void PushGlobal(lua_State* state, const char* name)
{
    lua_pushstring(state, name != nullptr ? name : "");
    lua_rawget(state, LUA_GLOBALSINDEX);
}

void SetGlobal(lua_State* state, const char* name) // pops the value on top
{
    lua_pushstring(state, name != nullptr ? name : "");
    lua_insert(state, -2);
    lua_rawset(state, LUA_GLOBALSINDEX);
}

} // namespace

void LuaScriptManager::BeginClass(const char* name, ScriptTrampoline constructor)
{
    if (!ZELTO_CHECK(mClassName == _null, ZELTO_SCRIPT_SOURCE, __LINE__) || name == nullptr)
        return;
    mClassName = name;
    lua_State* state = mLuaState;

    lua_newtable(state); // the class table
    if (constructor != nullptr)
    {
        lua_pushcfunction(state, constructor);
        lua_setfield(state, -2, "new");
    }
    lua_pushvalue(state, -1);
    SetGlobal(state, name);

    luaL_newmetatable(state, name); // the class metatable, on top until EndClass
    lua_pushcfunction(state, ReadInstance);
    lua_setfield(state, -2, "__index");
    lua_pushcfunction(state, WriteInstance);
    lua_setfield(state, -2, "__newindex");
    lua_pushcfunction(state, InstanceText);
    lua_setfield(state, -2, "__tostring");

    lua_rawgeti(state, LUA_REGISTRYINDEX, mMetatableRef);
    lua_setmetatable(state, -3);
    lua_createtable(state, 0, 1); // the class peer
    lua_pushlightuserdata(state, ClassMetatableKey);
    lua_pushvalue(state, -3);
    lua_rawset(state, -3);
    lua_setpeer(state, -3);

    lua_pushvalue(state, -2);
    lua_setfield(state, -2, "__metatable"); // getmetatable(instance) answers the class table
    lua_remove(state, -2);

    if (constructor != nullptr)
        AddMemberProfileRecord(reinterpret_cast<const void*>(constructor), "new", nullptr);
}

void LuaScriptManager::EndClass()
{
    if (!ZELTO_CHECK(mClassName != _null, ZELTO_SCRIPT_SOURCE, __LINE__))
        return;
    lua_pop(mLuaState, 1);
    mClassName = nullptr;
}

void LuaScriptManager::StoreAssignment(lua_State* state, int table)
{
    lua_pushvalue(state, 2);
    lua_pushvalue(state, 3);
    lua_rawset(state, table);
}

// Class-table assignment: the class table reads the member back through its peer, and the class metatable
// gets it too, so that existing instances see it.
int LuaScriptManager::AssignClassMember(lua_State* state)
{
    lua_settop(state, 3);
    lua_getpeer(state, 1);
    if (!lua_istable(state, -1))
    {
        lua_pop(state, 1);
        lua_rawset(state, 1);
        return 0;
    }
    StoreAssignment(state, 4);
    lua_pushlightuserdata(state, ClassMetatableKey);
    lua_rawget(state, 4);
    if (lua_istable(state, -1))
        StoreAssignment(state, lua_gettop(state));
    return 0;
}

// -- Members

void LuaScriptManager::RegisterFunction(const char* name, const void* functionSlot,
                                        ScriptTrampoline trampoline, bool intoClassTable)
{
    lua_State* state = mLuaState;
    if (intoClassTable)
    {
        if (!ZELTO_CHECK(mClassName != _null, ZELTO_SCRIPT_SOURCE, __LINE__))
            return;
        PushGlobal(state, mClassName);
    }
    else if (mClassName == nullptr)
        lua_pushvalue(state, LUA_GLOBALSINDEX);
    else
        lua_pushvalue(state, -1); // the class metatable: a method
    // The report quotes the expression exactly as written here.
    // clang-format off
    if (ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TTABLE, ZELTO_SCRIPT_SOURCE, __LINE__))
    // clang-format on
    {
        lua_pushstring(state, name != nullptr ? name : "");
        PushHostClosure(functionSlot, trampoline);
        lua_rawset(state, -3);
    }
    lua_pop(state, 1);
    AddMemberProfileRecord(HostFunctionIn(functionSlot), name, nullptr);
}

void LuaScriptManager::RegisterProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                                        const void* setterSlot, ScriptTrampoline setter, const void* unused)
{
    if (!ClassMetatableOnTop())
        return;
    uintptr_t key = PropertyKey(name);
    SetAccessor(key, getterSlot, getter);
    SetAccessor(key | PropertySetterBit, setterSlot, setter);
    AddMemberProfileRecord(HostFunctionIn(getterSlot), name, u"get");
    AddMemberProfileRecord(HostFunctionIn(setterSlot), name, u"set");
}

void LuaScriptManager::RegisterReadOnlyProperty(const char* name, const void* getterSlot,
                                                ScriptTrampoline getter, const void* unused)
{
    if (!ClassMetatableOnTop())
        return;
    SetAccessor(PropertyKey(name), getterSlot, getter);
    AddMemberProfileRecord(HostFunctionIn(getterSlot), name, u"get");
}

bool LuaScriptManager::ClassMetatableOnTop()
{
    // The reports quote the expressions exactly as written here.
    // clang-format off
    return ZELTO_CHECK(mClassName != _null, ZELTO_SCRIPT_SOURCE, __LINE__) &&
           ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TTABLE, ZELTO_SCRIPT_SOURCE, __LINE__);
    // clang-format on
}

// A named property: the address of the name's interned string, pinned so that it stays. The default
// property (empty name): the address of the class metatable's native block.
uintptr_t LuaScriptManager::PropertyKey(const char* name)
{
    lua_State* state = mLuaState;
    if (name == nullptr || name[0] == 0)
        return reinterpret_cast<uintptr_t>(lua_topointer(state, -1));
    lua_pushstring(state, name);
    auto key = reinterpret_cast<uintptr_t>(lua_tostring(state, -1));
    luaL_ref(state, LUA_REGISTRYINDEX);
    return key;
}

// classMetatable[light pointer key] = the trampoline with the host function from the slot as its upvalue.
void LuaScriptManager::SetAccessor(uintptr_t key, const void* functionSlot, ScriptTrampoline trampoline)
{
    lua_State* state = mLuaState;
    lua_pushlightuserdata(state, reinterpret_cast<void*>(key));
    PushHostClosure(functionSlot, trampoline);
    lua_rawset(state, -3);
}

const void* LuaScriptManager::HostFunctionIn(const void* functionSlot)
{
    return functionSlot != nullptr ? *static_cast<const void* const*>(functionSlot) : nullptr;
}

// The closure keeps a record of what a call needs (HostFunctionRecord). The declared classes' trampoline
// reads it itself; any other trampoline is entered through EnterHostFunction, which tells its BeginCall the
// thread the call runs on and the record.
void LuaScriptManager::PushHostClosure(const void* functionSlot, ScriptTrampoline trampoline)
{
    lua_State* state = mLuaState;
    if (mOwnTrampolines)
    {
        lua_pushlightuserdata(state, const_cast<void*>(HostFunctionIn(functionSlot)));
        lua_pushcclosure(state, trampoline, 1);
        return;
    }
    const void* classKey = nullptr;
    if (mClassName != nullptr)
    {
        luaL_getmetatable(state, mClassName);
        classKey = lua_istable(state, -1) ? lua_topointer(state, -1) : nullptr;
        lua_pop(state, 1);
    }
    auto* record = static_cast<HostFunctionRecord*>(lua_newuserdata(state, sizeof(HostFunctionRecord)));
    *record = HostFunctionRecord{HostFunctionIn(functionSlot), trampoline, classKey};
    lua_pushcclosure(state, EnterHostFunction, 1);
}

// The call profile names a host function "Class.member", "Class.member(get)" (a property accessor; the
// default property has no member name), or the bare member outside a class.
void LuaScriptManager::AddMemberProfileRecord(const void* function, const char* member,
                                              const char16_t* accessor)
{
    if (!mProfiling || function == nullptr)
        return;
    String name;
    if (mClassName != nullptr)
    {
        name = Utf8ToString(mClassName);
        name.Append(u".");
    }
    name.Append(Utf8ToString(member != nullptr ? member : "").Text());
    if (accessor != nullptr)
    {
        name.Append(u"(");
        name.Append(accessor);
        name.Append(u")");
    }
    AddNativeProfileRecord(function, name);
}

void LuaScriptManager::RegisterConstant(const char* name, const Variable& value, const void* unused,
                                        bool intoClassTable)
{
    if (!ZELTO_CHECK(mClassName != _null, ZELTO_SCRIPT_SOURCE, __LINE__))
        return;
    lua_State* state = mLuaState;
    if (intoClassTable)
        PushGlobal(state, mClassName);
    else
        lua_pushvalue(state, -1);
    // The report quotes the expression exactly as written here.
    // clang-format off
    if (ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TTABLE, ZELTO_SCRIPT_SOURCE, __LINE__))
    // clang-format on
    {
        lua_pushstring(state, name != nullptr ? name : "");
        PushVariable(value, nullptr);
        lua_rawset(state, -3);
    }
    lua_pop(state, 1);
}

void LuaScriptManager::CreateGlobalObject(const char* globalName, const char* className)
{
    lua_State* state = mLuaState;
    PushGlobal(state, className);
    // The reports quote the expressions exactly as written here.
    // clang-format off
    if (!ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TTABLE, ZELTO_SCRIPT_SOURCE, __LINE__))
    // clang-format on
    {
        lua_pop(state, 1);
        return;
    }
    lua_pushliteral(state, "new");
    lua_rawget(state, -2);
    lua_remove(state, -2);
    // clang-format off
    if (!ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TFUNCTION, ZELTO_SCRIPT_SOURCE, __LINE__))
    // clang-format on
    {
        lua_pop(state, 1);
        return;
    }
    if (!HandleStatus(ProtectedCall(0)))
    {
        LogLastError();
        return;
    }
    SetGlobal(state, globalName);
}

} // namespace Zelto
