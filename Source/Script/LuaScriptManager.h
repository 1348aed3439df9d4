// The script manager over LuaJIT. Every operation works on the current state; each state has three tables in
// its registry for the binding of host objects (objects, anchors, the classes' default metatable).
#pragma once

#include "Common/Assert.h"
#include "Common/HashTable.h"
#include "Common/NumberCast.h"
#include "Common/Queue.h"
#include "Common/Stack.h"
#include "Common/String.h"
#include "Source/Script/IScriptManager.h"
#include "Source/Script/ProfileRecords.h"

#include <lua.hpp>

#include <cstddef>
#include <cstdint>
#include <typeinfo>

struct lua_NativeBlock;

namespace Zelto
{

// Assertion reports of the manager name this source, whichever of its files checks (ZELTO_CHECK quotes its
// expression as written, so the expressions are given to it directly).
#define ZELTO_SCRIPT_SOURCE "Source/Script/LuaScriptManager"

// The first word of an object table's native block; the second is the host object's address.
constexpr uintptr_t ObjectTableMagic = 0x00545053; // "SPT"

// The host object the native block of the table at `index` names, or null (also for what is not a table).
ScriptObject* ObjectNamedBy(lua_State* state, int index);
// The native block still names the object: the object was neither destroyed nor unbound since. (A native
// block is two words; read here as such, so that this header needs no interpreter header.)
inline bool NamesObject(const lua_NativeBlock* block, const ScriptObject* object)
{
    const auto* word = reinterpret_cast<const uintptr_t*>(block);
    return word != nullptr && word[0] == ObjectTableMagic && word[1] == reinterpret_cast<uintptr_t>(object);
}

// A property's setter sits in the class metatable under its getter's key with this bit set. Getter keys are
// addresses of interned strings and native blocks, aligned to at least four bytes, so the low bit is free on
// every target; a high bit such as bit 31 may already be set in a getter's key on 64-bit targets (and on
// 32-bit ones above 2 GB), which would put the setter in the getter's place.
constexpr uintptr_t PropertySetterBit = 1;

// What a host closure keeps as its one upvalue, so that a call finds it with one read: the host function, the
// trampoline it was registered with, and the class it was registered in (the native block of the class
// metatable, null outside a class). A method runs only on objects of that class.
struct HostFunctionRecord
{
    const void* function;
    ScriptTrampoline trampoline;
    const void* classKey;
};

class LuaScriptManager;

// A host function of a declared class (ScriptClass.h): runs one member on the call's self object. It works on
// the manager's own class, so that the protocol's operations are direct calls, not virtual ones.
using ScriptHostFunction = int32_t (*)(LuaScriptManager& manager, ScriptObject& self);

// The host class a declared member belongs to: an object is of it when its exact class is `exact` (one
// comparison) or when `derived` accepts it.
struct ScriptClassCheck
{
    const std::type_info* exact;
    bool (*derived)(const ScriptObject& object);
};

class LuaScriptManager final : public IScriptManager
{
public:
    static LuaScriptManager* Instance() { return instance; } // null until GetScriptManager made one
    static LuaScriptManager* Make();                         // the manager with state 0 current, or null

    void Release() override;
    void SetErrorHandler(ScriptErrorHandler handler) override { mErrorHandler = handler; }
    int32_t CreateState(lua_State* existing) override;
    bool SwitchState(int32_t index) override;
    int32_t GetScriptType() override { return 2; }
    lua_State* GetLuaState() override { return mLuaState; }
    void Start() override {}
    void Shutdown() override {}
    void* GetNativeHandle() override { return mLuaState; }
    int32_t CompileString(const char16_t* text) override;
    int32_t CompileBuffer(const DataBuffer& buffer) override;
    int32_t CompileFile(const char16_t* path) override;
    Variable& RunString(Variable& out, const char16_t* text, const char16_t* chunkName,
                        int32_t wantResult) override;
    Variable& RunBuffer(Variable& out, const DataBuffer& buffer, int32_t wantResult) override;
    Variable& RunFile(Variable& out, const char16_t* path, int32_t wantResult) override;

    void SetField(ScriptObject* object, const char* name, const Variable& value) override;
    void SetFieldWide(ScriptObject* object, const char16_t* name, const Variable& value) override;
    Variable& GetField(Variable& out, ScriptObject* object, const char* name) override;
    Variable& GetFieldWide(Variable& out, ScriptObject* object, const char16_t* name) override;

