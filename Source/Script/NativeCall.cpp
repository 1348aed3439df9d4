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

// The steps of every call, inline where the compiler would rather call them (a frame's push among them).
#if defined(__GNUC__)
#define ZELTO_HOT_INLINE inline __attribute__((always_inline))
#define ZELTO_HOT_FLATTEN __attribute__((flatten))
#else
#define ZELTO_HOT_INLINE inline
#define ZELTO_HOT_FLATTEN
#endif

namespace
{

constexpr uint32_t TextBufferUnits = 1024; // a recyclable 2048-byte argument text buffer
constexpr int32_t RecycledMark = 1024;     // a pending string in such a buffer
constexpr uint32_t NarrowBufferBytes = 1024;

// The frames' coroutine threads, by call depth, in a table of each state's registry under this address.
const char CallThreadsKey = 0;

void PushCallThreads(lua_State* thread)
{
    lua_pushlightuserdata(thread, const_cast<char*>(&CallThreadsKey));
    lua_rawget(thread, LUA_REGISTRYINDEX);
    if (lua_istable(thread, -1))
        return;
    lua_pop(thread, 1);
    lua_newtable(thread);
    lua_pushlightuserdata(thread, const_cast<char*>(&CallThreadsKey));
    lua_pushvalue(thread, -2);
    lua_rawset(thread, LUA_REGISTRYINDEX);
}

} // namespace

void* LuaScriptManager::BeginCall(void* function, const void* unused1, const void* unused2,
                                  const void* unused3)
{
    // A trampoline the host registered runs inside EnterHostFunction, which told the thread it runs on (a
    // coroutine's, perhaps) and its record. Any other native function is taken to run on the current thread.
    lua_State* thread = mEntryThread != nullptr ? mEntryThread : mLuaState;
    const HostFunctionRecord* record = mEntryRecord;
    mEntryThread = nullptr;
    mEntryRecord = nullptr;
    if (function == nullptr)
        function = record != nullptr
                       ? const_cast<void*>(record->function)
                       : lua_touserdata(thread, lua_upvalueindex(1)); // the registered host function
    return BeginCallIn(thread, function, record != nullptr ? record->classKey : nullptr);
}

int LuaScriptManager::EnterHostFunction(lua_State* thread)
{
    const auto* record = static_cast<const HostFunctionRecord*>(lua_touserdata(thread, lua_upvalueindex(1)));
    if (record == nullptr || record->trampoline == nullptr)
        return 0;
    if (LuaScriptManager* manager = Instance())
    {
        manager->mEntryThread = thread;
        manager->mEntryRecord = record;
    }
    int results = record->trampoline(thread);
    if (LuaScriptManager* manager = Instance()) // a trampoline that opened no call leaves nothing behind
    {
        manager->mEntryThread = nullptr;
        manager->mEntryRecord = nullptr;
    }
    return results;
}

void* LuaScriptManager::BeginCallIn(lua_State* thread, void* function, const void* classKey)
{
    OpenFrame(thread, classKey);
    return function;
}

// -- The path of every call: inline here, as the declared classes' trampoline uses it too

ZELTO_HOT_INLINE LuaScriptManager::CallFrame& LuaScriptManager::OpenFrame(lua_State* thread,
                                                                          const void* classKey)
{
    if (mCallStack.Length() != 0 && mCallStack.items[mCallStack.Length() - 1].thread != thread)
        DropAbandonedCalls(thread);
    CallFrame frame{nullptr, nullptr, thread, mLuaState, classKey, 0};
    uint32_t depth = mCallStack.Length() + 1;
    if (thread != mLuaState)
        frame.anchored = AnchorThread(thread, depth) ? 1 : 0;
    int32_t index = mCallStack.Push(frame);
    if (index < 0)
    {
        if (frame.anchored)
            ReleaseThread(thread, depth);
        lua_pushliteral(thread, "not enough memory");
        lua_error(thread); // no frame to end: the call fails before it began
    }
    mLuaState = thread;
    return mCallStack.items[index];
}

