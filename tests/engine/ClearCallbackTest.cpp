// Clear callbacks: asked with the right payloads before a weak entry goes, an answer of 0 keeps the entry and
// all it reaches through a full collection, told once the answers are final (and only then) which entries go,
// and tables without one are cleared as stock.
#include "ScriptState.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

struct ClearCall
{
    lua_NativeBlock* table;
    uintptr_t keyPayload;
    int keyType;
    uintptr_t valuePayload;
    int valueType;
    uint32_t flags;
};

// The callback has no context of its own: the test in progress owns these.
std::vector<ClearCall> calls;
int32_t answer = 1;

int32_t Record(lua_State*, lua_NativeBlock* table, uintptr_t keyPayload, int keyType, uintptr_t valuePayload,
               int valueType, uint32_t flags)
{
    calls.push_back({table, keyPayload, keyType, valuePayload, valueType, flags});
    return answer;
}

// The recorded calls that asked (final false) or that told the entry goes (final true), without that flag.
std::vector<ClearCall> Calls(bool final)
{
    std::vector<ClearCall> chosen;
    for (ClearCall call : calls)
    {
        if (((call.flags & LUA_CLEAR_FINAL) != 0) == final)
        {
            call.flags &= ~LUA_CLEAR_FINAL;
            chosen.push_back(call);
        }
    }
    return chosen;
}

// Keeps an entry as long as the first word of the dead value's native block is non-zero, counting it down.
int32_t KeepWhileCounting(lua_State*, lua_NativeBlock*, uintptr_t, int, uintptr_t valuePayload, int valueType,
                          uint32_t)
{
    if (valueType != LUA_TTABLE)
        return 1;
    auto* block = reinterpret_cast<lua_NativeBlock*>(valuePayload);
    return block->word[0] == 0 ? 1 : (--block->word[0], 0);
}

class ClearCallback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        calls.clear();
        answer = 1;
    }

    // Makes the global weak table `name` with mode `mode` and `callback`; answers its native block.
    const void* MakeWeak(const char* name, const char* mode, lua_ClearCallback callback)
    {
        EXPECT_EQ(state.Run(std::string(name) + " = setmetatable({}, { __mode = '" + mode + "' })"), "");
        lua_getglobal(state.L, name);
        lua_setclearfunc(state.L, -1, callback);
        const void* block = lua_topointer(state.L, -1);
        lua_pop(state.L, 1);
        return block;
    }

    ScriptState state;
};

} // namespace

TEST_F(ClearCallback, DeadValueOfLightUserdataKey)
{
    const void* weakBlock = MakeWeak("objects", "v", Record);
    int object = 0;
    lua_getglobal(state.L, "objects");
    lua_pushlightuserdata(state.L, &object);
    ASSERT_EQ(state.Run("return { name = 'only weakly held', child = { 'child' } }", 1), "");
    const void* valueBlock = lua_topointer(state.L, -1);
    lua_rawset(state.L, -3);
    lua_pop(state.L, 1);

    answer = 0;
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].table, weakBlock);
    EXPECT_EQ(calls[0].keyPayload, reinterpret_cast<uintptr_t>(&object));
    EXPECT_EQ(calls[0].keyType, LUA_TLIGHTUSERDATA);
    EXPECT_EQ(calls[0].valuePayload, reinterpret_cast<uintptr_t>(valueBlock));
    EXPECT_EQ(calls[0].valueType, LUA_TTABLE);
    EXPECT_EQ(calls[0].flags, LUA_CLEAR_VALUEDEAD);
    // Kept with all it reaches: build garbage in between, so that freed memory would be reused.
    ASSERT_EQ(state.Run("for i = 1, 1000 do local _ = { i, tostring(i) } end"), "");
    const char* read = "local _, v = next(objects) return v and v.name .. ' ' .. v.child[1]";
    EXPECT_EQ(state.Result(read), "only weakly held child");

    calls.clear();
    answer = 1;
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    ASSERT_EQ(calls.size(), 2u) << "asked, then told";
    EXPECT_EQ(calls[0].flags, LUA_CLEAR_VALUEDEAD);
    EXPECT_EQ(calls[1].flags, LUA_CLEAR_VALUEDEAD | LUA_CLEAR_FINAL);
    EXPECT_EQ(calls[1].valuePayload, reinterpret_cast<uintptr_t>(valueBlock));
    EXPECT_EQ(state.Result("return next(objects)"), "nil");
}

TEST_F(ClearCallback, DeadKeyAndPayloadsByType)
{
    MakeWeak("byKey", "k", Record);
    ASSERT_EQ(state.Run("byKey[{}] = 5 byKey[function() end] = true byKey['strings are never weak'] = 1"),
              "");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(Calls(true).size(), 2u);
    calls = Calls(false);
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls)
    {
        EXPECT_EQ(call.flags, LUA_CLEAR_KEYDEAD);
        EXPECT_NE(call.keyPayload, 0u);
        EXPECT_EQ(call.valuePayload, 0u) << "numbers and booleans have no payload";
    }
    EXPECT_TRUE((calls[0].keyType == LUA_TTABLE && calls[0].valueType == LUA_TNUMBER &&
                 calls[1].keyType == LUA_TFUNCTION && calls[1].valueType == LUA_TBOOLEAN) ||
                (calls[1].keyType == LUA_TTABLE && calls[1].valueType == LUA_TNUMBER &&
                 calls[0].keyType == LUA_TFUNCTION && calls[0].valueType == LUA_TBOOLEAN));
    EXPECT_EQ(state.Result("local n = 0 for _ in pairs(byKey) do n = n + 1 end return n"), "1");
}

