// The allocation hook: what a running script function allocates is reported with its name, source and line;
// nothing while no script function runs; nothing after it is cleared; no trouble during collections and
// traces.
#include "ScriptState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct Report
{
    ptrdiff_t sizeChange;
    std::string name;
    std::string source;
    int line;
};

// The hook is process-wide: the test in progress owns these.
std::vector<Report> reports;

void Record(ptrdiff_t sizeChange, const char* name, const char* source, int line)
{
    reports.push_back({sizeChange, name, source, line});
}

class AllocHook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reports.clear();
        reports.reserve(1 << 16);
    }
    void TearDown() override { lua_setallochook(nullptr); }

    ScriptState state;
};

const char* const makeTable = "local function make()\n"
                              "  return { 1, 2, 3, name = 'made' }\n"
                              "end\n"
                              "local made = make()\n"
                              "return made\n";

} // namespace

TEST_F(AllocHook, ReportsTheRunningFunction)
{
    lua_setallochook(Record);
    ASSERT_EQ(state.Run(makeTable, 1, "@scripts/make.lua"), "");
    lua_setallochook(nullptr);
    lua_pop(state.L, 1);
    bool seen = false;
    for (const auto& report : reports)
        if (report.line == 2)
        {
            seen = true;
            EXPECT_GT(report.sizeChange, 0);
            EXPECT_EQ(report.name, "make");
            EXPECT_EQ(report.source, "scripts/make.lua");
        }
    EXPECT_TRUE(seen);
}

TEST_F(AllocHook, SilentWhileNoScriptFunctionRuns)
{
    ASSERT_EQ(state.Run("jit.off()"), "");
    lua_setallochook(Record);
    lua_createtable(state.L, 100, 100);
    lua_pushstring(state.L, "a string made by the host, long enough to be new");
    lua_pop(state.L, 2);
    lua_gc(state.L, LUA_GCCOLLECT, 0);
    EXPECT_TRUE(reports.empty()) << reports.size() << " reports, the first of " << reports[0].sizeChange;
}

TEST_F(AllocHook, SilentOnceCleared)
{
    lua_setallochook(Record);
    lua_setallochook(nullptr);
    ASSERT_EQ(state.Run(makeTable, 1, "@scripts/make.lua"), "");
    lua_pop(state.L, 1);
    EXPECT_TRUE(reports.empty());
}

// Collections (frees reported negative), finalizers, coroutines left suspended, traces and their exits, and
// creating and closing a state while the hook is set.
TEST_F(AllocHook, SafeAtAwkwardMoments)
{
    lua_setallochook(Record);
    {
        ScriptState other;
        const char* churn = R"(
            jit.on()
            local keep, kept = {}, 0
            for i = 1, 20000 do
                local t = { i, tostring(i) }
                if i % 7 == 0 then keep[#keep + 1] = t kept = kept + 1 end
                if i % 500 == 0 then
                    local proxy = newproxy(true)
                    getmetatable(proxy).__gc = function() local _ = { "finalized" } end
                    local co = coroutine.wrap(function() for j = 1, 3 do coroutine.yield({ j }) end end)
                    co()
                end
                if i % 5000 == 0 then keep = {} collectgarbage() end
            end
            return kept
        )";
        EXPECT_EQ(other.Result(churn), "2857");
    }
    lua_setallochook(nullptr);
    bool shrank = false;
    for (const auto& report : reports)
        shrank = shrank || report.sizeChange < 0;
    EXPECT_TRUE(shrank);
    EXPECT_FALSE(reports.empty());
}
