// What a native call may rely on whatever the script does around it: its object is of the member's class, an
// object that its own method destroyed is left alone, a host error caught in a coroutine leaves no frame that
// names the coroutine, and an error, a run's result or an argument belongs to the one call that made it.
#include "Probe.h"

#include "support/Text.h"

#include <lua.hpp>

#include <climits>
#include <cstring>

using namespace Zelto;

namespace
{

// A class whose method fills a block far larger than a probe: run on a probe, it would write past it.
class Wide : public ScriptObject
{
public:
    Wide() : ScriptObject("Wide") {}
    void Clear() { std::memset(block, 0x5A, sizeof block); }
    char block[4096] = {};
};

// Members that end their call in the unusual ways.
class Edge : public ScriptObject
{
public:
    Edge() : ScriptObject("Edge") { ++live; }
    ~Edge() override { --live; }
    static int live;

    void Destroy() { delete this; }
    int32_t DestroyThenReturn(IScriptManager& manager)
    {
        delete this;
        return manager.ReturnInt32(5);
    }
    int32_t SwitchThenReturn(IScriptManager& manager)
    {
        manager.SwitchState(0);
        return manager.ReturnInt32(7);
    }
    int32_t LeaveResult(IScriptManager& manager) // a run's result left for this call, which answers itself
    {
        Variable out;
        manager.RunString(out, u"return 'left'", u"left", 2);
        return manager.Return();
    }
    int32_t FailAroundRun(IScriptManager& manager) // an error set before a run whose host calls succeed
    {
        manager.SetError(u"outer failed");
        Variable out;
        manager.RunString(out, u"p:add(1)", u"inner", 0);
        return manager.Return();
    }
    int32_t ReadFarArguments(IScriptManager& manager) // every reader at argument numbers no call has
    {
        int32_t read = 0;
        for (int32_t argument : {INT32_MAX, INT32_MAX - 1, INT32_MAX - 2, 65536, -1, INT32_MIN})
        {
            const char16_t* text = nullptr;
            manager.GetArgString(&text, argument);
            Variable value;
            manager.GetArgVariable(value, argument);
            read += manager.GetArgInt32(argument) + int32_t(manager.GetArgDouble(argument)) +
                    (manager.GetArgBool(argument) ? 1 : 0) +
                    (manager.GetArgObject(argument) != nullptr ? 1 : 0) +
                    int32_t(std::u16string(text).size()) + (value.IsEmpty() ? 0 : 1) +
                    manager.RefArgFunction(argument) + manager.StoreArgFunction(this, 9, argument);
        }
        return manager.ReturnInt32(read);
    }
};

int Edge::live = 0;

// A global host function on the host's side of the protocol: 100 times its argument count plus its first
// argument; with no argument it ends with a bare Return.
int Measure(lua_State*)
{
    IScriptManager* manager = GetScriptManager();
    manager->BeginCall(nullptr, nullptr, nullptr, nullptr);
    int32_t count = manager->GetArgCount();
    if (count == 0)
        return manager->Return();
    return manager->ReturnInt32(count * 100 + manager->GetArgInt32(0));
}

// Answers whether it found its object: registered inside the class "Wide".
int HasSelf(lua_State*)
{
    IScriptManager* manager = GetScriptManager();
    manager->BeginCall(nullptr, nullptr, nullptr, nullptr);
    return manager->ReturnBool(manager->GetSelf(nullptr, 0) != nullptr);
}

void* const AnyHostFunction = reinterpret_cast<void*>(&Edge::live); // the trampolines above need none

class CallFrameTest : public BindingTest
{
protected:
    void SetUp() override
    {
        BindingTest::SetUp();
        Edge::live = 0;
        static const ScriptMember wideMembers[] = {ScriptMethod<&Wide::Clear>("clear")};
        RegisterScriptClass(*manager, "Wide", nullptr, wideMembers);
        manager->BeginClass("Wide", nullptr); // the class again, for a method on the host's side
        manager->RegisterFunction("hasSelf", &AnyHostFunction, HasSelf, false);
        manager->EndClass();
        static const ScriptMember edgeMembers[] = {
            ScriptMethod<&Edge::Destroy>("destroy"),
            ScriptMethod<&Edge::DestroyThenReturn>("destroyThenReturn"),
            ScriptMethod<&Edge::SwitchThenReturn>("switchThenReturn"),
            ScriptMethod<&Edge::LeaveResult>("leaveResult"),
            ScriptMethod<&Edge::FailAroundRun>("failAroundRun"),
            ScriptMethod<&Edge::ReadFarArguments>("readFarArguments"),
        };
        RegisterScriptClass(*manager, "Edge", nullptr, edgeMembers);
        manager->RegisterFunction("measure", &AnyHostFunction, Measure, false);
    }
    void TearDown() override
    {
        Run(u"w, e = nil");
        BindingTest::TearDown();
        EXPECT_EQ(Edge::live, 0);
    }
};

// A probe bound under its own class, as a host class derived from Probe would be.
class LoudProbe : public Probe
{
public:
    int32_t volume = 11;
};

} // namespace

