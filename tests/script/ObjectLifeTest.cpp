// How long host objects live once bound: the collector deletes what scripts received and dropped, and nothing
// the host keeps through an anchor, a lock, a hold or an owner.
#include "Probe.h"

#include <lua.hpp>

using namespace Zelto;

namespace
{

void CollectTwice(IScriptManager* manager)
{
    manager->CollectGarbage();
    manager->CollectGarbage();
}

} // namespace

TEST_F(BindingTest, BoundButNeverPushedSurvivesUntilTheHostDeletesIt)
{
    auto* probe = new Probe();
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 1);
    delete probe; // unbinds: the collector must not see it again
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 0);
}

TEST_F(BindingTest, PushedThenDroppedIsDeletedOnceByAFullCollection)
{
    Publish("p", new Probe());
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 1);
    Run(u"p = nil");
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
    manager->CollectGarbage(); // nothing left to delete twice
    EXPECT_EQ(Probe::live, 0);
}

TEST_F(BindingTest, LockedSurvivesUntilUnlockedAndCollectedAgain)
{
    auto* probe = new Probe();
    Publish("p", probe);
    EXPECT_EQ(manager->LockObject(probe), probe);
    EXPECT_EQ(manager->LockObject(probe), probe); // locks count
    Run(u"p = nil");
    CollectTwice(manager);
    manager->UnlockObject(probe);
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 1);
    manager->UnlockObject(probe);
    EXPECT_EQ(Probe::live, 1); // unlocking alone deletes nothing
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
}

TEST_F(BindingTest, HeldSurvivesUntilEveryHoldIsReleased)
{
    auto* probe = new Probe();
    Publish("p", probe);
    EXPECT_EQ(manager->HoldObject(probe), probe);
    EXPECT_EQ(manager->HoldObject(probe), probe);
    Run(u"p = nil");
    CollectTwice(manager);
    manager->ReleaseObject(probe);
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 1);
    manager->ReleaseObject(probe);
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
}

TEST_F(BindingTest, AttachedChildLivesAsLongAsItsOwnersTable)
{
    auto* owner = new Probe();
    auto* child = new Probe();
    Publish("p", owner);
    EXPECT_EQ(manager->AttachObject(owner, child), child); // also ends the child's anchor
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 2);

    manager->DetachObject(owner, child);
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 1);

    auto* second = new Probe();
    manager->AttachObject(owner, second);
    Run(u"p = nil");
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
}

TEST_F(BindingTest, OperationsOnUnboundOrMissingObjectsRefuse)
{
    auto* probe = new Probe();
    manager->UnbindObject(probe);
    EXPECT_EQ(probe->binding, nullptr);
    EXPECT_EQ(manager->LockObject(probe), nullptr);
    EXPECT_EQ(manager->HoldObject(probe), nullptr);
    EXPECT_EQ(manager->AttachObject(probe, nullptr), nullptr);
    EXPECT_EQ(manager->AttachObject(nullptr, probe), nullptr);
    EXPECT_EQ(manager->LockObject(nullptr), nullptr);
    manager->UnlockObject(probe);
    manager->ReleaseObject(probe);
    manager->DetachObject(probe, probe);
    EXPECT_EQ(manager->BindObject("Probe", nullptr, 0), nullptr);
    delete probe;
}

TEST_F(BindingTest, AnObjectTheHostDestroyedIsNoObjectToScriptsAnyMore)
{
    auto* probe = new Probe();
    Publish("p", probe);
    Run(u"q = p");
    delete probe;
    ExpectResults({
        {u"return select('#', q:add(1))", "0"}, // no self: no effect, no result
        {u"return tostring(q)", "'table: 0x00000000'"},
        {u"return q.total", "none"},
    });
    Run(u"p, q = nil");
    CollectTwice(manager);
}

TEST_F(BindingTest, ObjectsReapedByACollectionInsideAHostCall)
{
    // Parents own a bound child that their destruction deletes: an unbinding inside the reaper.
    Run(u"p = Probe.new(); made = {}");
    for (int i = 0; i < 20; ++i)
    {
        auto* parent = new Probe();
        parent->child = new Probe();
        Publish("q", parent);
        Run(u"made[#made + 1] = q; q = nil");
    }
    Run(u"made = nil; for i = 1, 50 do Probe.new():spawn():add(i) end");
    EXPECT_GT(Probe::live, 1);
    Run(u"p:collect(); p:collect()");
    EXPECT_EQ(Probe::live, 1);
    EXPECT_EQ(Describe(Run(u"return p:add(2):add(3).total")), "5");
}

TEST_F(BindingTest, AnObjectOutlivingItsManagerIsDestroyedWithoutReachingTheClosedState)
{
    auto* probe = new Probe();
    Publish("p", probe);
    manager->LockObject(probe); // the host keeps it beyond the state
    manager->Release();
    manager = GetScriptManager(); // another manager, another state
    lua = static_cast<LuaScriptManager*>(manager);
    delete probe;
    EXPECT_EQ(Probe::live, 0);
}

// Children attached to locked owners live as long as the owners, whatever order the collector meets their
// tables in; detaching them afterwards finds them whole.
TEST_F(BindingTest, ChildrenOfLockedOwnersSurviveTheirOwnersTables)
{
    constexpr int Pairs = 40;
    Probe* owners[Pairs];
    Probe* children[Pairs];
    for (int i = 0; i < Pairs; ++i)
    {
        owners[i] = new Probe();
        children[i] = new Probe();
        Publish(("p" + std::to_string(i)).c_str(), owners[i]);
        ASSERT_EQ(manager->AttachObject(owners[i], children[i]), children[i]);
        manager->LockObject(owners[i]);
    }
    Run(u"for i = 0, 39 do _G['p' .. i] = nil end");
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 2 * Pairs);
    for (int i = 0; i < Pairs; ++i)
    {
        manager->DetachObject(owners[i], children[i]);
        manager->UnlockObject(owners[i]);
    }
    manager->CollectGarbage();
    EXPECT_EQ(Probe::live, 0);
}

// An owner that has no table keeps nothing: the attaching fails and the child stays the host's.
TEST_F(BindingTest, AttachingToAnUnboundOwnerFailsAndLeavesTheChild)
{
    auto* owner = new Probe();
    manager->UnbindObject(owner);
    auto* child = new Probe();
    EXPECT_EQ(manager->AttachObject(owner, child), nullptr);
    CollectTwice(manager);
    EXPECT_EQ(Probe::live, 2);
    EXPECT_NE(child->binding, nullptr);
    delete child;
    delete owner;
}
