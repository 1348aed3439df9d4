// Call profiling: the dump of script and host functions with their calls and sources, its order and its
// limits, slow calls above the threshold, and a profile stack that stays balanced through script errors.
#include "Probe.h"
#include "ScriptFixture.h"

#include "support/Text.h"

#include <lua.hpp>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace Zelto;

namespace
{

struct DumpRow
{
    std::string kind;
    std::string name;
    std::string place; // "source:line", or what stands in for a missing source
    int calls;
    double cost; // total or average, as printed
};

bool operator==(const DumpRow& a, const DumpRow& b)
{
    return a.kind == b.kind && a.name == b.name && a.place == b.place && a.calls == b.calls;
}

std::ostream& operator<<(std::ostream& out, const DumpRow& row)
{
    return out << row.kind << ' ' << row.name << " (" << row.place << ") x" << row.calls << ' ' << row.cost;
}

struct Dump
{
    std::vector<DumpRow> byTotal;
    std::vector<DumpRow> byAverage;
    std::string totalRest; // the "more" line after a listing, if any
    std::string averageRest;
};

// A host function's identity: the profiler only compares addresses.
int HostFunction(lua_State*)
{
    return 0;
}

// Lets a script call take as long as it is told.
int SleepMilliseconds(lua_State* state)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(lua_tointeger(state, 1)));
    return 0;
}

class ScriptProfile : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        lua_register(manager->GetLuaState(), "sleep_ms", SleepMilliseconds);
        manager->EnableProfiling(true);
    }

    void RunChunk(const char16_t* text, const char16_t* chunkName)
    {
        Variable out;
        manager->RunString(out, text, chunkName, 0);
    }

    std::vector<std::string> TraceLines() const
    {
        std::vector<std::string> lines;
        for (const std::u16string& line : logs.trace.Lines())
            lines.push_back(Narrow(String(line.c_str())));
        return lines;
    }

    // Dumps the profile and reads it back, checking the frame around the two listings.
    Dump TakeDump()
    {
        logs.trace.calls.clear();
        manager->DumpProfile();
        std::vector<std::string> lines = TraceLines();
        Dump dump;
        size_t at = 0;
        auto expectLine = [&](const char* text)
        {
            EXPECT_LT(at, lines.size()) << "missing: " << text;
            if (at < lines.size())
            {
                EXPECT_EQ(lines[at++], text);
            }
        };
        auto readRows = [&](const char* measure, std::vector<DumpRow>& rows, std::string& rest)
        {
            const std::regex row(std::string(R"(  \[(C|Lua)\], (.*), \((.*)\), called (\d+) time\(s\), )") +
                                 measure + R"( call cost (\d+\.\d\d) ms)");
            std::smatch match;
            for (; at < lines.size() && std::regex_match(lines[at], match, row); ++at)
                rows.push_back({match[1], match[2], match[3], std::stoi(match[4]), std::stod(match[5])});
            if (at < lines.size() && std::regex_match(lines[at], std::regex(R"(  \d+ more \.\.\.)")))
                rest = lines[at++];
        };
        expectLine("[LS] Dump lua profile Begin");
        expectLine("");
        expectLine("[LS] Order by total call cost (ms)");
        readRows("total", dump.byTotal, dump.totalRest);
        expectLine("");
        expectLine("[LS] Order by avg call cost (ms)");
        readRows("avg", dump.byAverage, dump.averageRest);
        expectLine("");
        expectLine("[LS] Dump lua profile finished");
        EXPECT_EQ(at, lines.size());
        return dump;
    }

    void ExpectNoAssertion() { EXPECT_EQ(logs.error.Count(u"Assertion Failed"), 0u); }
};

void ExpectDescending(const std::vector<DumpRow>& rows)
{
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i - 1].cost, rows[i].cost) << rows[i - 1] << " before " << rows[i];
}

