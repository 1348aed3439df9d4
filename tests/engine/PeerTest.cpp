// Table peers: which reads consult them (scripts interpreted and traced, lua_getfield, lua_gettable), how
// deep, and where "__index" comes in.
#include "ScriptState.h"

#include <gtest/gtest.h>

namespace
{

// t holds "own"; its peer holds "one" and [2]; that peer's peer holds "two"; a third level holds "three",
// which is too deep: t's "__index" answers instead.
const char* const peerChain = R"(
    t = { own = "t" }
    local p1, p2, p3 = { one = "p1", [2] = "p1[2]" }, { two = "p2" }, { three = "p3" }
    setpeer(t, p1)
    setpeer(p1, p2)
    setpeer(p2, p3)
    setmetatable(t, { __index = function(_, k) return "index " .. tostring(k) end })
)";

struct ReadCase
{
    const char* key; // as a Lua expression
    const char* expected;
};

const ReadCase chainCases[] = {
    {"'own'", "t"},  {"'one'", "p1"},
    {"'two'", "p2"}, {"'three'", "index three"},
    {"2", "p1[2]"},  {"'absent'", "index absent"},
};

class Peer : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(state.Run(peerChain), ""); }

    ScriptState state;
};

} // namespace

TEST_F(Peer, InterpretedReadsConsultTwoLevelsThenIndex)
{
    ASSERT_EQ(state.Run("jit.off()"), "");
    for (const auto& c : chainCases)
    {
        std::string key = c.key;
        // A constant key (TGETS/TGETB), a key in a variable (TGETV) and a global read through a peered
        // environment.
        EXPECT_EQ(state.Result("return t[" + key + "]"), c.expected) << key;
        EXPECT_EQ(state.Result("local k = " + key + " return t[k]"), c.expected) << key;
        if (key[0] == '\'')
        {
            std::string name = key.substr(1, key.size() - 2);
            EXPECT_EQ(state.Result("return setfenv(function() return " + name + " end, t)()"), c.expected)
                << key;
        }
    }
}

// Without a metatable the interpreter's own fast paths answer a miss: each must look at the peer first.
TEST_F(Peer, InterpretedReadsWithoutMetatable)
{
    const char* reads = R"(
        jit.off()
        local bare = { nil, nil, 3, own = "own" }
        setpeer(bare, { "p1", "p2", one = "one" })
        local k, i = "one", 2
        local global = setfenv(function() return one end, bare)
        local read = { bare.one, bare[k], bare[1], bare[i], bare[3], global() }
        for n = 1, 6 do read[n] = tostring(read[n]) end
        return table.concat(read, " ")
    )";
    EXPECT_EQ(state.Result(reads), "one one p1 p2 3 one");
}

TEST_F(Peer, HostReadsConsultTwoLevelsThenIndex)
{
    for (const auto& c : chainCases)
    {
        lua_getglobal(state.L, "t");
        ASSERT_EQ(state.Run(std::string("return ") + c.key, 1), "");
        lua_pushvalue(state.L, -1);
        lua_gettable(state.L, -3);
        EXPECT_STREQ(lua_tostring(state.L, -1), c.expected) << c.key << " by lua_gettable";
        lua_pop(state.L, 1);
        if (lua_type(state.L, -1) == LUA_TSTRING)
        {
            lua_getfield(state.L, -2, lua_tostring(state.L, -1));
            EXPECT_STREQ(lua_tostring(state.L, -1), c.expected) << c.key << " by lua_getfield";
            lua_pop(state.L, 1);
        }
        lua_pop(state.L, 2);
    }
}

TEST_F(Peer, RawReadsIgnorePeers)
{
    EXPECT_EQ(state.Result("return rawget(t, 'own')"), "t");
    EXPECT_EQ(state.Result("return rawget(t, 'one')"), "nil");
    EXPECT_EQ(state.Result("return rawget(t, 2)"), "nil");
    lua_getglobal(state.L, "t");
    lua_pushstring(state.L, "one");
    lua_rawget(state.L, -2);
    EXPECT_TRUE(lua_isnil(state.L, -1));
    lua_pop(state.L, 1);
    lua_rawgeti(state.L, -1, 2);
    EXPECT_TRUE(lua_isnil(state.L, -1));
    lua_pop(state.L, 2);
}

TEST_F(Peer, WritesGoToTheTableItself)
{
    EXPECT_EQ(state.Result("t.one = 'own one' return rawget(t, 'one')"), "own one");
    EXPECT_EQ(state.Result("return t.one"), "own one");
    lua_getglobal(state.L, "t");
    lua_getpeer(state.L, -1);
    lua_getfield(state.L, -1, "one");
    EXPECT_STREQ(lua_tostring(state.L, -1), "p1");
    lua_pop(state.L, 3);
}

TEST_F(Peer, SetAndClearFromTheHost)
{
    lua_getglobal(state.L, "t");
    lua_pushnil(state.L);
    lua_setpeer(state.L, -2);
    lua_getpeer(state.L, -1);
    EXPECT_TRUE(lua_isnil(state.L, -1));
    lua_pop(state.L, 2);
    EXPECT_EQ(state.Result("return t.one"), "index one");
}

// A trace recorded while the table read had no peer must not answer nil for a table that has one: both tables
// have the same shape, so that only the peer tells them apart.
TEST_F(Peer, TraceCompiledWithoutPeerFindsPeerKeys)
{
    const char* loop = R"(
        jit.off()
        local plain, peered = { own = 1, other = 2 }, { own = 1, other = 2 }
        setpeer(peered, { one = "found" })
        local objects = {}
        for i = 1, 400 do objects[i] = i > 200 and peered or plain end
        jit.on()
        jit.flush()
        local found = 0
        for i = 1, 400 do
            if objects[i].one == "found" then found = found + 1 end
        end
        return (require("jit.util").traceinfo(1) and "traced " or "not traced ") .. found
    )";
    EXPECT_EQ(state.Result(loop), "traced 200");
}

// A loop that starts on a peered table does not compile the read, and still answers right.
TEST_F(Peer, TraceNotCompiledOverPeerRead)
{
    const char* loop = R"(
        jit.on()
        local peered = { own = 1 }
        setpeer(peered, { one = 1 })
        local sum = 0
        for i = 1, 400 do sum = sum + peered.one + (t.two == "p2" and 1 or 0) end
        return sum
    )";
    EXPECT_EQ(state.Result(loop), "800");
}
