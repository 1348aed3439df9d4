// Native blocks: every way a table comes to be gives two zero words at lua_topointer, and the host's words
// are invisible to scripts.
#include "ScriptState.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

const lua_NativeBlock* BlockOf(lua_State* L, int index)
{
    return static_cast<const lua_NativeBlock*>(lua_topointer(L, index));
}

} // namespace

TEST(NativeBlock, ZeroAtCreation)
{
    // Empty, array-only (colocated), hash, template copies, and tables made by compiled code.
    const char* const makers[] = {
        "return {}",
        "return {1, 2, 3}",
        "return {x = 1, y = 2}",
        "local t = {} for i = 1, 100 do t[i] = i end return t",
        "local n = 0 return {n, n + 1}",
        "jit.on() local t for i = 1, 300 do t = {i, x = i} end return t",
        "jit.on() local t for i = 1, 300 do t = {} t.i = i end return t",
        "return setmetatable({}, {})",
    };
    ScriptState state;
    for (const char* maker : makers)
    {
        ASSERT_EQ(state.Run(maker, 1), "") << maker;
        const lua_NativeBlock* block = BlockOf(state.L, -1);
        ASSERT_NE(block, nullptr) << maker;
        EXPECT_EQ(block->word[0], 0u) << maker;
        EXPECT_EQ(block->word[1], 0u) << maker;
        lua_pop(state.L, 1);
    }
    lua_createtable(state.L, 8, 8);
    EXPECT_EQ(BlockOf(state.L, -1)->word[0] | BlockOf(state.L, -1)->word[1], 0u) << "lua_createtable";
    lua_pop(state.L, 1);
}

TEST(NativeBlock, OnePerTableOtherTypesAsStock)
{
    ScriptState state;
    lua_newtable(state.L);
    lua_newtable(state.L);
    EXPECT_NE(lua_topointer(state.L, -1), lua_topointer(state.L, -2));
    int word = 0;
    lua_pushlightuserdata(state.L, &word);
    EXPECT_EQ(lua_topointer(state.L, -1), &word);
    lua_pushnumber(state.L, 1);
    EXPECT_EQ(lua_topointer(state.L, -1), nullptr);
    lua_settop(state.L, 0);
}

TEST(NativeBlock, HostWordsInvisibleToScripts)
{
    ScriptState state;
    ASSERT_EQ(state.Run("t = {10, 20, x = 'x'} return t", 1), "");
    auto* block = const_cast<lua_NativeBlock*>(BlockOf(state.L, -1));
    lua_pop(state.L, 1);
    block->word[0] = ~uintptr_t(0);
    block->word[1] = uintptr_t(0x5a5a5a5a);
    const char* check = R"(
        local n = 0
        for _ in pairs(t) do n = n + 1 end
        return table.concat({n, #t, t[1], t[2], t.x, tostring(t.y), tostring(getmetatable(t))}, " ")
    )";
    EXPECT_EQ(state.Result(check), "3 2 10 20 x nil nil");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    ASSERT_EQ(state.Run("return t", 1), "");
    EXPECT_EQ(BlockOf(state.L, -1), block);
    EXPECT_EQ(block->word[0], ~uintptr_t(0));
    EXPECT_EQ(block->word[1], uintptr_t(0x5a5a5a5a));
    lua_pop(state.L, 1);
    EXPECT_EQ(state.Result(check), "3 2 10 20 x nil nil");
}
