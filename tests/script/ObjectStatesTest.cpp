// Objects and the states around them: an object's entries and holds are released in the state it was bound
// in, whichever state is current and after its manager went; a state the host passed in outlives the manager
// without reaching its objects; and an object the collector deletes cannot enter the collector again.
#include "Probe.h"
#include "support/Text.h"

#include <lua.hpp>

#include <string>
#include <vector>

using namespace Zelto;

namespace
{

constexpr int Chunks = 20;

// Chunks compiled in the current state, each answering its own letter; Intact counts those that still do.
struct LetteredChunks
{
    explicit LetteredChunks(IScriptManager& manager) : manager(manager)
    {
        for (int i = 0; i < Chunks; ++i)
            references.push_back(manager.CompileString((u"return '" + Letter(i) + u"'").c_str()));
    }
    static std::u16string Letter(int i) { return std::u16string(1, char16_t(u'A' + i)); }
    int Intact()
    {
        int intact = 0;
        for (int i = 0; i < Chunks; ++i)
        {
            Variable out;
            manager.CallFunction(out, nullptr, references[size_t(i)]);
            intact += out.type == VariableText && std::u16string(out.value.text) == Letter(i) ? 1 : 0;
        }
        return intact;
    }
    IScriptManager& manager;
    std::vector<int32_t> references;
};

// A probe that runs a script and a collection from its destructor, as a host object might.
class Restless : public Probe
{
public:
    ~Restless() override
    {
        IScriptManager* manager = GetScriptManager();
        Variable out;
        manager->RunString(out, u"collectgarbage()", u"destructor", 0);
        manager->CollectGarbage();
        manager->GetField(out, nullptr, "p");
    }
};

} // namespace

// Holds taken in one state and released while another is current (or by the next manager) leave the current
// state's references alone.
TEST_F(BindingTest, UnbindingReleasesTheHoldsOfTheObjectsOwnState)
{
    for (bool newManager : {false, true})
    {
        ASSERT_TRUE(manager->SwitchState(manager->CreateState(nullptr)));
        Probe::Register(*manager);
        auto* probe = new Probe();
        for (int i = 0; i < 8; ++i)
            ASSERT_EQ(manager->HoldObject(probe), probe);
        manager->LockObject(probe);
        if (newManager)
        {
            manager->Release();
            manager = GetScriptManager();
            Probe::Register(*manager);
        }
        ASSERT_TRUE(manager->SwitchState(0));
        LetteredChunks chunks(*manager);
        manager->ReleaseObject(probe);
        delete probe;
        EXPECT_EQ(chunks.Intact(), Chunks) << (newManager ? "new manager" : "other state");
    }
}

// The host's own state stays open after the manager: the objects it still references are no objects to its
// scripts, and its collections reach none of them.
TEST_F(BindingTest, AHostStateOutlivesTheManagerWithoutReachingItsObjects)
{
    lua_State* host = luaL_newstate();
    ASSERT_NE(host, nullptr);
    luaL_openlibs(host);
    ASSERT_TRUE(manager->SwitchState(manager->CreateState(host)));
    Probe::Register(*manager);
    auto* kept = new Probe();
    auto* dropped = new Probe();
    Publish("p", kept);
    Publish("q", dropped);
    manager->LockObject(kept);
    manager->LockObject(dropped);
    manager->Release();
    manager = GetScriptManager();
    delete kept;
    delete dropped;
    EXPECT_EQ(Probe::live, 0);

    ASSERT_EQ(luaL_dostring(host, "q = nil return tostring(p)"), 0);
    EXPECT_STREQ(lua_tostring(host, -1), "table: 0x00000000");
    lua_gc(host, LUA_GCCOLLECT, 0);
    lua_close(host);
    Probe::Register(*manager); // for the fixture's end
}

// Closing its own state, the manager deletes the objects scripts own, as the collector would have once their
// tables were unreachable, and only unbinds those the host keeps: never given to a script, locked, held, or
// attached to one of those.
TEST_F(BindingTest, ClosingItsOwnStateDeletesTheObjectsScriptsOwn)
{
    auto* locked = new Probe();
    locked->child = new Probe();
    auto* held = new Probe();
    auto* neverGiven = new Probe(); // bound, and anchored until a script receives it
    Publish("p", locked);
    Publish("q", held);
    manager->LockObject(locked);
    ASSERT_EQ(manager->AttachObject(locked, locked->child), locked->child);
    ASSERT_EQ(manager->HoldObject(held), held);
    // Script-owned: one in a global, one in a table, one already unreachable, and one whose destructor runs
    // a script and a collection in the closing state.
    Run(u"r = Probe.new(); s = {Probe.new():spawn()}");
    Publish("t", new Restless());
    ASSERT_EQ(Probe::live, 8);

    manager->Release();
    manager = GetScriptManager();
    lua = static_cast<LuaScriptManager*>(manager);
    EXPECT_EQ(Probe::live, 4);
    delete locked; // and its child
    delete held;
    delete neverGiven;
    EXPECT_EQ(Probe::live, 0);
    Probe::Register(*manager); // for the fixture's end
}

// The collector deletes an object whose destructor runs a script, collects and reads a field: each is
// refused and logged, and the object goes once.
TEST_F(BindingTest, AnObjectDeletedByTheCollectorCannotEnterItAgain)
{
    Publish("q", new Restless());
    Run(u"q = nil");
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
    for (const char16_t* refused : {u"A run", u"A collection", u"A field's reading"})
        EXPECT_EQ(logs.error.Count(std::u16string(refused) + u" inside the collector"), 1u)
            << Narrow(String(refused));
    EXPECT_EQ(Describe(Run(u"return 1 + 2")), "3");
}