    void BeginClass(const char* name, ScriptTrampoline constructor) override;
    void EndClass() override;
    void RegisterFunction(const char* name, const void* functionSlot, ScriptTrampoline trampoline,
                          bool intoClassTable) override;
    void RegisterProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                          const void* setterSlot, ScriptTrampoline setter, const void* unused) override;
    void RegisterReadOnlyProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                                  const void* unused) override;
    void RegisterConstant(const char* name, const Variable& value, const void* unused,
                          bool intoClassTable) override;
    void CreateGlobalObject(const char* globalName, const char* className) override;
    ScriptObject* BindObject(const char* className, ScriptObject* object, int32_t ownTable) override;
    void UnbindObject(ScriptObject* object) override;
    ScriptObject* AttachObject(ScriptObject* owner, ScriptObject* child) override;
    ScriptObject* HoldObject(ScriptObject* object) override;
    void DetachObject(ScriptObject* owner, ScriptObject* child) override;
    void ReleaseObject(ScriptObject* object) override;
    ScriptObject* LockObject(ScriptObject* object) override;
    void UnlockObject(ScriptObject* object) override;
    ScriptObject* GetSelf(const void* unused, int32_t queryOnly) override;
    void* BeginCall(void* function, const void* unused1, const void* unused2, const void* unused3) override;
    int32_t QueryReserved(const void* unused) override { return 0; }

    int32_t CreateFunctionRef(const void* functionSlot, ScriptTrampoline trampoline) override;
    int32_t StoreArgFunction(ScriptObject* object, int32_t key, int32_t argument) override;
    int32_t RefArgFunction(int32_t argument) override;
    void ClearStoredFunction(ScriptObject* object, int32_t* key) override;
    void ReleaseFunctionRef(int32_t* reference) override;
    int32_t StoreFunctionRef(ScriptObject* object, int32_t key, int32_t reference) override;

    int32_t GetArgCount() override;
    bool GetArgBool(int32_t argument) override;
    // Numbers are read from slots that may lie beyond the stack: the interpreter answers 0 there, as for any
    // value that is no number. The narrow integer kinds round to the nearest integer (halves to even); the
    // wide ones truncate; numeric texts convert. Inline: the declared classes' members read through them.
    char16_t GetArgWChar(int32_t argument) override
    {
        return char16_t(RoundToInt64(ArgumentNumber(argument)));
    }
    int8_t GetArgInt8(int32_t argument) override { return int8_t(RoundToInt64(ArgumentNumber(argument))); }
    int16_t GetArgInt16(int32_t argument) override { return int16_t(RoundToInt64(ArgumentNumber(argument))); }
    int32_t GetArgInt32(int32_t argument) override { return int32_t(RoundToInt64(ArgumentNumber(argument))); }
    int64_t GetArgInt64(int32_t argument) override { return TruncateToInt64(ArgumentNumber(argument)); }
    uint8_t GetArgUInt8(int32_t argument) override { return uint8_t(RoundToInt64(ArgumentNumber(argument))); }
    uint16_t GetArgUInt16(int32_t argument) override
    {
        return uint16_t(RoundToInt64(ArgumentNumber(argument)));
    }
    uint32_t GetArgUInt32(int32_t argument) override
    {
        return uint32_t(GetArgInt64(argument));
    } // -1: 0xFFFFFFFF
    uint64_t GetArgUInt64(int32_t argument) override { return TruncateToUInt64(ArgumentNumber(argument)); }
    float GetArgFloat(int32_t argument) override { return float(ArgumentNumber(argument)); }
    double GetArgDouble(int32_t argument) override { return ArgumentNumber(argument); }
    void GetArgString(const char16_t** out, int32_t argument) override;
    ScriptObject* GetArgObject(int32_t argument) override;
    Variable& GetArgVariable(Variable& out, int32_t argument) override;

    int32_t ReturnVariable(const Variable& value) override;
    int32_t Return() override;
    int32_t ReturnBool(bool value) override;
    int32_t ReturnWChar(char16_t value) override;
    int32_t ReturnInt8(int8_t value) override;
    int32_t ReturnInt16(int16_t value) override;
    int32_t ReturnInt32(int32_t value) override;
    int32_t ReturnInt64(int64_t value) override;
    int32_t ReturnUInt8(uint8_t value) override;
    int32_t ReturnUInt16(uint16_t value) override;
    int32_t ReturnUInt32(uint32_t value) override;
    int32_t ReturnUInt64(uint64_t value) override;
    int32_t ReturnFloat(float value) override;
    int32_t ReturnDouble(double value) override;
    int32_t ReturnString(const char16_t* value) override;
    int32_t ReturnObject(ScriptObject* object) override;
    void SetError(const char16_t* text) override;

    Variable& CallFunctionArray(Variable& out, ScriptObject* object, int32_t reference,
                                const Array<Variable>& arguments) override;
    Variable& CallFunctionOne(Variable& out, ScriptObject* object, int32_t reference,
                              const Variable& argument) override;
    Variable& CallFunction(Variable& out, ScriptObject* object, int32_t reference) override;

    void EnableProfiling(bool on) override;
    void DumpProfile() override;
    void SetCostThreshold(int32_t milliseconds) override { mCostThreshold = milliseconds; }
    int32_t GetCostThreshold() override { return mCostThreshold; }
    int32_t IsProfiling() override { return mProfiling; }
    void ProfileEnterNative(const void* function) override;
    void ProfileLeaveNative() override;
    void TrackAllocations(int32_t threshold) override;

    int32_t NotifyErrorHandler(const char16_t* text) override;
    void GetLastErrorText(const char16_t** out) override { *out = mLastError.Text(); }
    void CollectGarbage() override;
    void SaveConfig(ConfigNode* node, const char16_t* name, const char16_t* path) override;

    // -- Shared by the manager's parts
    bool HasResultLeft() const { return mResultLeft != 0; } // a run left its result for the running call
    int ProtectedCall(int argumentCount); // the function and its arguments on top; leaves one value
    bool HandleStatus(int status);        // records (and pops) the error of a failed load or call
    void LogLastError();                  // the trace log, and the error log unless both are one sink
    // While the collector deletes objects it must not be entered again: no run, call, compiling, binding or
    // collection then (logged as `what`).
    bool RefusedWhileReaping(const char16_t* what);
    void PushVariable(const Variable& variable, ScriptObject* owner);
    void ReadVariable(Variable& variable, int index); // by the script type when `variable` has type 0
    // The value as text in `buffer` (`capacity` units with the terminator), or in a Memory block when it
    // does not fit; null only when out of memory. Neither changes the value: a number stays a number.
    char16_t* ToWideText(int index, char16_t* buffer, uint32_t capacity);
    String ToWideString(int index);
    // Host functions are timed only when they got a record at registration, made here while profiling is on.
    void AddNativeProfileRecord(const void* function, const String& name);
    ScriptObject* NamedObject(int index);       // the host object a table's native block names, or null
    void PushObjectTable(ScriptObject* object); // its object table, or nil
    void PushObject(ScriptObject* object);      // to a script: its table, which then owns the object
    // BeginCall for a trampoline that knows the thread it runs on: the call works on that thread until it
    // ends, also when a coroutine made it. `classKey`, when given, is the class the self object must be of.
    // Returns `function`; a frame that cannot be had (out of memory) fails the call with a script error.
    void* BeginCallIn(lua_State* thread, void* function, const void* classKey = nullptr);
    // A declared member's trampoline (ScriptClass.h): one call of `function` on the object table in argument
    // 1, when it names an object of the class `check` describes.
    int CallMember(lua_State* thread, ScriptHostFunction function, const ScriptClassCheck& check);
    // The same in a call opened by BeginCall, for an object of the call's class.
    int RunMember(ScriptHostFunction function);
    // While on, registered trampolines are the declared members' own, which know the thread they run on:
    // their closures keep the host function alone, as light pointer. Otherwise EnterHostFunction enters them.
    void DeclareOwnTrampolines(bool on) { mOwnTrampolines = on ? 1 : 0; }

