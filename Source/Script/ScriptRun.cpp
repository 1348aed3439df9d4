// Compiling and running chunks, the protected call every run and call goes through, and script errors.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"

#include <lua.hpp>

#include <string>

namespace Zelto
{

namespace
{

bool IsConfigData(const DataBuffer& buffer)
{
    return buffer.Size() >= 4 && Memory::Compare(buffer.Data(), "LUC1", 4);
}

const char* Bytes(const DataBuffer& buffer)
{
    return buffer.Size() != 0 ? reinterpret_cast<const char*>(buffer.Data()) : "";
}

} // namespace

// -- Compiling: the chunk is kept in the registry and run later with CallFunction

int32_t LuaScriptManager::CompileString(const char16_t* text)
{
    return CompileSource(StringToUtf8(text).c_str());
}

int32_t LuaScriptManager::CompileBuffer(const DataBuffer& buffer)
{
    // With a terminator: compiling stops at the buffer's first zero byte.
    return CompileSource(std::string(Bytes(buffer), buffer.Size()).c_str());
}

int32_t LuaScriptManager::CompileSource(const char* source)
{
    if (RefusedWhileReaping(u"Compiling"))
        return 0;
    if (!HandleStatus(luaL_loadstring(mLuaState, source)))
    {
        LogLastError();
        return 0;
    }
    // The report quotes the expression exactly as written here.
    // clang-format off
    ZELTO_CHECK(lua_type( mLuaState, -1 ) == LUA_TFUNCTION, ZELTO_SCRIPT_SOURCE, __LINE__);
    // clang-format on
    return luaL_ref(mLuaState, LUA_REGISTRYINDEX);
}

int32_t LuaScriptManager::CompileFile(const char16_t* path)
{
    DataBuffer buffer;
    if (!LoadFile(buffer, path) || buffer.Size() == 0)
        return 0;
    return CompileBuffer(buffer);
}

// -- Running

Variable& LuaScriptManager::RunString(Variable& out, const char16_t* text, const char16_t* chunkName,
                                      int32_t wantResult)
{
    out.Clear();
    if (RefusedWhileReaping(u"A run"))
        return out;
    std::string source = StringToUtf8(text);
    std::string name = StringToUtf8(chunkName);
    int status = luaL_loadbuffer(mLuaState, source.data(), source.size(), name.c_str());
    if (status == 0)
        status = ProtectedCall(0);
    FinishRun(out, status, wantResult);
    return out;
}

Variable& LuaScriptManager::RunBuffer(Variable& out, const DataBuffer& buffer, int32_t wantResult)
{
    out.Clear();
    if (RefusedWhileReaping(u"A run"))
        return out;
    if (IsConfigData(buffer))
    {
        LoadConfig(buffer);
        return out;
    }
    std::string name = StringToUtf8(Format(u"@%ls", buffer.name.Text()).Text());
    int status = luaL_loadbuffer(mLuaState, Bytes(buffer), buffer.Size(), name.c_str());
    if (status == 0)
        status = ProtectedCall(0);
    // A script that caused this run through a native call learns of the error when that call ends.
    if (!FinishRun(out, status, wantResult))
        SetError(mLastError.Text());
    return out;
}

Variable& LuaScriptManager::RunFile(Variable& out, const char16_t* path, int32_t wantResult)
{
    out.Clear();
    DataBuffer buffer;
    if (!LoadFile(buffer, path) || buffer.Size() == 0)
        return out;
    return RunBuffer(out, buffer, wantResult);
}

bool LuaScriptManager::FinishRun(Variable& out, int status, int32_t wantResult)
{
    if (!HandleStatus(status))
    {
        LogLastError();
        return false;
    }
    if (wantResult == 0 || wantResult == 1)
    {
        if (wantResult == 1)
            ReadVariable(out, -1);
        lua_pop(mLuaState, 1);
    }
    else
        mResultLeft = int32_t(mCallStack.Length()) + 1; // for the running call only
    return true;
}

// -- The protected call and its error handler

int LuaScriptManager::ProtectedCall(int argumentCount)
{
    lua_State* state = mLuaState;
    uint32_t callDepth = mCallStack.Length();
    int function = lua_gettop(state) - argumentCount;
    bool profiled = mProfiling != 0; // a call may switch profiling; its marker must still go
    if (profiled)
        mProfStack.Push(ProfileFrame{nullptr, nullptr, 0});
    lua_pushcfunction(state, TracebackHandler);
    lua_insert(state, function);
    int status = lua_pcall(state, argumentCount, 1, function);
    lua_remove(state, function);
    AbandonCalls(callDepth, state);
    if (profiled)
        UnwindProfile();
    if (status != 0)
        lua_gc(state, LUA_GCCOLLECT, 0);
    return status;
}

void LuaScriptManager::UnwindProfile()
{
    bool finish = false;
    while (mProfStack.Length() > 0)
    {
        // Frames an error abandoned, and those of coroutines left suspended, are not timed.
        if (mProfStack.Pop().record == nullptr)
        {
            finish = true;
            break;
        }
    }
    ZELTO_CHECK(finish, ZELTO_SCRIPT_SOURCE, __LINE__);
}

int LuaScriptManager::TracebackHandler(lua_State* state)
{
    if (!lua_isstring(state, 1))
        return 1;
    // Raw: a strict "__index" on the globals must not turn the error into one of the handler's own.
    lua_pushliteral(state, "debug");
    lua_rawget(state, LUA_GLOBALSINDEX);
    if (!lua_istable(state, -1))
    {
        lua_pop(state, 1);
        return 1;
    }
    lua_pushliteral(state, "traceback");
    lua_rawget(state, -2);
    if (!lua_isfunction(state, -1))
    {
        lua_pop(state, 2);
        return 1;
    }
    lua_pushvalue(state, 1);
    lua_pushinteger(state, 2);
    lua_call(state, 2, 1);
    return 1;
}

bool LuaScriptManager::HandleStatus(int status)
{
    if (status == 0)
    {
        mLastError = String();
        return true;
    }
    if (lua_isstring(mLuaState, -1))
    {
        size_t length = 0;
        const char* text = lua_tolstring(mLuaState, -1, &length);
        mLastError = Utf8ToString(text, int32_t(length));
        if (mErrorHandler != nullptr)
            mErrorHandler(mLastError.Text());
    }
    else
        mLastError = String();
    lua_pop(mLuaState, 1);
    return false;
}

void LuaScriptManager::LogLastError()
{
    LogError(u"%ls", mLastError.Text());
}

} // namespace Zelto