// Argument 1 is the self object when it is an object table naming an object of the call's class; anything
// else (a plain table, an object of another class) is no object, so that a member never runs on an object of
// the wrong type.
inline const lua_NativeBlock* LuaScriptManager::SelfBlock(lua_State* thread, const void* classKey)
{
    if (lua_type(thread, 1) != LUA_TTABLE)
        return nullptr;
    const auto* block = static_cast<const lua_NativeBlock*>(lua_topointer(thread, 1));
    if (block->word[0] != ObjectTableMagic)
        return nullptr;
    const auto* object = reinterpret_cast<const ScriptObject*>(block->word[1]);
    if (classKey != nullptr && (object->binding == nullptr || object->binding->classKey != classKey))
        return nullptr;
    return block;
}

// Most calls leave nothing behind: no texts, no error, no result of a run, no coroutine's thread to let go.
inline bool LuaScriptManager::HasLeftovers(uint32_t depth) const
{
    return mPendingStrings.Length() != 0 || !mPendingError.IsEmpty() || mResultLeft != 0 ||
           mCallStack.items[depth - 1].anchored;
}

inline bool LuaScriptManager::EndCall(CallFrame& frame)
{
    uint32_t depth = mCallStack.Length();
    if (depth == 0 || HasLeftovers(depth))
        return EndCallWithLeftovers(frame);
    frame = mCallStack.Pop();
    mLuaState = frame.caller;
    return true;
}

ZELTO_HOT_INLINE int LuaScriptManager::RunMemberIn(CallFrame& frame, ScriptHostFunction function,
                                                   const ScriptClassCheck* check)
{
    if (function == nullptr)
    {
        SetError(u"Internal Error : function empty");
        return Return();
    }
    const lua_NativeBlock* selfBlock = SelfBlock(frame.thread, frame.classKey);
    auto* self = selfBlock != nullptr ? reinterpret_cast<ScriptObject*>(selfBlock->word[1]) : nullptr;
    if (self == nullptr || (check != nullptr && typeid(*self) != *check->exact && !check->derived(*self)))
        return Return(); // called without an object of its class: no effect, no error
    frame.self = self;   // from now on the arguments are counted after the object
    frame.selfBlock = selfBlock;
    if (mProfiling)
        ProfileEnterNative(reinterpret_cast<const void*>(function));
    self->callState = 2;
    int32_t results = function(*this, *self);
    if (NamesObject(selfBlock, self)) // the member may have destroyed its object
        self->callState = 0;
    if (mProfiling)
        ProfileLeaveNative();
    return results;
}

ZELTO_HOT_FLATTEN int LuaScriptManager::CallMember(lua_State* thread, ScriptHostFunction function,
                                                   const ScriptClassCheck& check)
{
    return RunMemberIn(OpenFrame(thread, nullptr), function, &check);
}

int LuaScriptManager::RunMember(ScriptHostFunction function)
{
    return RunMemberIn(mCallStack.Top(), function, nullptr);
}

ScriptObject* LuaScriptManager::GetSelf(const void* unused, int32_t queryOnly)
{
    uint32_t depth = mCallStack.Length();
    if (depth == 0 && queryOnly == 0)
        return nullptr;
    lua_State* thread = depth != 0 ? mCallStack.Top().thread : mLuaState;
    const lua_NativeBlock* selfBlock = SelfBlock(thread, depth != 0 ? mCallStack.Top().classKey : nullptr);
    ScriptObject* self = selfBlock != nullptr ? reinterpret_cast<ScriptObject*>(selfBlock->word[1]) : nullptr;
    if (queryOnly == 0)
    {
        // From now on the arguments are counted after the object.
        mCallStack.Top().self = self;
        mCallStack.Top().selfBlock = selfBlock;
    }
    return self;
}

int LuaScriptManager::ArgumentIndex(int32_t argument, lua_State*& thread)
{
    int index = ArgumentSlot(argument, thread);
    return index != 0 && index <= lua_gettop(thread) ? index : 0;
}