TEST_F(CallFrameTest, AMemberRunsOnlyOnAnObjectOfItsClass)
{
    auto* probe = new Probe();
    auto* wide = new Wide();
    Publish("p", probe);
    Publish("q", new LoudProbe());
    Publish("w", wide);
    ExpectResults({
        {u"return select('#', w.clear(p))", "0"}, // another class's object is no object: nothing runs
        {u"return select('#', p.add(w, 5))", "0"},
        {u"return select('#', p.add({}, 5))", "0"},                   // as a plain table
        {u"Wide.steal = p.add; return select('#', w:steal(5))", "0"}, // a method moved to another class
        {u"return w.hasSelf(p)", "false"},                            // the host's own trampolines too
        {u"return w:hasSelf()", "true"},
        {u"return p.add(q, 5).total", "5"}, // a derived host class bound under the class
        {u"return p:add(2).total", "2"},
    });
    EXPECT_EQ(probe->total, 2);
    EXPECT_EQ(wide->block[0], 0);
    Run(u"w:clear()");
    EXPECT_EQ(wide->block[4095], 0x5A);
}

TEST_F(CallFrameTest, AMemberThatDestroysItsObjectLeavesItAlone)
{
    struct Case
    {
        const char16_t* script;
        const char* result;
    };
    const Case cases[] = {
        {u"return select('#', e:destroy())", "0"}, // no object left to answer
        {u"return e:destroyThenReturn()", "5"},
        {u"e:destroy(); return select('#', e:destroy())", "0"}, // the table names no object any more
    };
    for (const Case& c : cases)
    {
        Publish("e", new Edge());
        EXPECT_EQ(Describe(Run(c.script)), c.result) << Narrow(String(c.script));
        EXPECT_EQ(Edge::live, 0) << Narrow(String(c.script));
    }
}

TEST_F(CallFrameTest, AHostErrorCaughtInACoroutineLeavesNoFrameNamingIt)
{
    Publish("p", new Probe());
    ExpectResults({
        // The coroutine dies with the error and goes with the next collection; the calls after it run on the
        // main thread and read their own arguments.
        {u"local co = coroutine.create(function() p:abort('x') end) coroutine.resume(co) co = nil "
         u"collectgarbage() collectgarbage() return measure(4, 5)",
         "204"},
        {u"local co = coroutine.create(function() p:abort('x') end) coroutine.resume(co) co = nil "
         u"collectgarbage() return p:add(1):add(2).total + measure(7)",
         "110"},
        {u"local ok = pcall(coroutine.wrap(function() p:abort('x') end)) collectgarbage() return measure(1, "
         u"2, 3)",
         "301"},
        // Nested: the caught error of an inner coroutine leaves the outer one's call open and working.
        {u"return coroutine.wrap(function() "
         u"  coroutine.resume(coroutine.create(function() p:abort('x') end)) collectgarbage() "
         u"  return measure(9) end)()",
         "109"},
    });
    EXPECT_EQ(manager->Return(), 0); // no call is open
}

TEST_F(CallFrameTest, AnErrorBelongsToTheCallThatSetIt)
{
    auto* probe = new Probe();
    Publish("p", probe);
    // A script that kept a callback and then failed at its top level: the failure is the run's, not the
    // callback's, whose host calls later succeed.
    const char script[] = "p:onEvent(function() return p:add(1):add(1).total end)\nerror('late')";
    DataBuffer buffer;
    ASSERT_TRUE(buffer.Attach(script, sizeof script - 1, true));
    Variable out;
    manager->RunBuffer(out, buffer, 0);
    EXPECT_NE(LastError().find(u"late"), std::u16string::npos);
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 64)), "2");
    EXPECT_EQ(Describe(manager->CallFunction(out, probe, 64)), "4");
    manager->SetError(u"outside any call"); // nothing to fail
    EXPECT_EQ(Describe(Run(u"return p:add(1).total")), "5");
    // An error set by a call that then runs a script: the script's host calls succeed, the call fails.
    Publish("e", new Edge());
    EXPECT_EQ(
        Describe(Run(
            u"local ok, e = pcall(e.failAroundRun, e) return tostring(ok) .. ' ' .. p.total .. ' ' .. e")),
        "'false 6 outer failed'");
}

TEST_F(CallFrameTest, ProtocolCornersFromCoroutinesAndAfterRuns)
{
    Publish("p", new Probe());
    Publish("e", new Edge());
    ExpectResults({
        // A host function switching to the state it runs in, from a coroutine: its value reaches the script.
        {u"return coroutine.wrap(function() return e:switchThenReturn() end)()", "7"},
        {u"return e:switchThenReturn()", "7"},
        // A host function on the host's side of the protocol reads its arguments on the coroutine's thread.
        {u"return coroutine.wrap(function(a, b) return measure(a, b, 0) end)(6, 1)", "306"},
        {u"local co = coroutine.create(function() return measure(8) end) return select(2, "
         u"coroutine.resume(co))",
         "108"},
        // A run's result left for a call that answered its object belongs to no later call.
        {u"e:leaveResult(); return select('#', measure())", "0"},
        {u"return e:leaveResult() == e", "true"},
        {u"return select('#', measure())", "0"},
        // Argument numbers that no call has read as nothing, whatever their size.
        {u"return e:readFarArguments(function() end, 1, 'x')", "0"},
        {u"return coroutine.wrap(function() return e:readFarArguments(p, 2) end)()", "0"},
    });
}
