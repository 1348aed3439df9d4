// The native-call protocol as host functions see it: arguments counted after the self object, the Return
// operations, errors raised at the end of a call, argument texts and their buffers, stored callbacks.
#include "Probe.h"

#include "support/Text.h"

#include <lua.hpp>

#include <set>

using namespace Zelto;

namespace
{

int calls = 0;
int32_t lastReference = 0;

// A host function registered as a global or a function reference: counts its calls, keeps a reference to its
// first argument when that is a function, and returns what a run of its first argument left.
int Evaluate(lua_State*)
{
    IScriptManager* manager = GetScriptManager();
    if (manager->BeginCall(nullptr, nullptr, nullptr, nullptr) == nullptr)
        return manager->Return();
    ++calls;
    lastReference = manager->RefArgFunction(0);
    if (lastReference == 0)
    {
        const char16_t* text = nullptr;
        manager->GetArgString(&text, 0);
        Variable out;
        manager->RunString(out, text, u"evaluated", 2);
    }
    return manager->Return();
}

void* const EvaluateFunction = reinterpret_cast<void*>(&calls); // any non-null host function

} // namespace

TEST_F(BindingTest, ArgumentsReadAsEachKindCountingAfterTheObject)
{
    auto* probe = new Probe();
    Publish("p", probe);
    struct Case
    {
        const char16_t* call;
        const char* reading;
    };
    const Case cases[] = {
        {u"p:inspect()", "n=0 b=0 i8=0 u8=0 i16=0 u16=0 wc=0 i32=0 u32=0 i64=0 u64=0 f=0 d=0 s='' o=0"},
        {u"p:inspect(2.5)",
         "n=1 b=1 i8=2 u8=2 i16=2 u16=2 wc=2 i32=2 u32=2 i64=2 u64=2 f=2.5 d=2.5 s='2.5' o=0"},
        {u"p:inspect(3.5, 0)",
         "n=2 b=1 i8=4 u8=4 i16=4 u16=4 wc=4 i32=4 u32=3 i64=3 u64=3 f=3.5 d=3.5 s='3.5' o=0"},
        {u"p:inspect(-1)", "n=1 b=1 i8=-1 u8=255 i16=-1 u16=65535 wc=65535 i32=-1 u32=4294967295 i64=-1 "
                           "u64=18446744073709551615 f=-1 d=-1 s='-1' o=0"},
        {u"p:inspect(300)",
         "n=1 b=1 i8=44 u8=44 i16=300 u16=300 wc=300 i32=300 u32=300 i64=300 u64=300 f=300 "
         "d=300 s='300' o=0"},
        {u"p:inspect(4278190080)",
         "n=1 b=1 i8=0 u8=0 i16=0 u16=0 wc=0 i32=-16777216 u32=4278190080 "
         "i64=4278190080 u64=4278190080 f=4.27819e+09 d=4.27819e+09 s='4278190080' o=0"},
        {u"p:inspect('12')", "n=1 b=1 i8=12 u8=12 i16=12 u16=12 wc=12 i32=12 u32=12 i64=12 u64=12 f=12 d=12 "
                             "s='12' o=0"},
        {u"p:inspect('abc')",
         "n=1 b=1 i8=0 u8=0 i16=0 u16=0 wc=0 i32=0 u32=0 i64=0 u64=0 f=0 d=0 s='abc' o=0"},
        // The text of a number is made from a copy: the argument stays the script's number for later reads.
        {u"p:inspect(2^53 + 2)", "n=1 b=1 i8=2 u8=2 i16=2 u16=2 wc=2 i32=2 u32=2 i64=9007199254740994 "
                                 "u64=9007199254740994 f=9.0072e+15 d=9.0072e+15 s='9.007199254741e+15' o=0"},
        {u"p:inspect(false)",
         "n=1 b=0 i8=0 u8=0 i16=0 u16=0 wc=0 i32=0 u32=0 i64=0 u64=0 f=0 d=0 s='false' o=0"},
    };
    for (const Case& c : cases)
    {
        Run(c.call);
        EXPECT_EQ(probe->reading, c.reading) << Narrow(String(c.call));
    }
    Run(u"p:inspect(Probe.new())");
    EXPECT_NE(probe->reading.find(" o=1"), std::string::npos);
    // Read into a text or binary Variable, a number stays the script's number as well.
    ExpectResults({{u"return p:textThenNumber(2^53 + 2) == 2^53 + 2", "true"},
                   {u"return p:textThenNumber(1 / 3) == 1 / 3", "true"}});
}

