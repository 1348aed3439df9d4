// The script manager: the engine's one gateway to the script interpreter. Host code compiles, runs and calls
// scripts, reads and writes script fields, binds host classes and objects and profiles calls through this
// interface only; values cross it as Variables and texts as UTF-16, names of fields, classes and functions as
// UTF-8. The operations are in a fixed order, as their slots are the interface. There is no virtual
// destructor: Release ends the manager.
#pragma once

#include "Common/Array.h"
#include "Common/DataBuffer.h"
#include "Common/Variable.h"

#include <cstdint>

struct lua_State;

namespace Zelto
{

class ScriptObject; // the base of every host object visible to scripts
struct ConfigNode;  // a table of compiled configuration data

using ScriptErrorHandler = int32_t (*)(const char16_t* text); // sees every recorded script error
using ScriptTrampoline = int (*)(lua_State* state);           // the native function a script calls

class IScriptManager
{
public:
    // -- Life, states and compiling/running (slots 0-14)
    virtual void Release() = 0;
    virtual void SetErrorHandler(ScriptErrorHandler handler) = 0;
    virtual int32_t CreateState(lua_State* existing) = 0; // the new state's index; -1 when none was made
    virtual bool SwitchState(int32_t index) = 0;
    virtual int32_t GetScriptType() = 0; // 2
    virtual lua_State* GetLuaState() = 0;
    virtual void Start() = 0;
    virtual void Shutdown() = 0;
    virtual void* GetNativeHandle() = 0;                     // the current state
    virtual int32_t CompileString(const char16_t* text) = 0; // a registry reference to the chunk; 0 on error
    virtual int32_t CompileBuffer(const DataBuffer& buffer) = 0;
    virtual int32_t CompileFile(const char16_t* path) = 0;
    // wantResult 0: the result is dropped; 1: it is converted into `out`; other: it stays on the script stack
    // for the running native call to return.
    virtual Variable& RunString(Variable& out, const char16_t* text, const char16_t* chunkName,
                                int32_t wantResult) = 0;
    virtual Variable& RunBuffer(Variable& out, const DataBuffer& buffer, int32_t wantResult) = 0;
    virtual Variable& RunFile(Variable& out, const char16_t* path, int32_t wantResult) = 0;

    // -- Fields of an object's table, or globals without an object (slots 15-18)
    virtual void SetField(ScriptObject* object, const char* name, const Variable& value) = 0;
    virtual void SetFieldWide(ScriptObject* object, const char16_t* name, const Variable& value) = 0;
    virtual Variable& GetField(Variable& out, ScriptObject* object, const char* name) = 0;
    virtual Variable& GetFieldWide(Variable& out, ScriptObject* object, const char16_t* name) = 0;

    // -- Classes and objects (slots 19-36)
    virtual void BeginClass(const char* name, ScriptTrampoline constructor) = 0;
    virtual void EndClass() = 0;
    virtual void RegisterFunction(const char* name, const void* functionSlot, ScriptTrampoline trampoline,
                                  bool intoClassTable) = 0;
    virtual void RegisterProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                                  const void* setterSlot, ScriptTrampoline setter, const void* unused) = 0;
    virtual void RegisterReadOnlyProperty(const char* name, const void* getterSlot, ScriptTrampoline getter,
                                          const void* unused) = 0;
    virtual void RegisterConstant(const char* name, const Variable& value, const void* unused,
                                  bool intoClassTable) = 0;
    virtual void CreateGlobalObject(const char* globalName, const char* className) = 0;
    virtual ScriptObject* BindObject(const char* className, ScriptObject* object, int32_t ownTable) = 0;
    virtual void UnbindObject(ScriptObject* object) = 0;
    virtual ScriptObject* AttachObject(ScriptObject* owner, ScriptObject* child) = 0;
    virtual ScriptObject* HoldObject(ScriptObject* object) = 0;
    virtual void DetachObject(ScriptObject* owner, ScriptObject* child) = 0;
    virtual void ReleaseObject(ScriptObject* object) = 0;
    virtual ScriptObject* LockObject(ScriptObject* object) = 0;
    virtual void UnlockObject(ScriptObject* object) = 0;
    virtual ScriptObject* GetSelf(const void* unused, int32_t queryOnly) = 0;
    virtual void* BeginCall(void* function, const void* unused1, const void* unused2,
                            const void* unused3) = 0;
    virtual int32_t QueryReserved(const void* unused) = 0; // 0