private:
    LuaScriptManager();
    ~LuaScriptManager();

    struct StateRecord
    {
        lua_State* state;
        int32_t objectsRef;   // host object address -> object table, weak values
        int32_t anchorsRef;   // the same, strong: keeps fresh objects until a script receives them
        int32_t metatableRef; // the default metatable of class tables
        int32_t owned;        // 1: made here, closed at destruction
    };
    struct CallFrame
    {
        ScriptObject* self;               // null until GetSelf found one
        const lua_NativeBlock* selfBlock; // the native block of the self object's table
        lua_State* thread;                // the thread the call runs on: its arguments and results are there
        lua_State* caller;                // current before the call: the call may run on a coroutine's thread
        const void* classKey;             // the class a self object must be of; null: any
        int32_t anchored;                 // 1: the thread, a coroutine, is kept alive while the frame is open
    };
    struct PendingString
    {
        char16_t* text;
        int32_t depth;      // the call depth that read it
        int32_t bufferMark; // 1024: a recyclable buffer; 0: an exact allocation
    };

    struct ProfileFrame
    {
        ProfileRecord* record; // null: where a protected call began
        lua_State* thread;     // the thread the function runs on
        int64_t start;         // the counter at entry
    };

    struct AllocationSite
    {
        int32_t total; // bytes: the sum of the size changes counted there
        int32_t count; // size changes counted there
    };

    struct TablePath; // the tables a conversion is inside

    static int TracebackHandler(lua_State* state);
    void ReadValue(Variable& variable, int index, TablePath& path);
    void ReadByScriptType(Variable& variable, int index, TablePath& path);
    void ReadTable(Variable& variable, int index, TablePath& path);
    static int AssignClassMember(lua_State* state);           // "__newindex" of the default metatable
    static void StoreAssignment(lua_State* state, int table); // table[argument 2] = argument 3, raw
    static int ReadInstance(lua_State* state);                // "__index" of class metatables
    static int WriteInstance(lua_State* state);               // "__newindex" of class metatables
    static int InstanceText(lua_State* state);                // "__tostring" of class metatables
    static int32_t ReapObject(lua_State* state, lua_NativeBlock* table, uintptr_t keyPayload, int keyType,
                              uintptr_t valuePayload, int valueType,
                              uint32_t flags); // objects' clear callback
    bool ClassMetatableOnTop();                // a class is open; reports what is wrong otherwise
    uintptr_t PropertyKey(const char* name);   // with the class metatable on top
    void SetAccessor(uintptr_t key, const void* functionSlot, ScriptTrampoline trampoline);
    void PushHostClosure(const void* functionSlot, ScriptTrampoline trampoline);
    static const void* HostFunctionIn(const void* functionSlot);
    void AddMemberProfileRecord(const void* function, const char* member, const char16_t* accessor);
    void ReleaseAnchor(ScriptObject* object);
    void ForgetObjectTables(const StateRecord& record); // before the manager lets the state go
    // Before the manager closes a state of its own: deletes the objects its scripts own.
    void DeleteScriptOwnedObjects(int32_t index);
    const StateRecord* RecordOf(lua_State* state) const; // the manager's record of a state, or null
    // Closes the running native call: frees its texts, pops its frame into `frame` and raises the pending
    // error, if any, in the script. False when no call was open.
    bool EndCall(CallFrame& frame);
    bool EndCallWithLeftovers(CallFrame& frame); // the same, for a call with texts, an error or an anchor
    bool HasLeftovers(uint32_t depth) const;     // of the call at `depth`, the top one
    CallFrame& OpenFrame(lua_State* thread, const void* classKey);
    const lua_NativeBlock* SelfBlock(lua_State* thread, const void* classKey); // of argument 1, or null
    int RunMemberIn(CallFrame& frame, ScriptHostFunction function, const ScriptClassCheck* check);
    void AbandonCalls(uint32_t depth, lua_State* state); // after an error: calls above `depth` are gone
    void DropAbandonedCalls(lua_State* thread);          // before a call on `thread`: those an error ended
    CallFrame PopFrame(); // the top frame, with its texts, its pending error and its anchor
    bool AnchorThread(lua_State* thread, uint32_t depth); // a coroutine's thread lives while its call is open
    void ReleaseThread(lua_State* thread, uint32_t depth);
    bool PendingErrorOfTopCall() const;              // SetError was called by the open call
    void ReleasePendingStrings(int32_t depth);       // the texts handed out at `depth` and deeper
    static int EnterHostFunction(lua_State* thread); // the closure of every trampoline registered by the host
    // The thread of the open call and the stack position of its argument, 0 when none.
    int ArgumentIndex(int32_t argument, lua_State*& thread);
    // The same, possibly beyond the stack (where readers find nil). Inline: every argument read asks it.
    int ArgumentSlot(int32_t argument, lua_State*& thread)
    {
        if (mCallStack.Length() == 0 || uint32_t(argument) > MaxArgument)
            return 0;
        const CallFrame& frame = mCallStack.Top();
        thread = frame.thread;
        return argument + 1 + (frame.self != nullptr ? 1 : 0);
    }
    double ArgumentNumber(int32_t argument) // 0 when none
    {
        lua_State* thread = nullptr;
        int index = ArgumentSlot(argument, thread);
        return index != 0 ? lua_tonumber(thread, index) : 0;
    }
    // No call has more arguments than a thread has stack slots (the interpreter's LUAI_MAXSTACK); beyond it a
    // position would overflow, and on 32-bit targets wrap around the address space.
    static constexpr uint32_t MaxArgument = 65500;
    template <typename Push> int32_t ReturnWith(Push push); // ends the call, `push` gives its result
    int32_t ReturnInteger(int64_t value);
    int32_t ReturnNumber(double value);
    bool StoreKeyed(ScriptObject* object, void* key); // objectTable[light key] = the value on top (popped)
    int32_t CompileSource(const char* source);        // UTF-8, up to its terminator
    bool FinishRun(Variable& out, int status, int32_t wantResult);
    Variable& Call(Variable& out, ScriptObject* object, int32_t reference, const Variable* arguments,
                   uint32_t count);
    bool PushFunction(ScriptObject* object, int32_t reference);       // false, with nothing pushed, if none
    void PushStoredCallback(ScriptObject* object, int32_t key);       // what the object keeps under the key
    static void ProfileHook(lua_State* state, lua_Debug* activation); // call and return events
    static void AllocationHook(ptrdiff_t sizeChange, const char* name, const char* source, int line);
    void UnwindProfile(); // after a protected call: drops the frames it left open
    // Closes the topmost open frame of the script function `record` on `thread`, or with a null record that
    // of a host function, with the frames an error abandoned above it.
    void ProfileLeave(lua_State* thread, const ProfileRecord* record);
    void LoadConfig(const DataBuffer& buffer); // a "LUC1" buffer
    void FreeConfigNodes();

    ScriptErrorHandler mErrorHandler = nullptr;
    Stack<ConfigNode*> mConfigNodes;
    Array<StateRecord> mStates;
    static inline LuaScriptManager* instance = nullptr; // the process's one manager
    lua_State* mLuaState = nullptr;
    int32_t mProfiling = 0;
    int32_t mCostThreshold = -1;
    ProfileRecords mProfileRecords;
    Stack<ProfileFrame> mProfStack; // open calls, newest on top
    int32_t mAllocationThreshold = -1;
    HashTable<AllocationSite> mAllocationSites{397}; // keyed by "source:line:function"
    Stack<CallFrame> mCallStack;                     // one entry per running native call
    Stack<PendingString> mPendingStrings;            // texts handed out by GetArgString, newest on top
    Queue<char16_t*> mFreeBuffers;                   // recycled 1024-unit text buffers
    char* mNarrowBuffer = nullptr;                   // 1024 bytes for ReturnString, made on first use
    const char* mClassName = nullptr;                // the class being registered
    int32_t mObjectsRef = 0; // the current state's tables, copied from its StateRecord
    int32_t mAnchorsRef = 0;
    int32_t mMetatableRef = 0;
    // A run left its result on the stack for the running native call: the call depth plus 1 at that time (the
    // result belongs to that call only), 0 when none.
    int32_t mResultLeft = 0;
    int32_t mReaping = 0; // the collector is deleting objects: their unbinding must not touch the state
    String mLastError;
    String mPendingError;              // raised when the call that set it ends
    uint32_t mPendingErrorDepth = 0;   // that call's depth
    lua_State* mEntryThread = nullptr; // told by EnterHostFunction to the BeginCall of its trampoline
    const HostFunctionRecord* mEntryRecord = nullptr;
    int32_t mOwnTrampolines = 0; // see DeclareOwnTrampolines
};

} // namespace Zelto
