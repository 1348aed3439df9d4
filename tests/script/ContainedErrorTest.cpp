// No script error reaches the host: lookups through raising metamethods, class registration and global
// objects behind strict globals, and values whose metatable raises end as script errors (recorded and logged)
// or are done raw, and the process goes on.
#include "ScriptFixture.h"

#include "Source/Script/ScriptClass.h"
#include "support/Text.h"

#include <string>

using namespace Zelto;

namespace
{

// A class whose getter fails the way host functions report errors.
class Failing : public ScriptObject
{
public:
    Failing() : ScriptObject("Failing") {}

    int32_t Broken(IScriptManager& manager)
    {
        manager.SetError(u"getter failed");
        return manager.Return();
    }
};

void RegisterFailing(IScriptManager& manager)
{
    static const ScriptMember members[] = {
        ScriptConstant("code", 7),
        ScriptReadOnly<&Failing::Broken>("broken"),
    };
    RegisterScriptClass(manager, "Failing", ScriptConstructor<Failing>, members);
}

const char16_t* const StrictGlobals =
    u"setmetatable(_G, { __index = function(_, k) error('undefined ' .. k) end, "
    u"__newindex = function(_, k) error('assigning ' .. k) end })";

class ContainedErrorTest : public ScriptTest
{
protected:
    void TearDown() override
    {
        Run(u"setmetatable(_G, nil); f = nil");
        manager->CollectGarbage();
        ScriptTest::TearDown();
    }
};

} // namespace

TEST_F(ContainedErrorTest, LookupsThroughRaisingMetamethods)
{
    RegisterFailing(*manager);
    struct Case
    {
        const char16_t* setup;
        const char* objectGlobal; // the field is read from this object, else from the globals
        const char* field;
        const char* expectedStart; // of the result in Describe's form
        const char16_t* error;     // in the last error, empty for none
    };
    const Case cases[] = {
        {StrictGlobals, nullptr, "missing", "none", u"undefined missing"},
        {u"f = Failing.new()", "f", "broken", "none", u"getter failed"},
        // A key whose metatable's own metatable raises: its text is made without asking either.
        {u"t = { [setmetatable({}, setmetatable({}, { __index = function() error('meta') end }))] = 1 }",
         nullptr, "t", "{table: 0x", u""},
    };
    for (const Case& c : cases)
    {
        Run(c.setup);
        ScriptObject* object = nullptr;
        if (c.objectGlobal != nullptr)
        {
            Variable named;
            manager->GetField(named, nullptr, c.objectGlobal);
            ASSERT_EQ(named.type, VariablePointer) << c.field;
            object = static_cast<ScriptObject*>(named.value.pointer);
        }
        int top = Top();
        Variable out;
        manager->GetField(out, object, c.field);
        EXPECT_EQ(Describe(out).rfind(c.expectedStart, 0), 0u) << c.field << ": " << Describe(out);
        EXPECT_EQ(Top(), top) << c.field;
        if (c.error[0] != 0)
        {
            EXPECT_NE(LastError().find(c.error), std::u16string::npos) << Narrow(String(LastError().c_str()));
            EXPECT_GE(logs.error.Count(c.error), 1u) << c.field;
        }
        Run(u"setmetatable(_G, nil)");
    }
}

// The host's classes and global objects are made behind strict globals, which neither raise nor refuse them.
TEST_F(ContainedErrorTest, RegistrationBehindStrictGlobals)
{
    Run(StrictGlobals);
    int top = Top();
    RegisterFailing(*manager);
    manager->CreateGlobalObject("failing", "Failing");
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(Describe(Run(u"return rawget(_G, 'Failing').code")), "7");
    EXPECT_EQ(Describe(Run(u"return rawget(_G, 'failing') ~= nil")), "true");
    Run(u"setmetatable(_G, nil); failing = nil");
}

// Without "debug" behind strict globals, a script error is still reported as itself.
TEST_F(ContainedErrorTest, ErrorsBehindStrictGlobalsWithoutTheDebugLibrary)
{
    Run(u"debug = nil");
    Run(StrictGlobals);
    Run(u"error('plain failure')");
    EXPECT_NE(LastError().find(u"plain failure"), std::u16string::npos)
        << Narrow(String(LastError().c_str()));
}
