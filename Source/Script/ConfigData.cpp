// Configuration data reaching scripts: a "LUC1" buffer run through RunBuffer is read into a tree that the
// manager keeps until it ends, handed to scripts as a light pointer in the host values table (element 1 of
// the globals' metatable) under name.."_host", and wrapped by the scripts' own module with a generated
// statement.
#include "Source/Script/ConfigData.h"
#include "Source/Script/LuaScriptManager.h"

#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"

#include <lua.hpp>
#include <lua_extensions.h>

namespace Zelto
{

namespace
{

// False when the globals have no host values table to publish into.
bool PublishConfig(lua_State* state, const std::string& key, ConfigNode* root)
{
    int top = lua_gettop(state);
    bool published = false;
    if (lua_getmetatable(state, LUA_GLOBALSINDEX))
    {
        lua_rawgeti(state, -1, 1);
        if (lua_istable(state, -1))
        {
            lua_pushlightuserdata(state, root);
            lua_rawsetfield(state, -2, key.c_str(), -1);
            published = true;
        }
    }
    lua_settop(state, top);
    return published;
}

} // namespace

void LuaScriptManager::LoadConfig(const DataBuffer& buffer)
{
    std::string name;
    uint32_t bodyOffset = 0;
    if (!ReadConfigName(buffer.Data(), buffer.Size(), name, bodyOffset))
        return;
    std::string key = name + "_host";
    std::string statement = "_G." + name + " = __luaconf.box(_G." + key + ")\n";

    ConfigNode* root = ReadConfigTree(buffer.Data(), buffer.Size(), bodyOffset);
    if (root != nullptr && mConfigNodes.Push(root) < 0)
    {
        DeleteConfigTree(root);
        root = nullptr;
    }
    if (root != nullptr && !PublishConfig(mLuaState, key, root))
        PrintTrace(u"[LS] Config %ls not published: the globals have no host values table",
                   Utf8ToString(name.c_str()).Text());

    // The scripts' module reports its own errors; a missing one is no error of the data.
    int top = lua_gettop(mLuaState);
    if (luaL_loadbuffer(mLuaState, statement.data(), statement.size(), "") == 0)
        ProtectedCall(0);
    lua_settop(mLuaState, top);
}

void LuaScriptManager::FreeConfigNodes()
{
    for (ConfigNode* root : mConfigNodes)
        DeleteConfigTree(root);
    mConfigNodes.Clear();
}

} // namespace Zelto