TEST_F(ScriptProfile, DumpListsEachFunctionWithItsCallsAndSource)
{
    RunChunk(u"local function inner(n)\n"
             u"  return n + 1\n"
             u"end\n"
             u"function outer(n)\n"
             u"  return inner(n) + inner(n)\n"
             u"end\n"
             u"for i = 1, 3 do outer(i) end\n",
             u"@profiled.lua");
    lua->AddNativeProfileRecord(reinterpret_cast<const void*>(HostFunction), u"Gdi.DrawText");
    for (int i = 0; i < 2; ++i)
    {
        manager->ProfileEnterNative(reinterpret_cast<const void*>(HostFunction));
        manager->ProfileLeaveNative();
    }

    // The chunk itself has no name and is left out.
    Dump dump = TakeDump();
    const std::vector<DumpRow> totals = {{"Lua", "inner", "@profiled.lua:1", 6, 0},
                                         {"Lua", "outer", "@profiled.lua:4", 3, 0},
                                         {"C", "Gdi.DrawText", "", 2, 0}};
    EXPECT_TRUE(std::is_permutation(totals.begin(), totals.end(), dump.byTotal.begin(), dump.byTotal.end()))
        << ::testing::PrintToString(dump.byTotal);
    // The average listing says "Unknown" for every missing source.
    const std::vector<DumpRow> averages = {{"Lua", "inner", "@profiled.lua:1", 6, 0},
                                           {"Lua", "outer", "@profiled.lua:4", 3, 0},
                                           {"C", "Gdi.DrawText", "Unknown", 2, 0}};
    EXPECT_TRUE(
        std::is_permutation(averages.begin(), averages.end(), dump.byAverage.begin(), dump.byAverage.end()))
        << ::testing::PrintToString(dump.byAverage);
    ExpectDescending(dump.byTotal);
    ExpectDescending(dump.byAverage);
    for (const DumpRow& average : dump.byAverage)
        for (const DumpRow& total : dump.byTotal)
            if (total.name == average.name)
            {
                EXPECT_NEAR(average.cost * average.calls, total.cost, 0.005 * (average.calls + 1)) << total;
            }
    EXPECT_EQ(dump.totalRest, "");
    EXPECT_EQ(dump.averageRest, "");

    // The dump started the counts afresh.
    Dump second = TakeDump();
    EXPECT_TRUE(second.byTotal.empty());
    EXPECT_TRUE(second.byAverage.empty());
    ExpectNoAssertion();
}

TEST_F(ScriptProfile, RegisteredHostMembersAreNamedAfterTheirClass)
{
    Probe::Register(*manager);
    RunChunk(u"local p = Probe.new()\n"
             u"for i = 1, 3 do p:add(i) end\n"
             u"p.label = 'x'\n"
             u"local t = p.total .. p.label\n",
             u"@members.lua");
    Dump dump = TakeDump();
    const std::vector<DumpRow> expected = {{"C", "Probe.new", "", 1, 0},
                                           {"C", "Probe.add", "", 3, 0},
                                           {"C", "Probe.label(set)", "", 1, 0},
                                           {"C", "Probe.label(get)", "", 1, 0},
                                           {"C", "Probe.total(get)", "", 1, 0}};
    for (const DumpRow& row : expected)
        EXPECT_NE(std::find(dump.byTotal.begin(), dump.byTotal.end(), row), dump.byTotal.end()) << row;
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
    ExpectNoAssertion();
}

TEST_F(ScriptProfile, LongListingsShowAHundredRowsAndCountTheRest)
{
    std::u16string script;
    for (int i = 1; i <= 150; ++i)
    {
        std::string name = "f" + std::to_string(i);
        script += std::u16string(u"function ") + std::u16string(name.begin(), name.end()) + u"() end " +
                  std::u16string(name.begin(), name.end()) + u"()\n";
    }
    RunChunk(script.c_str(), u"@many.lua");

    Dump dump = TakeDump();
    EXPECT_EQ(dump.byTotal.size(), 100u);
    EXPECT_EQ(dump.byAverage.size(), 100u);
    EXPECT_EQ(dump.totalRest, "  50 more ...");
    EXPECT_EQ(dump.averageRest, "  50 more ...");
    ExpectNoAssertion();
}

