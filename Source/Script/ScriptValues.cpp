// Conversions between Variables and script values, and script values as text.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"
#include "Common/NumberCast.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <cstring>
#include <new>
#include <string>

namespace Zelto
{

namespace
{

// How deep ReadVariable follows nested tables; a table met again inside itself is not followed either.
constexpr int MaxTableDepth = 64;

// How many table entries one ReadVariable reads at most. A table shared twice at every level is read once per
// path to it, which grows exponentially with the depth; a quarter million entries is far beyond any settings
// or message table and still reads in a fraction of a second.
constexpr uint32_t MaxEntriesPerRead = 256 * 1024;

// A value's text as lua_tolstring gives it, which turns a number into a string where it stands: the script's
// argument, variable or table key (under lua_next) would change. A number's text is made from a copy.
class TextOfValue
{
public:
    TextOfValue(lua_State* state, int index) : mState(state), mCopied(lua_type(state, index) == LUA_TNUMBER)
    {
        if (mCopied)
            lua_pushvalue(state, index);
        mText = lua_tolstring(state, mCopied ? -1 : index, &mLength);
    }
    ~TextOfValue()
    {
        if (mCopied)
            lua_pop(mState, 1);
    }
    TextOfValue(const TextOfValue&) = delete;
    TextOfValue& operator=(const TextOfValue&) = delete;

    const char* Text() const { return mText; } // null for a value that is neither string nor number
    size_t Length() const { return mLength; }

private:
    lua_State* mState;
    bool mCopied;
    const char* mText = nullptr;
    size_t mLength = 0;
};

} // namespace

struct LuaScriptManager::TablePath
{
    const void* tables[MaxTableDepth];
    int depth = 0;
    uint32_t entries = 0;   // read so far, of MaxEntriesPerRead
    bool exhausted = false; // a table was left out for the limit

    bool Holds(const void* table) const
    {
        for (int i = 0; i < depth; ++i)
            if (tables[i] == table)
                return true;
        return false;
    }
};

namespace
{

// Narrow integer kinds write only their own low bytes of the value.
template <typename T> void StoreInteger(VariableValue& value, T number)
{
    std::memcpy(&value, &number, sizeof number);
}

void ReadInteger(Variable& variable, int64_t number)
{
    switch (variable.type)
    {
    case VariableWChar:
    case VariableUInt16:
        StoreInteger(variable.value, uint16_t(number));
        break;
    case VariableInt8:
        StoreInteger(variable.value, int8_t(number));
        break;
    case VariableInt16:
        StoreInteger(variable.value, int16_t(number));
        break;
    case VariableUInt8:
        StoreInteger(variable.value, uint8_t(number));
        break;
    default:
        StoreInteger(variable.value, int32_t(number));
        break;
    }
}

void ReadWideInteger(Variable& variable, double number)
{
    if (variable.type == VariableInt64)
        StoreInteger(variable.value, TruncateToInt64(number));
    else if (variable.type == VariableUInt64)
        StoreInteger(variable.value, TruncateToUInt64(number));
    else
        StoreInteger(variable.value, uint32_t(TruncateToInt64(number)));
}

char16_t* Deliver(const String& text, char16_t* buffer, uint32_t capacity)
{
    if (buffer == nullptr || text.Length() >= capacity)
        buffer =
            static_cast<char16_t*>(Memory::Alloc(Memory::BlockSize(text.Length() + 1, sizeof(char16_t))));
    if (buffer != nullptr)
        Memory::Copy(buffer, text.Text(), (text.Length() + 1) * sizeof(char16_t));
    return buffer;
}

} // namespace

// -- Variable to script value

void LuaScriptManager::PushVariable(const Variable& variable, ScriptObject* owner)
{
    lua_State* state = mLuaState;
    const VariableValue& value = variable.value;
    if (variable.IsArray() || variable.type == VariableStruct)
    {
        bool array = variable.IsArray();
        lua_createtable(state, array ? int(variable.children.Length()) : 0,
                        array ? 0 : int(variable.children.Length()));
        if (!lua_checkstack(state, 3))
            return; // nested beyond what the script stack holds: the table stays empty
        for (uint32_t i = 0; i < variable.children.Length(); ++i)
        {
            const Variable& child = *variable.children.items[i];
            if (array)
                lua_pushinteger(state, lua_Integer(i) + 1);
            else if (child.hasKey && child.key == child.key) // a NaN key cannot index a table
                lua_pushnumber(state, child.key);
            else
                lua_pushstring(state, StringToUtf8(child.name.Text()).c_str());
            PushVariable(child, owner);
            lua_rawset(state, -3);
        }
        return;
    }
    switch (variable.type)
    {
    case VariableBool:
        lua_pushboolean(state, value.i32 != 0);
        break;
    case VariableWChar:
    case VariableUInt16:
        lua_pushinteger(state, uint16_t(value.u32));
        break;
    case VariableUInt8:
        lua_pushinteger(state, uint8_t(value.u32));
        break;
    case VariableInt8:
        lua_pushinteger(state, int8_t(value.u32));
        break;
    case VariableInt16:
        lua_pushinteger(state, int16_t(value.u32));
        break;
    case VariableInt32:
    case VariableInt64:
    case VariableUInt32:
    case VariableUInt64:
        lua_pushinteger(state, value.i32); // the low 32 bits, signed
        break;
    case VariableFloat:
        lua_pushnumber(state, value.f32);
        break;
    case VariableDouble:
        lua_pushnumber(state, value.f64);
        break;
    case VariableBinary:
        lua_pushlstring(state,
                        value.block.bytes != nullptr ? reinterpret_cast<const char*>(value.block.bytes) : "",
                        value.block.length);
        break;
    case VariableText:
        lua_pushstring(state, StringToUtf8(value.text).c_str());
        break;
    case VariablePointer:
        PushObject(static_cast<ScriptObject*>(value.pointer));
        break;
    case VariableFunction:
        lua_rawgeti(state, LUA_REGISTRYINDEX, value.i32);
        if (lua_isnil(state, -1) && owner != nullptr)
        {
            // A callback the owner keeps under its key.
            lua_pop(state, 1);
            PushStoredCallback(owner, value.i32);
            // The report quotes the expression exactly as written here.
            // clang-format off
            ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TFUNCTION, ZELTO_SCRIPT_SOURCE, __LINE__);
            // clang-format on
        }
        break;
    default:
        lua_pushnil(state);
        break;
    }
}

