// lua_rawsetfield: a raw store that also makes a newly stored metamethod take effect.
#include "ScriptState.h"

#include <gtest/gtest.h>

TEST(RawSetField, StoresWithoutMetamethods)
{
    ScriptState state;
    ASSERT_EQ(state.Run("t = setmetatable({}, { __newindex = function() error('__newindex called') end }) "
                        "return t, 42",
                        2),
              "");
    lua_rawsetfield(state.L, -2, "answer", -1);
    lua_pop(state.L, 2);
    EXPECT_EQ(state.Result("return rawget(t, 'answer')"), "42");
}

// A table made by the host starts with a metamethod cache that says "none": a raw store of "__index" into it
// must still take effect once it serves as a metatable.
TEST(RawSetField, NewlyStoredIndexTakesEffect)
{
    ScriptState state;
    ASSERT_EQ(state.Run("t = {} return t, { found = 'fallback' }", 2), "");
    lua_newtable(state.L); // the metatable, from the host
    lua_pushvalue(state.L, -1);
    lua_setmetatable(state.L, -4);
    EXPECT_EQ(state.Result("jit.off() return t.found"), "nil");
    lua_rawsetfield(state.L, -1, "__index", -2);
    lua_pop(state.L, 3);
    EXPECT_EQ(state.Result("return t.found"), "fallback");
    EXPECT_EQ(state.Result("local k = 'found' return t[k]"), "fallback");
    lua_getglobal(state.L, "t");
    lua_getfield(state.L, -1, "found");
    EXPECT_STREQ(lua_tostring(state.L, -1), "fallback");
    lua_pop(state.L, 2);
}
