// The manager's life and its states: one manager per process, state switching, the libraries scripts get,
// states supplied by the host, and a manager made again after Release.
#include "ScriptFixture.h"

#include "Source/Common/StringFormatter.h"
#include "support/Text.h"

#include <lua.hpp>

using namespace Zelto;

TEST_F(ScriptTest, OneManagerPerProcessAnnouncedOnce)
{
    EXPECT_EQ(GetScriptManager(), manager);
    EXPECT_EQ(logs.trace.Count(u"[KL] Lua ScriptManager Created"), 1u);
    EXPECT_EQ(manager->GetScriptType(), 2);
    EXPECT_EQ(manager->QueryReserved(nullptr), 0);
    EXPECT_NE(manager->GetLuaState(), nullptr);
    EXPECT_EQ(manager->GetNativeHandle(), static_cast<void*>(manager->GetLuaState()));
}

TEST_F(ScriptTest, SwitchingToAnInvalidIndexFailsAndKeepsTheCurrentState)
{
    lua_State* first = manager->GetLuaState();
    ASSERT_EQ(manager->CreateState(nullptr), 1);
    for (int32_t index : {2, -1, 100})
    {
        EXPECT_FALSE(manager->SwitchState(index)) << index;
        EXPECT_EQ(manager->GetLuaState(), first);
        std::u16string message =
            u"[LS] Failed to switch script state to invalid index " + Text(Format(u"%d", index));
        EXPECT_EQ(logs.trace.Count(message), 1u) << index;
    }

    ASSERT_TRUE(manager->SwitchState(1));
    EXPECT_NE(manager->GetLuaState(), first);
    Run(u"only_here = 1");
    ASSERT_TRUE(manager->SwitchState(0));
    EXPECT_EQ(manager->GetLuaState(), first);
    Variable out;
    EXPECT_TRUE(manager->GetField(out, nullptr, "only_here").IsEmpty()); // each state has its own globals
}

TEST_F(ScriptTest, ScriptsGetTheirLibrariesOnlyAndRunInterpreted)
{
    ExpectResults({
        {u"return type(string.format)", "'function'"},
        {u"return type(table.insert)", "'function'"},
        {u"return type(math.floor)", "'function'"},
        {u"return type(bit.band)", "'function'"},
        {u"return type(debug.traceback)", "'function'"},
        {u"return type(coroutine.wrap)", "'function'"},
        {u"return (jit.status())", "false"},
        {u"return type(io)", "'nil'"},
        {u"return type(os)", "'nil'"},
        {u"return type(package)", "'nil'"},
        {u"return type(require)", "'nil'"},
        {u"return type(ffi)", "'nil'"},
    });
}

TEST_F(ScriptTest, StateOfTheHostIsTakenAsItIsAndLeftOpen)
{
    lua_State* own = luaL_newstate();
    ASSERT_NE(own, nullptr);
    int32_t index = manager->CreateState(own);
    ASSERT_EQ(index, 1);
    ASSERT_TRUE(manager->SwitchState(index));
    EXPECT_EQ(manager->GetLuaState(), own);
    Variable out;
    EXPECT_TRUE(manager->GetField(out, nullptr, "print").IsEmpty()); // no library was opened in it
    EXPECT_EQ(Describe(Run(u"return 6 * 7")), "42");

    manager->Release();
    manager = nullptr;
    lua_pushinteger(own, 5); // still open
    EXPECT_EQ(lua_tointeger(own, -1), 5);
    lua_close(own);
}

TEST_F(ScriptTest, ReleasedManagerIsMadeAnewOnTheNextRequest)
{
    Run(u"left_behind = true");
    manager->Release();
    manager = GetScriptManager();
    ASSERT_NE(manager, nullptr);
    Variable out;
    EXPECT_TRUE(manager->GetField(out, nullptr, "left_behind").IsEmpty());
    EXPECT_EQ(logs.trace.Count(u"[KL] Lua ScriptManager Created"), 2u);
    EXPECT_EQ(Describe(Run(u"return 1 + 1")), "2");
}

TEST_F(ScriptTest, ObjectWithoutATableHasNoFieldsOrCallbacks)
{
    auto* stranger = reinterpret_cast<ScriptObject*>(uintptr_t(0x1000));
    int top = Top();
    Variable value(u"", VariableDouble);
    manager->SetField(stranger, "x", value);
    Variable out;
    EXPECT_TRUE(manager->GetField(out, stranger, "x").IsEmpty());
    EXPECT_TRUE(manager->CallFunction(out, stranger, 7).IsEmpty());
    EXPECT_EQ(Top(), top);
    EXPECT_TRUE(manager->GetField(out, nullptr, "x").IsEmpty()); // nor did the value land among the globals
}