// -- Script value to Variable

void LuaScriptManager::ReadVariable(Variable& variable, int index)
{
    if (index < 0 && index > LUA_REGISTRYINDEX)
        index = lua_gettop(mLuaState) + 1 + index; // the conversion pushes while it works
    TablePath path;
    ReadValue(variable, index, path);
    if (path.exhausted)
        PrintTrace(u"[LS] A value of more than %u table entries is read only in part", MaxEntriesPerRead);
}

void LuaScriptManager::ReadValue(Variable& variable, int index, TablePath& path)
{
    lua_State* state = mLuaState;
    switch (variable.type)
    {
    case VariableNone:
        ReadByScriptType(variable, index, path);
        break;
    case VariableBool:
        StoreInteger(variable.value, int32_t(lua_toboolean(state, index) != 0));
        break;
    case VariableWChar:
    case VariableInt8:
    case VariableInt16:
    case VariableInt32:
    case VariableUInt8:
    case VariableUInt16:
        // Rounded here rather than by lua_tointeger, which truncates on 64-bit targets.
        ReadInteger(variable, RoundToInt64(lua_tonumber(state, index)));
        break;
    case VariableInt64:
    case VariableUInt32:
    case VariableUInt64:
        ReadWideInteger(variable, lua_tonumber(state, index));
        break;
    case VariableFloat:
        variable.value.f32 = float(lua_tonumber(state, index));
        break;
    case VariableDouble:
        variable.value.f64 = lua_tonumber(state, index);
        break;
    case VariableBinary:
    {
        TextOfValue bytes(state, index);
        variable.SetBinary(bytes.Text(), bytes.Text() != nullptr ? uint32_t(bytes.Length()) : 0);
        break;
    }
    case VariableText:
        variable.SetText(ToWideString(index).Text());
        break;
    case VariablePointer:
        variable.value.pointer = NamedObject(index);
        break;
    default:
        break; // function references, structures and arrays are not read into
    }
}

void LuaScriptManager::ReadByScriptType(Variable& variable, int index, TablePath& path)
{
    lua_State* state = mLuaState;
    switch (lua_type(state, index))
    {
    case LUA_TBOOLEAN:
        variable.type = VariableBool;
        variable.value.i32 = lua_toboolean(state, index) != 0;
        break;
    case LUA_TLIGHTUSERDATA:
        variable.type = VariablePointer;
        variable.value.pointer = lua_touserdata(state, index);
        break;
    case LUA_TNUMBER:
        variable.type = VariableDouble;
        variable.value.f64 = lua_tonumber(state, index);
        break;
    case LUA_TSTRING:
    {
        size_t length = 0;
        const char* text = lua_tolstring(state, index, &length);
        variable.type = VariableText;
        variable.SetText(Utf8ToString(text, int32_t(length)).Text());
        break;
    }
    case LUA_TTABLE:
        ReadTable(variable, index, path);
        break;
    case LUA_TFUNCTION:
        lua_pushvalue(state, index);
        variable.type = VariableFunction;
        variable.value.i32 = luaL_ref(state, LUA_REGISTRYINDEX);
        break;
    case LUA_TUSERDATA:
        // The interpreter's string buffers: full userdata that share the strings' metatable.
        if (lua_getmetatable(state, index))
        {
            lua_pushliteral(state, "");
            bool stringsHaveOne = lua_getmetatable(state, -1) != 0;
            bool bytes = stringsHaveOne && lua_rawequal(state, -1, -3);
            lua_pop(state, stringsHaveOne ? 3 : 2);
            if (bytes)
            {
                variable.type = VariableBinary;
                variable.SetBinary(lua_touserdata(state, index), uint32_t(lua_objlen(state, index)));
            }
        }
        break;
    default:
        break;
    }
}