TEST_F(ScriptProfile, SlowCallsAreReportedOnlyAboveAThresholdOfAtLeastOneMillisecond)
{
    const void* host = reinterpret_cast<const void*>(HostFunction);
    lua->AddNativeProfileRecord(host, u"Slow.Call");
    struct Case
    {
        int32_t threshold;
        bool reported;
    };
    for (const Case& c : {Case{-1, false}, Case{0, false}, Case{1000, false}, Case{1, true}})
    {
        manager->SetCostThreshold(c.threshold);
        logs.trace.calls.clear();
        RunChunk(u"local function slow() sleep_ms(5) end\nslow()", u"@slow.lua");
        manager->ProfileEnterNative(host);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        manager->ProfileLeaveNative();

        std::vector<std::string> lines = TraceLines();
        if (!c.reported)
        {
            EXPECT_EQ(lines, std::vector<std::string>{}) << c.threshold;
            continue;
        }
        // Each report: the threshold, an empty line, the call, an empty line. The chunk's own frame took
        // longer than the threshold as well; it ends after the function it called.
        const std::vector<std::string> calls = {"  [Lua], slow, (@slow.lua:1), cost ",
                                                "  [Lua], , (@slow.lua:0), cost ",
                                                "  [C], Slow.Call, (), cost "};
        ASSERT_EQ(lines.size(), 4 * calls.size());
        for (size_t i = 0; i < calls.size(); ++i)
        {
            EXPECT_EQ(lines[4 * i], "[LS] Cost too much time, threshold is 1 ms");
            EXPECT_EQ(lines[4 * i + 1], "");
            const std::string& call = lines[4 * i + 2];
            EXPECT_TRUE(call.compare(0, calls[i].size(), calls[i]) == 0 &&
                        std::regex_match(call.substr(calls[i].size()), std::regex(R"(\d+\.\d\d ms)")))
                << call;
            EXPECT_EQ(lines[4 * i + 3], "");
        }
    }
    ExpectNoAssertion();
}

TEST_F(ScriptProfile, ScriptErrorsLeaveTheProfileStackBalanced)
{
    const void* host = reinterpret_cast<const void*>(HostFunction);
    lua->AddNativeProfileRecord(host, u"Host.Run");
    RunChunk(u"local function fails() error('inside') end\n"
             u"function middle() fails() end\n",
             u"@fails.lua");
    RunChunk(u"middle()", u"@run.lua");         // the error unwinds two profiled frames
    RunChunk(u"pcall(middle)", u"@caught.lua"); // caught inside the script, which goes on
    int32_t reference = manager->CompileString(u"middle()");
    Variable out;
    manager->CallFunction(out, nullptr, reference);

    // A host call whose script fails in between: its own record is still the one it closes.
    manager->ProfileEnterNative(host);
    RunChunk(u"middle()", u"@nested.lua");
    manager->ProfileLeaveNative();

    TakeDump();
    RunChunk(u"local function ok() end\nfor i = 1, 4 do ok() end", u"@ok.lua");
    Dump dump = TakeDump();
    EXPECT_EQ(dump.byTotal, (std::vector<DumpRow>{{"Lua", "ok", "@ok.lua:1", 4, 0}}));
    ExpectNoAssertion();
}

// A host function that raises, and a coroutine suspended inside a profiled call, leave no frame for another
// function's return to close: nothing is reported and every count lands on its own function.
TEST_F(ScriptProfile, RaisingHostCallsAndSuspendedCoroutinesKeepTheirFramesApart)
{
    Probe::Register(*manager);
    struct Case
    {
        const char16_t* script;
        const char16_t* chunk;
        std::vector<DumpRow> rows; // by name
    };
    const Case cases[] = {
        {u"local p = Probe.new()\nlocal function f() p:fail() end\nlocal function g() pcall(f) end\n"
         u"for i = 1, 3 do g() end",
         u"@raise.lua",
         {{"C", "Probe.new", "", 1, 0}, {"Lua", "g", "@raise.lua:3", 3, 0}}},
        {u"local co = coroutine.wrap(function() for i = 1, 9 do coroutine.yield(i) end end)\n"
         u"local function step() return (co()) end\nfor i = 1, 3 do step() end",
         u"@resume.lua",
         {{"Lua", "step", "@resume.lua:2", 3, 0}}},
        {u"local co = coroutine.create(function() local p = Probe.new() p:fail() end)\n"
         u"local function run() local ok = coroutine.resume(co) return ok end\nrun() run()",
         u"@dies.lua",
         {{"C", "Probe.new", "", 1, 0}, {"Lua", "run", "@dies.lua:2", 2, 0}}},
    };
    for (const Case& c : cases)
    {
        TakeDump();
        RunChunk(c.script, c.chunk);
        manager->CollectGarbage(); // the probes the script made
        std::vector<DumpRow> rows = TakeDump().byTotal;
        std::sort(rows.begin(), rows.end(),
                  [](const DumpRow& a, const DumpRow& b) { return a.name < b.name; });
        EXPECT_EQ(rows, c.rows) << Narrow(String(c.chunk));
        ExpectNoAssertion();
    }
}

