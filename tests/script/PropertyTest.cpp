// What scripts see of an object table: properties through getters and setters, the default property, fields
// of their own, members added to the class table later, and the object as text.
#include "Probe.h"

#include "Source/Common/StringFormatter.h"
#include "support/Text.h"

#include <string>

using namespace Zelto;

namespace
{

// A class whose only property is the default one: the getter answers the key; the setter counts the writes
// that reach it and, returning nothing, lets the value be stored.
class Bag : public ScriptObject
{
public:
    explicit Bag(int32_t ownTable) : ScriptObject("Bag", ownTable) {}

    const char16_t* Get(const char16_t* key)
    {
        reply = u"got " + std::u16string(key);
        return reply.c_str();
    }
    int32_t Pass(IScriptManager& manager)
    {
        ++writes;
        manager.Return();
        return 0; // no result: not handled
    }

    std::u16string reply;
    int writes = 0;
};

class PropertyTest : public BindingTest
{
protected:
    void SetUp() override
    {
        BindingTest::SetUp();
        static const ScriptMember members[] = {ScriptProperty<&Bag::Get, &Bag::Pass>("")};
        RegisterScriptClass(*manager, "Bag", nullptr, members);
    }
};

} // namespace

TEST_F(PropertyTest, NamedGetterAndSetterReachTheHost)
{
    auto* probe = new Probe();
    Publish("p", probe);
    Run(u"p.label = 'first'; p:add(3)");
    EXPECT_EQ(Narrow(probe->label), "first");
    ExpectResults({
        {u"return p.label", "'first'"},
        {u"p.label = 'second'; return p.label", "'second'"}, // a handled write stores nothing raw
        {u"return p.total", "3"},
        {u"return p.unknown", "none"}, // no default getter
        {u"return p.answer", "none"},  // constants of the class table are not members of instances
        {u"return Probe.answer", "42"},
        {u"return getmetatable(p) == Probe", "true"},
    });
}

TEST_F(PropertyTest, DefaultGetterReceivesTheKey)
{
    Bag bag(0);
    Publish("b", &bag);
    manager->LockObject(&bag); // the test owns it
    ExpectResults({
        {u"return b.colour", "'got colour'"},
        {u"return b[7]", "'got 7'"},
    });
    Run(u"b = nil");
}

TEST_F(PropertyTest, SetterReturningNothingStoresRawWhereTheObjectKeepsItsFields)
{
    struct Case
    {
        int32_t ownTable;
        int writesReachingTheSetter; // of two writes of the same key
    };
    for (Case c : {Case{0, 1}, Case{1, 2}})
    {
        Bag bag(c.ownTable);
        Publish("b", &bag);
        manager->LockObject(&bag); // the test owns it
        EXPECT_EQ(Describe(Run(u"b.x = 1; b.x = 2; return b.x")), "2") << c.ownTable;
        EXPECT_EQ(bag.writes, c.writesReachingTheSetter) << c.ownTable;
        EXPECT_EQ(Describe(Run(u"return rawget(b, 'x') ~= nil")), c.ownTable ? "false" : "true");
        Run(u"b = nil");
    }
}

TEST_F(PropertyTest, MembersAssignedToTheClassTableReachExistingInstances)
{
    Publish("p", new Probe());
    Run(u"function Probe.twice(self) return self.total * 2 end");
    ExpectResults({
        {u"return p:add(4):twice()", "8"},
        {u"return Probe.twice == p.twice", "true"},
        {u"return rawget(Probe, 'twice')", "none"}, // kept behind the class table
    });
}

TEST_F(PropertyTest, ObjectAsTextShowsTheHostAddressUnlessTheClassSaysOtherwise)
{
    auto* probe = new Probe();
    Publish("p", probe);
    std::string address = Narrow(
        Format(u"'table: 0x%08llx'", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(probe))));
    EXPECT_EQ(Describe(Run(u"return tostring(p)")), address);
    Run(u"function Probe.tostring(self) return 'probe of ' .. self.total end");
    EXPECT_EQ(Describe(Run(u"return tostring(p:add(5))")), "'probe of 5'");
}

TEST_F(PropertyTest, MethodsWithoutAValueChain)
{
    Publish("p", new Probe());
    ExpectResults({
        {u"return p:add(1):add(2):add(3).total", "6"},
        {u"return p:add(1) == p", "true"},
        {u"p.mine = 'kept'; return p.mine", "'kept'"}, // an object's own fields
    });
}
