// The native-call protocol: what a host function called from a script uses to find its object, read its
// arguments, return its value or raise an error. Each call opens a frame on the call stack; texts handed out
// during a call live until that call ends.
#include "Source/Script/LuaScriptManager.h"
#include "Source/Script/ScriptObject.h"

#include "Common/NumberCast.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringEncoding.h"

#include <lua.hpp>
#include <lua_extensions.h>

#include <string>

namespace Zelto
{

namespace
{

constexpr uint32_t TextBufferUnits = 1024; // a recyclable 2048-byte argument text buffer
constexpr int32_t RecycledMark = 1024;     // a pending string in such a buffer
constexpr uint32_t NarrowBufferBytes = 1024;

} // namespace

void* LuaScriptManager::BeginCall(void* function, const void* unused1, const void* unused2,
                                  const void* unused3)
{
    return BeginCallIn(mLuaState, function);
}

void* LuaScriptManager::BeginCallIn(lua_State* thread, void* function)
{
    mCallStack.Push(CallFrame{nullptr, nullptr, mLuaState});
    mLuaState = thread;
    if (function != nullptr)
        return function;
    return lua_touserdata(thread, lua_upvalueindex(1)); // the registered host function
}

ScriptObject* LuaScriptManager::GetSelf(const void* unused, int32_t queryOnly)
{
    if (mCallStack.Length() == 0 && queryOnly == 0)
        return nullptr;
    ScriptObject* self = nullptr;
    const lua_NativeBlock* selfBlock = nullptr;
    if (lua_type(mLuaState, 1) == LUA_TTABLE)
    {
        const auto* block = static_cast<const lua_NativeBlock*>(lua_topointer(mLuaState, 1));
        if (block->word[0] == ObjectTableMagic)
        {
            self = reinterpret_cast<ScriptObject*>(block->word[1]);
            selfBlock = block;
        }
    }
    if (queryOnly == 0 && mCallStack.Length() != 0)
    {
        // From now on the arguments are counted after the object.
        mCallStack.Top().self = self;
        mCallStack.Top().selfBlock = selfBlock;
    }
    return self;
}

int LuaScriptManager::ArgumentIndex(int32_t argument)
{
    int index = ArgumentSlot(argument);
    return index <= lua_gettop(mLuaState) ? index : 0;
}

int32_t LuaScriptManager::GetArgCount()
{
    int count = lua_gettop(mLuaState);
    return mCallStack.Length() != 0 && mCallStack.Top().self != nullptr ? count - 1 : count;
}

// -- Arguments

bool LuaScriptManager::GetArgBool(int32_t argument)
{
    int index = ArgumentSlot(argument);
    return index != 0 && lua_toboolean(mLuaState, index) != 0;
}

// Numbers are read from slots that may lie beyond the stack: the interpreter answers 0 there, as for any
// value that is no number. The narrow integer kinds round to the nearest integer (halves to even); numeric
// texts convert.
#define ZELTO_ROUNDED_ARGUMENT(Name, Type)                                                                   \
    Type LuaScriptManager::Name(int32_t argument)                                                            \
    {                                                                                                        \
        int index = ArgumentSlot(argument);                                                                  \
        return index != 0 ? Type(RoundToInt64(lua_tonumber(mLuaState, index))) : Type(0);                    \
    }
ZELTO_ROUNDED_ARGUMENT(GetArgWChar, char16_t)
ZELTO_ROUNDED_ARGUMENT(GetArgInt8, int8_t)
ZELTO_ROUNDED_ARGUMENT(GetArgInt16, int16_t)
ZELTO_ROUNDED_ARGUMENT(GetArgInt32, int32_t)
ZELTO_ROUNDED_ARGUMENT(GetArgUInt8, uint8_t)
ZELTO_ROUNDED_ARGUMENT(GetArgUInt16, uint16_t)
#undef ZELTO_ROUNDED_ARGUMENT

int64_t LuaScriptManager::GetArgInt64(int32_t argument)
{
    int index = ArgumentSlot(argument);
    return index != 0 ? TruncateToInt64(lua_tonumber(mLuaState, index)) : 0;
}

uint32_t LuaScriptManager::GetArgUInt32(int32_t argument)
{
    return uint32_t(GetArgInt64(argument)); // -1 is 0xFFFFFFFF
}

uint64_t LuaScriptManager::GetArgUInt64(int32_t argument)
{
    int index = ArgumentSlot(argument);
    return index != 0 ? TruncateToUInt64(lua_tonumber(mLuaState, index)) : 0;
}

float LuaScriptManager::GetArgFloat(int32_t argument)
{
    return float(GetArgDouble(argument));
}

double LuaScriptManager::GetArgDouble(int32_t argument)
{
    int index = ArgumentSlot(argument);
    return index != 0 ? lua_tonumber(mLuaState, index) : 0;
}

ScriptObject* LuaScriptManager::GetArgObject(int32_t argument)
{
    int index = ArgumentIndex(argument);
    return index != 0 ? NamedObject(index) : nullptr;
}

Variable& LuaScriptManager::GetArgVariable(Variable& out, int32_t argument)
{
    if (int index = ArgumentIndex(argument))
        ReadVariable(out, index);
    return out;
}

void LuaScriptManager::GetArgString(const char16_t** out, int32_t argument)
{
    if (out == nullptr)
        return;
    *out = u"";
    int index = ArgumentIndex(argument);
    if (index == 0)
        return;
    if (mFreeBuffers.Length() == 0)
    {
        auto* fresh = static_cast<char16_t*>(Memory::Alloc(TextBufferUnits * sizeof(char16_t)));
        if (fresh != nullptr && !mFreeBuffers.Push(fresh))
            Memory::Free(fresh);
    }
    char16_t* buffer = mFreeBuffers.Length() != 0 ? mFreeBuffers.Front() : nullptr;
    char16_t* text = ToWideText(index, buffer, buffer != nullptr ? TextBufferUnits : 0);
    if (text == nullptr)
        return;
    PendingString pending{text, int32_t(mCallStack.Length()), text == buffer ? RecycledMark : 0};
    if (mPendingStrings.Push(pending) < 0)
    {
        if (text != buffer)
            Memory::Free(text);
        return;
    }
    if (text == buffer)
        mFreeBuffers.Pop();
    *out = text;
}

// -- Ending the call

bool LuaScriptManager::EndCall(CallFrame& frame)
{
    frame = CallFrame{nullptr, nullptr, mLuaState};
    int32_t depth = int32_t(mCallStack.Length());
    if (mPendingStrings.Length() != 0)
        ReleasePendingStrings(depth);
    if (depth == 0)
        return false;
    frame = mCallStack.Pop();
    if (mPendingError.IsEmpty())
        return true;

    lua_State* state = mLuaState;
    mLuaState = frame.caller;
    luaL_where(state, 1);
    {
        std::string text = StringToUtf8(mPendingError.Text());
        lua_pushlstring(state, text.data(), text.size());
    }
    mPendingError = String();
    lua_concat(state, 2);
    lua_error(state); // does not return
    return true;
}

// After a protected call: native calls that a script error unwound without their end (a host function that
// raised an error of its own) are closed here, their texts freed, and `state` is current again.
void LuaScriptManager::AbandonCalls(uint32_t depth, lua_State* state)
{
    ReleasePendingStrings(int32_t(depth) + 1);
    while (mCallStack.Length() > depth)
        mCallStack.Pop();
    mLuaState = state;
}

void LuaScriptManager::ReleasePendingStrings(int32_t depth)
{
    while (mPendingStrings.Length() != 0 && mPendingStrings.Top().depth >= depth)
    {
        PendingString pending = mPendingStrings.Pop();
        if (pending.bufferMark != RecycledMark || !mFreeBuffers.Push(pending.text))
            Memory::Free(pending.text);
    }
}

void LuaScriptManager::SetError(const char16_t* text)
{
    mPendingError.Assign(text != nullptr ? text : u"");
}

int32_t LuaScriptManager::Return()
{
    CallFrame frame;
    if (!EndCall(frame))
        return 0;
    int32_t results = 0;
    // The first argument is the self object's table; while the object is bound, that table still names it.
    // Methods without a value answer their object, so that calls chain.
    if (frame.self != nullptr && frame.selfBlock->word[0] == ObjectTableMagic &&
        frame.selfBlock->word[1] == reinterpret_cast<uintptr_t>(frame.self))
    {
        lua_pushvalue(mLuaState, 1);
        results = 1;
    }
    else if (mResultLeft != 0)
    {
        mResultLeft = 0;
        results = 1;
    }
    mLuaState = frame.caller;
    return results;
}

// Ends the call, then `push` gives the script its one result on the thread the call ran on.
template <typename Push> int32_t LuaScriptManager::ReturnWith(Push push)
{
    CallFrame frame;
    if (!EndCall(frame))
        return 0;
    push(frame);
    mLuaState = frame.caller;
    return 1;
}

int32_t LuaScriptManager::ReturnVariable(const Variable& value)
{
    return ReturnWith([&](const CallFrame& frame) { PushVariable(value, frame.self); });
}

int32_t LuaScriptManager::ReturnInteger(int64_t value)
{
    return ReturnWith([&](const CallFrame&) { lua_pushinteger(mLuaState, lua_Integer(value)); });
}

int32_t LuaScriptManager::ReturnNumber(double value)
{
    return ReturnWith([&](const CallFrame&) { lua_pushnumber(mLuaState, value); });
}

int32_t LuaScriptManager::ReturnBool(bool value)
{
    return ReturnWith([&](const CallFrame&) { lua_pushboolean(mLuaState, value); });
}

int32_t LuaScriptManager::ReturnObject(ScriptObject* object)
{
    return ReturnWith([&](const CallFrame&) { PushObject(object); });
}

// Integers reach scripts as numbers: the narrow kinds whole, the wider ones as their low 32 bits, signed.
#define ZELTO_VALUE_RETURN(Name, Type, Pushed)                                                               \
    int32_t LuaScriptManager::Name(Type value)                                                               \
    {                                                                                                        \
        return Pushed;                                                                                       \
    }
ZELTO_VALUE_RETURN(ReturnWChar, char16_t, ReturnInteger(uint16_t(value)))
ZELTO_VALUE_RETURN(ReturnInt8, int8_t, ReturnInteger(value))
ZELTO_VALUE_RETURN(ReturnInt16, int16_t, ReturnInteger(value))
ZELTO_VALUE_RETURN(ReturnInt32, int32_t, ReturnInteger(value))
ZELTO_VALUE_RETURN(ReturnInt64, int64_t, ReturnInteger(int32_t(uint32_t(value))))
ZELTO_VALUE_RETURN(ReturnUInt8, uint8_t, ReturnInteger(value))
ZELTO_VALUE_RETURN(ReturnUInt16, uint16_t, ReturnInteger(value))
ZELTO_VALUE_RETURN(ReturnUInt32, uint32_t, ReturnInteger(int32_t(value)))
ZELTO_VALUE_RETURN(ReturnUInt64, uint64_t, ReturnInteger(int32_t(uint32_t(value))))
ZELTO_VALUE_RETURN(ReturnFloat, float, ReturnNumber(value))
ZELTO_VALUE_RETURN(ReturnDouble, double, ReturnNumber(value))
#undef ZELTO_VALUE_RETURN

int32_t LuaScriptManager::ReturnString(const char16_t* value)
{
    if (mCallStack.Length() == 0 || !mPendingError.IsEmpty())
    {
        CallFrame frame;
        EndCall(frame); // no call is open, or this raises its error
        return 0;
    }
    // The text may be one of the call's argument texts, which the end of the call frees: it is converted
    // before. The call then ends without an error.
    if (mNarrowBuffer == nullptr)
        mNarrowBuffer = static_cast<char*>(Memory::Alloc(NarrowBufferBytes));
    uint32_t length = 0;
    bool truncated = true;
    if (mNarrowBuffer != nullptr)
        WideToUtf8(mNarrowBuffer, NarrowBufferBytes, value != nullptr ? value : u"", -1, &length, &truncated);
    if (!truncated)
        return ReturnWith([&](const CallFrame&) { lua_pushlstring(mLuaState, mNarrowBuffer, length); });
    std::string text = StringToUtf8(value != nullptr ? value : u"");
    return ReturnWith([&](const CallFrame&) { lua_pushlstring(mLuaState, text.data(), text.size()); });
}

} // namespace Zelto