TEST_F(BindingTest, EachReturnOperationGivesItsValue)
{
    Publish("p", new Probe());
    ExpectResults({
        {u"return tostring(p:give(0))", "'true'"},
        {u"return tostring(p:give(1))", "'233'"},
        {u"return tostring(p:give(2))", "'-5'"},
        {u"return tostring(p:give(3))", "'-300'"},
        {u"return tostring(p:give(4))", "'-70000'"},
        {u"return tostring(p:give(5))", "'5'"}, // wide integers: their low 32 bits, signed
        {u"return tostring(p:give(6))", "'250'"},
        {u"return tostring(p:give(7))", "'65535'"},
        {u"return tostring(p:give(8))", "'-16777216'"},
        {u"return tostring(p:give(9))", "'7'"},
        {u"return tostring(p:give(10))", "'0.5'"},
        {u"return tostring(p:give(11))", "'0.25'"},
        {u"return p:give(12) == 'h\\195\\169llo'", "true"},
        {u"return #p:give(13)", "1400"}, // beyond the narrow buffer
        {u"return select('#', p:give(14)), p:give(14) == nil", "1"},
        {u"return p:give(15)", "'variable'"},
        {u"return p:give(99) == p", "true"},
        {u"return #p:echo(string.rep('\\195\\169', 1100))", "2200"}, // an argument text beyond its buffer
    });
}

TEST_F(BindingTest, ErrorsSetByAHostFunctionAreScriptErrorsAtTheEndOfTheCall)
{
    auto* probe = new Probe();
    Publish("p", probe);
    ExpectResults({
        {u"local ok, e = pcall(p.fail, p); return tostring(ok) .. ' ' .. e", "'false probe failed'"},
        {u"return p:add(2).total", "2"}, // the failed call left no frame open
    });
    Run(u"p:add(1)\np:fail()\np:add(100)");
    EXPECT_NE(LastError().find(u"probe failed"), std::u16string::npos);
    EXPECT_EQ(probe->total, 3);
}

TEST_F(BindingTest, AFunctionWithoutHostFunctionOrObject)
{
    auto* probe = new Probe();
    Publish("p", probe);
    manager->BeginClass("Hollow", nullptr);
    const void* none = nullptr;
    manager->RegisterFunction("call", &none, CallScriptMember, false);
    manager->EndClass();
    ScriptObject* hollow = new ScriptObject("Hollow");
    Publish("q", hollow);
    ExpectResults({
        {u"local ok, e = pcall(q.call, q); return e", "'Internal Error : function empty'"},
        {u"return select('#', p.add(5)), p.total", "0"}, // no object first: no effect, no result
    });
    EXPECT_EQ(probe->total, 0);
}

TEST_F(BindingTest, ArgumentTextsLastUntilTheCallEndsAndTheirBuffersAreReused)
{
    auto* probe = new Probe();
    Publish("p", probe);
    Run(u"p:remember('one', 'two')");
    std::set<const char16_t*> buffers{probe->texts[0], probe->texts[1]};
    Run(u"p:remember('three', 'four')");
    EXPECT_EQ((std::set<const char16_t*>{probe->texts[0], probe->texts[1]}), buffers);

    Run(u"p:remember('kept through', 'nested calls', true)");
    EXPECT_EQ(probe->copies[0], u"kept through");
    EXPECT_EQ(probe->copies[1], u"nested calls");

    Run(u"p:remember(string.rep('y', 1500), 'short', true)"); // longer than a buffer: its own allocation
    EXPECT_EQ(probe->copies[0], std::u16string(1500, u'y'));
    EXPECT_EQ(probe->copies[1], u"short");
}

TEST_F(BindingTest, StoredCallbacksAndFunctionReferences)
{
    auto* probe = new Probe();
    Publish("p", probe);
    Run(u"p:onEvent(function() return 'event' end)");
    EXPECT_EQ(probe->callback, 64);
    Variable out;
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 64)), "'event'");
    Run(u"p:onEvent(nil)");
    EXPECT_EQ(probe->callback, 0);
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 64)), "none");

    int32_t evaluate = manager->CreateFunctionRef(&EvaluateFunction, Evaluate);
    ASSERT_NE(evaluate, 0);
    Variable function(u"", VariableFunction);
    function.value.i32 = evaluate;
    manager->SetField(nullptr, "evaluate", function);
    EXPECT_EQ(Describe(Run(u"return evaluate('return 6 * 7')")), "42"); // the run's result is returned

    Run(u"evaluate(function() return 'kept' end)");
    ASSERT_NE(lastReference, 0);
    EXPECT_EQ(Describe(manager->CallFunction(out, nullptr, lastReference)), "'kept'");
    EXPECT_EQ(manager->StoreFunctionRef(probe, 65, lastReference), 65); // the reference goes with it
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 65)), "'kept'");
    int32_t key = 65;
    manager->ClearStoredFunction(probe, &key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 65)), "none");

    manager->ReleaseFunctionRef(&evaluate);
    EXPECT_EQ(evaluate, 0);
    EXPECT_EQ(calls, 2);
}