TEST_F(ClearCallback, BothDeadInArrayAndHash)
{
    MakeWeak("both", "kv", Record);
    ASSERT_EQ(state.Run("both[1] = {} both[{}] = {} both.kept = 'text'"), "");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(Calls(true).size(), 2u);
    calls = Calls(false);
    ASSERT_EQ(calls.size(), 2u);
    uint32_t flags[2] = {calls[0].flags, calls[1].flags};
    if (flags[0] > flags[1])
        std::swap(flags[0], flags[1]);
    EXPECT_EQ(flags[0], LUA_CLEAR_VALUEDEAD);
    EXPECT_EQ(flags[1], LUA_CLEAR_KEYDEAD | LUA_CLEAR_VALUEDEAD);
    EXPECT_EQ(state.Result("return tostring(both[1]) .. ' ' .. both.kept"), "nil text");
}

// What a kept entry reaches may be the only reference to another weak table's entry: that one stays too,
// without being asked, and an entry kept several cycles in a row stays valid throughout.
TEST_F(ClearCallback, KeptEntriesKeepWhatTheyReach)
{
    MakeWeak("first", "v", KeepWhileCounting);
    MakeWeak("second", "v", nullptr);
    ASSERT_EQ(state.Run("local inner = { 'inner' } second.x = inner first.x = { inner = inner }"), "");
    lua_getglobal(state.L, "first");
    lua_getfield(state.L, -1, "x");
    auto* block =
        const_cast<lua_NativeBlock*>(static_cast<const lua_NativeBlock*>(lua_topointer(state.L, -1)));
    lua_pop(state.L, 2);
    block->word[0] = 3;
    for (int cycle = 0; cycle < 3; ++cycle)
    {
        lua_gc(state.L, LUA_GCCOLLECT, 0);
        EXPECT_EQ(state.Result("return first.x.inner[1] .. ' ' .. second.x[1]"), "inner inner") << cycle;
    }
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(state.Result("return tostring(first.x) .. ' ' .. tostring(second.x)"), "nil nil");
}

// Keeps the entries whose value's native block has a non-zero first word; records the tables it was told go.
std::vector<uintptr_t> toldGone;

int32_t KeepMarked(lua_State*, lua_NativeBlock*, uintptr_t, int, uintptr_t valuePayload, int valueType,
                   uint32_t flags)
{
    if (valueType != LUA_TTABLE)
        return 1;
    if ((flags & LUA_CLEAR_FINAL) != 0)
        toldGone.push_back(valuePayload);
    return reinterpret_cast<lua_NativeBlock*>(valuePayload)->word[0] == 0;
}

// An entry let go may be reached from an entry kept after it (an owner kept with its children): it stays, and
// the callback is never told it goes, whatever order the entries are asked in.
TEST_F(ClearCallback, AnswersAreFinalOnlyOnceNothingMoreIsKept)
{
    struct Case
    {
        int pairs;
        bool ownersKept;
    };
    for (const Case& c : {Case{1, true}, Case{40, true}, Case{40, false}})
    {
        toldGone.clear();
        MakeWeak("entries", "v", KeepMarked);
        ASSERT_EQ(state.Run("for i = 1, " + std::to_string(c.pairs) +
                            " do local child = { 'child' } entries['c' .. i] = child "
                            "entries['o' .. i] = { child = child } end"),
                  "");
        for (int i = 1; i <= c.pairs; ++i)
        {
            ASSERT_EQ(state.Run("return entries.o" + std::to_string(i), 1), "");
            const_cast<lua_NativeBlock*>(static_cast<const lua_NativeBlock*>(lua_topointer(state.L, -1)))
                ->word[0] = c.ownersKept ? 1 : 0;
            lua_pop(state.L, 1);
        }
        lua_gc(state.L, LUA_GCCOLLECT, 0);
        int expectedLeft = c.ownersKept ? 2 * c.pairs : 0;
        EXPECT_EQ(state.Result("local n = 0 for _, v in pairs(entries) do n = n + 1 end return n"),
                  std::to_string(expectedLeft))
            << c.pairs;
        EXPECT_EQ(toldGone.size(), size_t(2 * c.pairs - expectedLeft)) << c.pairs;
        if (c.ownersKept)
        {
            EXPECT_EQ(
                state.Result("local n = 0 for i = 1, " + std::to_string(c.pairs) +
                             " do n = n + (entries['o' .. i].child == entries['c' .. i] and 1 or 0) end "
                             "return n"),
                std::to_string(c.pairs));
        }
    }
}

TEST_F(ClearCallback, TablesWithoutOneClearAsStock)
{
    MakeWeak("plain", "v", Record);
    lua_getglobal(state.L, "plain");
    lua_setclearfunc(state.L, -1, nullptr);
    lua_pop(state.L, 1);
    ASSERT_EQ(state.Run("plain.x = {}"), "");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(state.Result("return plain.x"), "nil");
}

// A table's callback goes with it: tables made later, possibly at the same address, are cleared as stock.
TEST_F(ClearCallback, ForgottenWithItsTable)
{
    for (int i = 0; i < 8; ++i)
        MakeWeak("doomed", "v", Record);
    ASSERT_EQ(state.Run("doomed = nil"), "");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    calls.clear();
    ASSERT_EQ(state.Run("later = {} for i = 1, 100 do later[i] = setmetatable({ {} }, { __mode = 'v' }) end"),
              "");
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(state.Result("return #later[100]"), "0");
}
