// A script state for the interpreter extension tests: the standard libraries, and setpeer(t, peer) for
// scripts.
#pragma once

#include <lua.hpp>
#include <lua_extensions.h>

#include <string>

class ScriptState
{
public:
    ScriptState() : L(luaL_newstate())
    {
        luaL_openlibs(L);
        lua_register(L, "setpeer",
                     [](lua_State* state)
                     {
                         lua_settop(state, 2);
                         lua_setpeer(state, 1);
                         return 0;
                     });
    }
    ~ScriptState() { lua_close(L); }
    ScriptState(const ScriptState&) = delete;
    ScriptState& operator=(const ScriptState&) = delete;

    // Runs a chunk named `name`, leaving `results` values on the stack; answers the error text, empty on
    // success.
    std::string Run(const std::string& code, int results = 0, const char* name = "=test")
    {
        if (luaL_loadbuffer(L, code.data(), code.size(), name) != 0 || lua_pcall(L, 0, results, 0) != 0)
        {
            std::string error = lua_tostring(L, -1);
            lua_pop(L, 1);
            return error;
        }
        return {};
    }

    // The one result of `code` as text: "nil", the value, or "error: " and the error.
    std::string Result(const std::string& code)
    {
        std::string error = Run(code, 1);
        if (!error.empty())
            return "error: " + error;
        const char* text = lua_isnil(L, -1) ? "nil" : lua_tostring(L, -1);
        std::string result = text ? text : "(not text)";
        lua_pop(L, 1);
        return result;
    }

    lua_State* const L;
};