TEST_F(BindingTest, GlobalObjectsGlobalFunctionsAndRegistrationMistakes)
{
    manager->CreateGlobalObject("made", "Probe");
    EXPECT_EQ(Describe(Run(u"return made:add(2).total")), "2");

    manager->RegisterFunction("evaluate", &EvaluateFunction, Evaluate, false); // no class open: a global
    EXPECT_EQ(Describe(Run(u"return evaluate('return 1 + 1')")), "2");

    struct Case
    {
        void (*misuse)(IScriptManager*);
        const char16_t* report;
    };
    const Case cases[] = {
        {[](IScriptManager* m) { m->EndClass(); }, u"Assertion Failed : mClassName != _null"},
        {[](IScriptManager* m) { m->RegisterReadOnlyProperty("x", nullptr, Evaluate, nullptr); },
         u"Assertion Failed : mClassName != _null"},
        {[](IScriptManager* m) { m->RegisterConstant("x", Variable(), nullptr, false); },
         u"Assertion Failed : mClassName != _null"},
        {[](IScriptManager* m)
         {
             m->BeginClass("Twice", nullptr);
             m->BeginClass("Again", nullptr);
             m->EndClass();
         },
         u"Assertion Failed : mClassName == _null"},
        {[](IScriptManager* m) { m->CreateGlobalObject("none", "NoSuchClass"); },
         u"Assertion Failed : lua_type( mLuaState, -1 ) == LUA_TTABLE"},
        {[](IScriptManager* m) { m->CreateGlobalObject("none", "string"); },
         u"Assertion Failed : lua_type( mLuaState, -1 ) == LUA_TFUNCTION"},
    };
    for (const Case& c : cases)
    {
        int top = Top();
        size_t before = logs.error.Count(c.report);
        c.misuse(manager);
        EXPECT_EQ(logs.error.Count(c.report), before + 1) << Narrow(String(c.report));
        EXPECT_EQ(Top(), top) << Narrow(String(c.report));
    }
}

TEST_F(BindingTest, OutsideANativeCallNothingIsOpen)
{
    const char16_t* text = nullptr;
    manager->GetArgString(&text, 0);
    EXPECT_EQ(std::u16string(text), u"");
    EXPECT_EQ(manager->GetSelf(nullptr, 0), nullptr);
    EXPECT_EQ(manager->GetArgInt32(0), 0);
    EXPECT_EQ(manager->GetArgObject(0), nullptr);
    EXPECT_EQ(manager->Return(), 0);
    EXPECT_EQ(manager->ReturnInt32(5), 0);
    EXPECT_EQ(manager->ReturnString(u"x"), 0);
    EXPECT_EQ(Top(), 0);
}

TEST_F(BindingTest, HostCallsFromCoroutinesWorkOnTheCoroutinesThread)
{
    auto* probe = new Probe();
    Publish("p", probe);
    ExpectResults({
        {u"local co = coroutine.wrap(function(o) o:add(2); coroutine.yield(o.total); return "
         u"o:add(3):add(4).total end) "
         u"local first = co(p); return first * 100 + co()",
         "209"},
        {u"return coroutine.wrap(function() return Probe.new():add(5).total end)()", "5"},
        {u"local co = coroutine.create(function() p:fail() end) "
         u"local ok, e = coroutine.resume(co); return tostring(ok) .. ' ' .. e",
         "'false [string \"test\"]:1: probe failed'"},
        {u"local ok = coroutine.resume(coroutine.create(function() p.label = 'set inside' end)); return "
         u"p.label",
         "'set inside'"},
        {u"return p:add(1).total", "10"},
    });
}

TEST_F(BindingTest, AScriptErrorThatSkipsTheEndOfACallLeavesNothingOpen)
{
    auto* probe = new Probe();
    Publish("p", probe);
    ExpectResults({
        {u"local ok, e = pcall(p.abort, p, 'text'); return e", "'aborted'"},
        {u"return coroutine.wrap(function() return select(2, pcall(p.abort, p, 'text')) end)()", "'aborted'"},
        {u"return p:add(1):add(1).total", "2"},
    });
    Run(u"p:abort('text')");
    EXPECT_EQ(Describe(Run(u"return p:add(1).total")), "3");
    EXPECT_EQ(Describe(Run(u"local co = coroutine.create(function() p:abort('text') end) "
                           u"coroutine.resume(co); return p:add(1).total")),
              "4");
    EXPECT_EQ(manager->Return(), 0); // no call is open
}
