#include "ScriptFixture.h"

#include "support/Text.h"

#include <lua.hpp>

#include <algorithm>
#include <sstream>
#include <vector>

namespace Zelto
{

void ScriptTest::SetUp()
{
    manager = GetScriptManager();
    ASSERT_NE(manager, nullptr);
    lua = static_cast<LuaScriptManager*>(manager);
}

void ScriptTest::TearDown()
{
    if (manager != nullptr)
        manager->Release();
}

Variable ScriptTest::Run(const char16_t* text)
{
    Variable out;
    manager->RunString(out, text, u"test", 1);
    return out;
}

void ScriptTest::ExpectResults(std::initializer_list<ScriptResult> cases)
{
    for (const ScriptResult& c : cases)
        EXPECT_EQ(Describe(Run(c.script)), c.expected) << Narrow(String(c.script));
}

void ScriptTest::Push(const char16_t* text)
{
    Variable out;
    manager->RunString(out, text, u"test", 2);
}

std::u16string ScriptTest::LastError()
{
    const char16_t* text = nullptr;
    manager->GetLastErrorText(&text);
    return text;
}

int ScriptTest::Top()
{
    return lua_gettop(manager->GetLuaState());
}

std::string Describe(const Variable& variable)
{
    std::ostringstream text;
    if (variable.IsArray())
    {
        text << '[';
        for (uint32_t i = 0; i < variable.children.Length(); ++i)
            text << (i != 0 ? ", " : "") << Describe(*variable.children[int32_t(i)]);
        text << ']';
        return text.str();
    }
    switch (variable.type)
    {
    case VariableNone:
        return "none";
    case VariableBool:
        return variable.value.i32 != 0 ? "true" : "false";
    case VariableDouble:
        text << variable.value.f64;
        return text.str();
    case VariableText:
        return "'" + Narrow(String(variable.value.text)) + "'";
    case VariableBinary:
        return "bytes:" + std::to_string(variable.value.block.length);
    case VariableFunction:
        return "function";
    case VariablePointer:
        return "pointer";
    case VariableStruct:
    {
        std::vector<std::string> members;
        for (const Variable* member : variable.children)
            members.push_back(Narrow(member->name) + (member->hasKey ? "#" : "") + "=" + Describe(*member));
        std::sort(members.begin(), members.end());
        text << '{';
        for (size_t i = 0; i < members.size(); ++i)
            text << (i != 0 ? ", " : "") << members[i];
        text << '}';
        return text.str();
    }
    default:
        return "type " + std::to_string(variable.type);
    }
}

} // namespace Zelto
