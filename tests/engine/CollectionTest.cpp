// A collection-heavy script over peers and clear callbacks: peers in cycles, weak tables of every mode whose
// callbacks keep some entries for a few cycles, incremental steps in between. Run it under the sanitizers.
#include "ScriptState.h"

#include <gtest/gtest.h>

namespace
{

// Keeps an entry while the first word of its table's native block (key or value) counts down.
int32_t KeepWhileCounting(lua_State*, lua_NativeBlock*, uintptr_t keyPayload, int keyType,
                          uintptr_t valuePayload, int valueType, uint32_t)
{
    uintptr_t payload = valueType == LUA_TTABLE ? valuePayload : keyType == LUA_TTABLE ? keyPayload : 0;
    if (payload == 0)
        return 1;
    auto* block = reinterpret_cast<lua_NativeBlock*>(payload);
    return block->word[0] == 0 ? 1 : (--block->word[0], 0);
}

int reportCount = 0;

void Count(ptrdiff_t, const char*, const char*, int)
{
    ++reportCount;
}

const char* const churn = R"(
    local weaks, modes = {}, { "k", "v", "kv" }
    local live = {}
    for round = 1, 60 do
        local weak = newweak(modes[round % 3 + 1])
        weaks[#weaks + 1] = weak
        local previous
        for i = 1, 150 do
            local a, b = { id = i }, { id = -i, [1] = i }
            setpeer(a, b)
            setpeer(b, previous or a)
            countdown(a, i % 4)
            countdown(b, i % 3)
            weak[a] = b
            weak[i] = a
            if i % 10 == 0 then live[#live + 1] = a end
            assert(a.id == i and a[1] == i and b.id == -i)
            previous = a
        end
        for _, w in ipairs(weaks) do
            for k, v in pairs(w) do
                if type(k) == "table" then assert(k.id and v.id and k[1] == v[1]) end
                if type(v) == "table" then assert(v.id and (v[1] == nil or v[1] == v[1])) end
            end
        end
        collectgarbage("step", 2)
        if #weaks > 6 then table.remove(weaks, 1) end
        if #live > 200 then live = {} end
    end
    for _ = 1, 200 do collectgarbage("step") end
    collectgarbage()
    local alive = 0
    for _, a in ipairs(live) do alive = alive + (a[1] == a.id and 1 or 0) end
    return alive == #live and "ok" or "peer lost"
)";

} // namespace

TEST(Collection, PeersAndClearCallbacksUnderChurn)
{
    reportCount = 0;
    lua_setallochook(Count);
    ScriptState state;
    lua_pushcfunction(state.L,
                      [](lua_State* L)
                      {
                          lua_newtable(L);
                          lua_createtable(L, 0, 1);
                          lua_pushvalue(L, 1);
                          lua_setfield(L, -2, "__mode");
                          lua_setmetatable(L, -2);
                          lua_setclearfunc(L, -1, KeepWhileCounting);
                          return 1;
                      });
    lua_setglobal(state.L, "newweak");
    lua_pushcfunction(state.L,
                      [](lua_State* L)
                      {
                          auto* block = const_cast<lua_NativeBlock*>(
                              static_cast<const lua_NativeBlock*>(lua_topointer(L, 1)));
                          block->word[0] = uintptr_t(luaL_checkinteger(L, 2));
                          return 0;
                      });
    lua_setglobal(state.L, "countdown");
    for (const char* mode : {"jit.off()", "jit.on()"})
    {
        ASSERT_EQ(state.Run(mode), "");
        EXPECT_EQ(state.Result(churn), "ok") << mode;
    }
    lua_setallochook(nullptr);
    EXPECT_GT(reportCount, 0);
}