    // -- Script callbacks kept by the host (slots 37-42)
    virtual int32_t CreateFunctionRef(const void* functionSlot, ScriptTrampoline trampoline) = 0;
    virtual int32_t StoreArgFunction(ScriptObject* object, int32_t key, int32_t argument) = 0;
    virtual int32_t RefArgFunction(int32_t argument) = 0;
    virtual void ClearStoredFunction(ScriptObject* object, int32_t* key) = 0;
    virtual void ReleaseFunctionRef(int32_t* reference) = 0;
    virtual int32_t StoreFunctionRef(ScriptObject* object, int32_t key, int32_t reference) = 0;

    // -- Arguments of the running native call, counted from 0 after the self object (slots 43-58)
    virtual int32_t GetArgCount() = 0;
    virtual bool GetArgBool(int32_t argument) = 0;
    virtual char16_t GetArgWChar(int32_t argument) = 0;
    virtual int8_t GetArgInt8(int32_t argument) = 0;
    virtual int16_t GetArgInt16(int32_t argument) = 0;
    virtual int32_t GetArgInt32(int32_t argument) = 0;
    virtual int64_t GetArgInt64(int32_t argument) = 0;
    virtual uint8_t GetArgUInt8(int32_t argument) = 0;
    virtual uint16_t GetArgUInt16(int32_t argument) = 0;
    virtual uint32_t GetArgUInt32(int32_t argument) = 0;
    virtual uint64_t GetArgUInt64(int32_t argument) = 0;
    virtual float GetArgFloat(int32_t argument) = 0;
    virtual double GetArgDouble(int32_t argument) = 0;
    virtual void GetArgString(const char16_t** out, int32_t argument) = 0; // valid until the call ends
    virtual ScriptObject* GetArgObject(int32_t argument) = 0;
    virtual Variable& GetArgVariable(Variable& out, int32_t argument) = 0;

    // -- Ending the running native call; each answers the script's result count (slots 59-75)
    virtual int32_t ReturnVariable(const Variable& value) = 0;
    virtual int32_t Return() = 0;
    virtual int32_t ReturnBool(bool value) = 0;
    virtual int32_t ReturnWChar(char16_t value) = 0;
    virtual int32_t ReturnInt8(int8_t value) = 0;
    virtual int32_t ReturnInt16(int16_t value) = 0;
    virtual int32_t ReturnInt32(int32_t value) = 0;
    virtual int32_t ReturnInt64(int64_t value) = 0;
    virtual int32_t ReturnUInt8(uint8_t value) = 0;
    virtual int32_t ReturnUInt16(uint16_t value) = 0;
    virtual int32_t ReturnUInt32(uint32_t value) = 0;
    virtual int32_t ReturnUInt64(uint64_t value) = 0;
    virtual int32_t ReturnFloat(float value) = 0;
    virtual int32_t ReturnDouble(double value) = 0;
    virtual int32_t ReturnString(const char16_t* value) = 0;
    virtual int32_t ReturnObject(ScriptObject* object) = 0;
    virtual void SetError(const char16_t* text) = 0; // raised in the script when the running call ends

    // -- Calling script functions: a registry reference, or an object's stored callback key (slots 76-78)
    virtual Variable& CallFunctionArray(Variable& out, ScriptObject* object, int32_t reference,
                                        const Array<Variable>& arguments) = 0;
    virtual Variable& CallFunctionOne(Variable& out, ScriptObject* object, int32_t reference,
                                      const Variable& argument) = 0;
    virtual Variable& CallFunction(Variable& out, ScriptObject* object, int32_t reference) = 0;

    // -- Profiling and allocation statistics (slots 79-86)
    virtual void EnableProfiling(bool on) = 0;
    virtual void DumpProfile() = 0;
    virtual void SetCostThreshold(int32_t milliseconds) = 0;
    virtual int32_t GetCostThreshold() = 0;
    virtual int32_t IsProfiling() = 0;
    virtual void ProfileEnterNative(const void* function) = 0;
    virtual void ProfileLeaveNative() = 0;
    virtual void TrackAllocations(int32_t threshold) = 0;

    // -- Errors, collection and configuration data (slots 87-90)
    virtual int32_t NotifyErrorHandler(const char16_t* text) = 0; // the handler's answer, 0 without one
    virtual void GetLastErrorText(const char16_t** out) = 0;      // "" when the last operation succeeded
    virtual void CollectGarbage() = 0;
    virtual void SaveConfig(ConfigNode* node, const char16_t* name, const char16_t* path) = 0;

protected:
    ~IScriptManager() = default;
};

// The process's one script manager, made on first use; null when it cannot be made.
IScriptManager* GetScriptManager();

} // namespace Zelto