int32_t LuaScriptManager::GetArgCount()
{
    if (mCallStack.Length() == 0)
        return lua_gettop(mLuaState);
    const CallFrame& frame = mCallStack.Top();
    int count = lua_gettop(frame.thread);
    return frame.self != nullptr ? count - 1 : count;
}

// -- Call frames that an error ended

// A host function that raises a script error of its own skips the end of its call, and its frame stays open.
// A protected call of the manager closes such frames when it returns; a script's pcall or a coroutine's
// resume that caught the error does not, and the script goes on. The next call then finds frames above it
// that belong to no running function: those on a thread that is dead, suspended or not in a call. (A frame of
// the same thread that a pcall abandoned cannot be told from a running one; it waits for the protected call.)
void LuaScriptManager::DropAbandonedCalls(lua_State* thread)
{
    while (mCallStack.Length() != 0)
    {
        lua_State* frameThread = mCallStack.Top().thread;
        lua_Debug activation;
        if (frameThread == thread ||
            (lua_status(frameThread) == 0 && lua_getstack(frameThread, 0, &activation) != 0))
            return;
        mLuaState = PopFrame().caller;
    }
}

// A coroutine that ends with an error may be collected while the frame of its call is still open (above); the
// frame keeps it, so that what it names stays valid until the frame is gone. A state's main thread lives as
// long as the state.
bool LuaScriptManager::AnchorThread(lua_State* thread, uint32_t depth)
{
    if (lua_pushthread(thread) != 0)
    {
        lua_pop(thread, 1);
        return false;
    }
    PushCallThreads(thread);
    lua_insert(thread, -2);
    lua_rawseti(thread, -2, int(depth));
    lua_pop(thread, 1);
    return true;
}

void LuaScriptManager::ReleaseThread(lua_State* thread, uint32_t depth)
{
    PushCallThreads(thread);
    lua_pushnil(thread);
    lua_rawseti(thread, -2, int(depth));
    lua_pop(thread, 1);
}

// The top frame goes, and with it what belongs to its call: its texts, its pending error, the result a run
// left for it and the anchor of its thread.
LuaScriptManager::CallFrame LuaScriptManager::PopFrame()
{
    uint32_t depth = mCallStack.Length();
    if (mPendingStrings.Length() != 0)
        ReleasePendingStrings(int32_t(depth));
    if (!mPendingError.IsEmpty() && mPendingErrorDepth >= depth)
        mPendingError = String();
    if (mResultLeft > int32_t(depth))
        mResultLeft = 0;
    CallFrame frame = mCallStack.Pop();
    if (frame.anchored)
        ReleaseThread(frame.thread, depth);
    return frame;
}

// -- Arguments

bool LuaScriptManager::GetArgBool(int32_t argument)
{
    lua_State* thread = nullptr;
    int index = ArgumentSlot(argument, thread);
    return index != 0 && lua_toboolean(thread, index) != 0;
}

ScriptObject* LuaScriptManager::GetArgObject(int32_t argument)
{
    lua_State* thread = nullptr;
    int index = ArgumentIndex(argument, thread);
    return index != 0 ? ObjectNamedBy(thread, index) : nullptr;
}

// The readers of whole values work on the current thread: during the read it is the call's own (the host
// function may have switched states since its call began).
Variable& LuaScriptManager::GetArgVariable(Variable& out, int32_t argument)
{
    lua_State* thread = nullptr;
    if (int index = ArgumentIndex(argument, thread))
    {
        lua_State* current = mLuaState;
        mLuaState = thread;
        ReadVariable(out, index);
        mLuaState = current;
    }
    return out;
}