void LuaScriptManager::ReadTable(Variable& variable, int index, TablePath& path)
{
    lua_State* state = mLuaState;
    if (ScriptObject* object = NamedObject(index))
    {
        variable.type = VariablePointer;
        variable.value.pointer = object;
        return;
    }
    const void* table = lua_topointer(state, index);
    if (path.Holds(table) || path.depth == MaxTableDepth || !lua_checkstack(state, 4))
    {
        PrintTrace(u"[LS] A table nested in itself or deeper than %d levels is read as nothing",
                   MaxTableDepth);
        return;
    }
    path.tables[path.depth++] = table;

    uint32_t length = uint32_t(lua_objlen(state, index));
    uint32_t pairs = 0;
    for (lua_pushnil(state); lua_next(state, index) != 0; lua_pop(state, 1))
        ++pairs;
    if (path.exhausted || pairs > MaxEntriesPerRead - path.entries)
    {
        path.exhausted = true; // read as nothing, like the tables beyond the depth
        --path.depth;
        return;
    }
    path.entries += pairs;
    if (length >= 1 && pairs <= length)
    {
        variable.type = VariableArray;
        variable.counter = new (std::nothrow) Variable(u"#", VariableUInt32);
        variable.AddElements(int32_t(length));
        for (uint32_t i = 0; i < variable.children.Length(); ++i)
        {
            lua_rawgeti(state, index, int(i) + 1);
            ReadValue(*variable.children.items[i], lua_gettop(state), path);
            lua_pop(state, 1);
        }
    }
    else
    {
        variable.type = VariableStruct;
        for (lua_pushnil(state); lua_next(state, index) != 0; lua_pop(state, 1))
        {
            auto* member = new (std::nothrow) Variable(ToWideString(-2).Text());
            if (member == nullptr || variable.children.Add(member) < 0)
            {
                delete member;
                continue;
            }
            ReadValue(*member, lua_gettop(state), path);
            if (lua_type(state, -2) == LUA_TNUMBER)
            {
                member->key = lua_tonumber(state, -2);
                member->hasKey = 1;
            }
        }
    }
    --path.depth;
}

// -- Script values as text

String LuaScriptManager::ToWideString(int index)
{
    lua_State* state = mLuaState;
    if (index < 0 && index > LUA_REGISTRYINDEX)
        index = lua_gettop(state) + 1 + index;
    {
        TextOfValue text(state, index);
        if (text.Text() != nullptr)
            return Utf8ToString(text.Text(), int32_t(text.Length()));
    }
    int type = lua_type(state, index);
    if (type == LUA_TTABLE && lua_getmetatable(state, index))
    {
        lua_pushliteral(state, "__tostring"); // raw: the metatable's own metatable may raise
        lua_rawget(state, -2);
        if (lua_isfunction(state, -1))
        {
            lua_pushvalue(state, index);
            // Protected: a failing "__tostring" must not unwind through the host.
            if (lua_pcall(state, 1, 1, 0) == 0 && lua_type(state, -1) == LUA_TSTRING)
            {
                String text = Utf8ToString(lua_tostring(state, -1), int32_t(lua_objlen(state, -1)));
                lua_pop(state, 2);
                return text;
            }
        }
        lua_pop(state, 2);
    }
    switch (type)
    {
    case LUA_TNIL:
        return String(u"nil");
    case LUA_TBOOLEAN:
        return String(lua_toboolean(state, index) ? u"true" : u"false");
    case LUA_TTABLE:
        return Format(u"table: 0x%08llx", static_cast<unsigned long long>(
                                              reinterpret_cast<uintptr_t>(lua_topointer(state, index))));
    case LUA_TFUNCTION:
        return Format(u"function: 0x%08llx", static_cast<unsigned long long>(
                                                 reinterpret_cast<uintptr_t>(lua_topointer(state, index))));
    default:
        return String();
    }
}

char16_t* LuaScriptManager::ToWideText(int index, char16_t* buffer, uint32_t capacity)
{
    return Deliver(ToWideString(index), buffer, capacity);
}

ScriptObject* ObjectNamedBy(lua_State* state, int index)
{
    if (lua_type(state, index) != LUA_TTABLE)
        return nullptr;
    const auto* block = static_cast<const lua_NativeBlock*>(lua_topointer(state, index));
    if (block == nullptr || block->word[0] != ObjectTableMagic)
        return nullptr;
    return reinterpret_cast<ScriptObject*>(block->word[1]);
}

ScriptObject* LuaScriptManager::NamedObject(int index)
{
    return ObjectNamedBy(mLuaState, index);
}

} // namespace Zelto
