#include "Renderer/ScreenLibraries.h"

#include <lua.hpp>

#include <initializer_list>

namespace Zelto
{

namespace
{

const char TextOnly[] = "t";

// The results of a load: the function, or nil and the message.
int LoadResults(lua_State* state, int status)
{
    if (status == 0)
        return 1;
    lua_pushnil(state);
    lua_insert(state, -2);
    return 2;
}

// load (chunk [, chunkname [, mode [, env]]]): text only, whatever mode is asked; a chunk given as a function
// is read piece by piece first.
int LoadText(lua_State* state)
{
    size_t length = 0;
    const char* text = lua_tolstring(state, 1, &length);
    const char* name = luaL_optstring(state, 2, text != nullptr ? text : "=(load)");
    if (text == nullptr)
    {
        luaL_checktype(state, 1, LUA_TFUNCTION);
        luaL_Buffer pieces;
        luaL_buffinit(state, &pieces);
        for (;;)
        {
            lua_pushvalue(state, 1);
            lua_call(state, 0, 1);
            if (lua_isnil(state, -1) || (lua_isstring(state, -1) && lua_objlen(state, -1) == 0))
            {
                lua_pop(state, 1);
                break;
            }
            if (!lua_isstring(state, -1))
                return luaL_error(state, "reader function must return a string");
            luaL_addvalue(&pieces);
        }
        luaL_pushresult(&pieces);
        text = lua_tolstring(state, -1, &length);
    }
    int status = luaL_loadbufferx(state, text, length, name, TextOnly);
    if (status == 0 && lua_gettop(state) >= 4 && !lua_isnil(state, 4))
    {
        lua_pushvalue(state, 4);
        lua_setfenv(state, -2);
    }
    return LoadResults(state, status);
}

// loadstring (string [, chunkname])
int LoadStringText(lua_State* state)
{
    size_t length = 0;
    const char* text = luaL_checklstring(state, 1, &length);
    return LoadResults(state,
                       luaL_loadbufferx(state, text, length, luaL_optstring(state, 2, text), TextOnly));
}

// loadfile ([filename])
int LoadFileText(lua_State* state)
{
    return LoadResults(state, luaL_loadfilex(state, luaL_optstring(state, 1, nullptr), TextOnly));
}

// dofile ([filename])
int DoFileText(lua_State* state)
{
    int base = lua_gettop(state);
    if (luaL_loadfilex(state, luaL_optstring(state, 1, nullptr), TextOnly) != 0)
        return lua_error(state);
    lua_call(state, 0, LUA_MULTRET);
    return lua_gettop(state) - base;
}

int Nothing(lua_State*)
{
    return 0;
}

} // namespace

void NarrowScreenLibraries(lua_State* state)
{
    static const luaL_Reg loaders[] = {
        {"load", LoadText},
        {"loadstring", LoadStringText},
        {"loadfile", LoadFileText},
        {"dofile", DoFileText},
    };
    for (const luaL_Reg& loader : loaders)
    {
        lua_pushcfunction(state, loader.func);
        lua_setfield(state, LUA_GLOBALSINDEX, loader.name);
    }

    lua_getfield(state, LUA_GLOBALSINDEX, "jit");
    if (lua_istable(state, -1))
    {
        lua_pushcfunction(state, Nothing);
        lua_setfield(state, -2, "on");
    }
    lua_pop(state, 1);

    // A new table, so that nothing that still refers to the full library is left to scripts through it.
    lua_getfield(state, LUA_GLOBALSINDEX, "debug");
    lua_createtable(state, 0, 2);
    if (lua_istable(state, -2))
    {
        for (const char* kept : {"traceback", "getinfo"})
        {
            lua_getfield(state, -2, kept);
            lua_setfield(state, -2, kept);
        }
    }
    lua_setfield(state, LUA_GLOBALSINDEX, "debug");
    lua_pop(state, 1);
}

} // namespace Zelto