TEST_F(ScriptProfile, HostFunctionsWithoutARecordAreNotTimed)
{
    const void* host = reinterpret_cast<const void*>(HostFunction);
    manager->EnableProfiling(false);
    lua->AddNativeProfileRecord(host, u"Late.Call"); // registered while profiling is off: no record
    manager->ProfileEnterNative(host);               // no effect while profiling is off
    manager->ProfileLeaveNative();
    ExpectNoAssertion();

    manager->EnableProfiling(true);
    manager->ProfileEnterNative(host);
    EXPECT_EQ(logs.error.Count(u"Assertion Failed : it\r\n"), 1u);
    EXPECT_EQ(logs.error.Count(u"Assertion Failed : p != _null && p->mCFunc\r\n"), 1u);
    RunChunk(u"local function ok() end\nok()", u"@ok.lua");
    manager->ProfileLeaveNative();
    EXPECT_EQ(logs.error.Count(u"Assertion Failed"), 2u); // the leave matched its enter

    Dump dump = TakeDump();
    EXPECT_EQ(dump.byTotal, (std::vector<DumpRow>{{"Lua", "ok", "@ok.lua:1", 1, 0}}));
}

// Called from a script: closes the top profile record as if a host function ended.
int LeaveNative(lua_State*)
{
    LuaScriptManager::Instance()->ProfileLeaveNative();
    return 0;
}

TEST_F(ScriptProfile, UnmatchedLeavesAreReportedAndTheCallBoundaryKept)
{
    manager->ProfileLeaveNative();
    EXPECT_EQ(logs.error.Count(u"Assertion Failed : mProfStack.Length( ) > 0\r\n"), 1u);

    // A host leave without a host call open is reported once and closes nothing: the function's return and
    // the chunk's still close their own frames, and the call's boundary stays for the call to remove.
    lua_register(manager->GetLuaState(), "leave_native", LeaveNative);
    RunChunk(u"local function f() leave_native() end\nf()", u"@leave.lua");
    EXPECT_EQ(logs.error.Count(u"Assertion Failed : p !=_null && p->mCFunc == cfunc\r\n"), 1u);
    EXPECT_EQ(logs.error.Count(u"Assertion Failed : finish\r\n"), 0u);

    RunChunk(u"local function ok() end\nok()", u"@ok.lua");
    EXPECT_EQ(logs.error.Count(u"Assertion Failed"), 2u);
    Dump dump = TakeDump();
    std::vector<DumpRow> rows = dump.byTotal;
    std::sort(rows.begin(), rows.end(), [](const DumpRow& a, const DumpRow& b) { return a.place < b.place; });
    EXPECT_EQ(rows,
              (std::vector<DumpRow>{{"Lua", "f", "@leave.lua:1", 1, 0}, {"Lua", "ok", "@ok.lua:1", 1, 0}}));
}

TEST_F(ScriptProfile, SwitchedOffNothingIsCountedAndReleaseDumps)
{
    RunChunk(u"function f() end\nf() f()", u"@f.lua");
    manager->EnableProfiling(false);
    RunChunk(u"f() f() f()", u"@more.lua");
    logs.trace.calls.clear();
    manager->DumpProfile(); // writes nothing while profiling is off
    EXPECT_TRUE(logs.trace.calls.empty());
    manager->EnableProfiling(true);

    Dump dump = TakeDump();
    EXPECT_EQ(dump.byTotal, (std::vector<DumpRow>{{"Lua", "f", "@f.lua:1", 2, 0}}));

    RunChunk(u"f()", u"@last.lua");
    logs.trace.calls.clear();
    manager->Release();
    manager = nullptr;
    std::vector<std::string> lines = TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[LS] Dump lua profile Begin");
    EXPECT_TRUE(
        std::regex_match(lines[3], std::regex(R"(  \[Lua\], f, \(@f\.lua:1\), called 1 time\(s\), .*)")))
        << lines[3];
    EXPECT_EQ(lines.back(), "[LS] Dump lua profile finished");
}

} // namespace