void LuaScriptManager::GetArgString(const char16_t** out, int32_t argument)
{
    if (out == nullptr)
        return;
    *out = u"";
    lua_State* thread = nullptr;
    int index = ArgumentIndex(argument, thread);
    if (index == 0)
        return;
    if (mFreeBuffers.Length() == 0)
    {
        auto* fresh = static_cast<char16_t*>(Memory::Alloc(TextBufferUnits * sizeof(char16_t)));
        if (fresh != nullptr && !mFreeBuffers.Push(fresh))
            Memory::Free(fresh);
    }
    char16_t* buffer = mFreeBuffers.Length() != 0 ? mFreeBuffers.Front() : nullptr;
    lua_State* current = mLuaState;
    mLuaState = thread;
    char16_t* text = ToWideText(index, buffer, buffer != nullptr ? TextBufferUnits : 0);
    mLuaState = current;
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

bool LuaScriptManager::PendingErrorOfTopCall() const
{
    return !mPendingError.IsEmpty() && mCallStack.Length() != 0 && mPendingErrorDepth == mCallStack.Length();
}

bool LuaScriptManager::EndCallWithLeftovers(CallFrame& frame)
{
    if (mCallStack.Length() == 0)
    {
        frame = CallFrame{nullptr, nullptr, mLuaState, mLuaState, nullptr, 0};
        return false;
    }
    String error;
    if (PendingErrorOfTopCall())
        error = mPendingError;
    frame = PopFrame();
    mLuaState = frame.caller;
    if (error.IsEmpty())
        return true;

    lua_State* thread = frame.thread;
    luaL_where(thread, 1);
    {
        std::string text = StringToUtf8(error.Text());
        lua_pushlstring(thread, text.data(), text.size());
    }
    error = String(); // nothing may be left to free: the error does not return
    lua_concat(thread, 2);
    lua_error(thread);
    return true;
}

// After a protected call: native calls that a script error unwound without their end (a host function that
// raised an error of its own) are closed here, their texts freed, and `state` is current again.
void LuaScriptManager::AbandonCalls(uint32_t depth, lua_State* state)
{
    while (mCallStack.Length() > depth)
        PopFrame();
    ReleasePendingStrings(int32_t(depth) + 1);
    mLuaState = state;
    mEntryThread = nullptr;
    mEntryRecord = nullptr;
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

// An error belongs to the open call, which raises it when it ends; with no call open there is none to fail
// (a failed run outside any call, say, leaves nothing for the next call).
void LuaScriptManager::SetError(const char16_t* text)
{
    if (mCallStack.Length() == 0)
        return;
    mPendingError.Assign(text != nullptr ? text : u"");
    mPendingErrorDepth = mCallStack.Length();
}

ZELTO_HOT_FLATTEN int32_t LuaScriptManager::Return()
{
    // The first argument is the self object's table; while the object is bound, that table still names it.
    // Methods without a value answer their object, so that calls chain.
    uint32_t depth = mCallStack.Length();
    if (depth != 0 && !HasLeftovers(depth))
    {
        const CallFrame& top = mCallStack.items[depth - 1];
        lua_State* thread = top.thread;
        bool answersObject = top.self != nullptr && NamesObject(top.selfBlock, top.self);
        mLuaState = top.caller;
        mCallStack.Pop();
        if (!answersObject)
            return 0;
        lua_settop(thread, 1); // the call is over: its arguments may go, and the object is on top
        return 1;
    }
    bool resultLeft = mResultLeft != 0 && mResultLeft == int32_t(depth) + 1;
    CallFrame frame;
    if (!EndCall(frame))
        return 0;
    if (frame.self != nullptr && NamesObject(frame.selfBlock, frame.self))
    {
        lua_settop(frame.thread, 1);
        return 1;
    }
    return resultLeft ? 1 : 0; // what a run left on the call's thread
}

// Ends the call, then `push` gives the script its one result on the thread the call ran on.
template <typename Push> int32_t LuaScriptManager::ReturnWith(Push push)
{
    CallFrame frame;
    if (!EndCall(frame))
        return 0;
    mLuaState = frame.thread;
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
    if (mCallStack.Length() == 0 || PendingErrorOfTopCall())
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
