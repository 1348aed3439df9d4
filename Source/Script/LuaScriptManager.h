// The script manager over LuaJIT. Every operation works on the current state; each state has three tables in
// its registry for the binding of host objects (objects, anchors, the classes' default metatable).
#pragma once

#include "Common/Assert.h"
#include "Common/HashTable.h"
#include "Common/Queue.h"
#include "Common/Stack.h"
#include "Common/String.h"
#include "Source/Script/IScriptManager.h"
#include "Source/Script/ProfileRecords.h"

#include <cstddef>
#include <cstdint>

struct lua_Debug;
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

// A property's setter sits in the class metatable under its getter's key with this bit set. Getter keys are
// addresses of interned strings and native blocks, aligned to at least four bytes, so the low bit is free on
// every target; a high bit such as bit 31 may already be set in a getter's key on 64-bit targets (and on
// 32-bit ones above 2 GB), which would put the setter in the getter's place.
constexpr uintptr_t PropertySetterBit = 1;

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
    char16_t GetArgWChar(int32_t argument) override;
    int8_t GetArgInt8(int32_t argument) override;
    int16_t GetArgInt16(int32_t argument) override;
    int32_t GetArgInt32(int32_t argument) override;
    int64_t GetArgInt64(int32_t argument) override;
    uint8_t GetArgUInt8(int32_t argument) override;
    uint16_t GetArgUInt16(int32_t argument) override;
    uint32_t GetArgUInt32(int32_t argument) override;
    uint64_t GetArgUInt64(int32_t argument) override;
    float GetArgFloat(int32_t argument) override;
    double GetArgDouble(int32_t argument) override;
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
    void PushVariable(const Variable& variable, ScriptObject* owner);
    void ReadVariable(Variable& variable, int index); // by the script type when `variable` has type 0
    // The value as text in `buffer` (`capacity` units with the terminator), or in a Memory block when it
    // does not fit; null only when out of memory.
    char16_t* ToWideText(int index, char16_t* buffer, uint32_t capacity);
    String ToWideString(int index);
    // Host functions are timed only when they got a record at registration, made here while profiling is on.
    void AddNativeProfileRecord(const void* function, const String& name);
    ScriptObject* NamedObject(int index);       // the host object a table's native block names, or null
    void PushObjectTable(ScriptObject* object); // its object table, or nil
    void PushObject(ScriptObject* object);      // to a script: its table, which then owns the object
    // BeginCall for a trampoline that knows the thread it runs on: the call works on that thread until it
    // ends, also when a coroutine made it.
    void* BeginCallIn(lua_State* thread, void* function);

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
        lua_State* caller;                // current before the call: the call may run on a coroutine's thread
    };
    struct PendingString
    {
        char16_t* text;
        int32_t depth;      // the call depth that read it
        int32_t bufferMark; // 1024: a recyclable buffer; 0: an exact allocation
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
    void ForgetObjectTables(const StateRecord& record); // before the state closes
    // Closes the running native call: frees its texts, pops its frame into `frame` and raises the pending
    // error, if any, in the script. False when no call was open.
    bool EndCall(CallFrame& frame);
    void AbandonCalls(uint32_t depth, lua_State* state); // after an error: calls above `depth` are gone
    void ReleasePendingStrings(int32_t depth);           // the texts handed out at `depth` and deeper
    int ArgumentIndex(int32_t argument); // the stack position of a native call's argument, 0 when none
    // The same, possibly beyond the stack (where readers find nil). Inline: every argument read asks it.
    int ArgumentSlot(int32_t argument)
    {
        if (mCallStack.Length() == 0 || argument < 0)
            return 0;
        return argument + 1 + (mCallStack.Top().self != nullptr ? 1 : 0);
    }
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
    void UnwindProfile();                      // after a protected call: closes the frames it left open
    void ProfileLeave(bool native);            // closes the top profile record
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
    Stack<ProfileRecord*> mProfStack; // null entries mark where a protected call began
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
    int32_t mResultLeft = 0; // a run left its result on the stack for the running native call
    int32_t mReaping = 0;    // the collector is deleting objects: their unbinding must not touch the state
    String mLastError;
    String mPendingError;
};

} // namespace Zelto
