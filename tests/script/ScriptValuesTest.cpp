// Script values read into Variables (by their script type, or into a given type), Variables pushed to
// scripts, and script values as text.
#include "ScriptFixture.h"

#include "Source/Common/Memory.h"
#include "support/Text.h"

#include <lua.hpp>

#include <functional>
#include <string>

using namespace Zelto;

TEST_F(ScriptTest, ScriptValuesReadByTheirType)
{
    ExpectResults({
        {u"return {10, 20, 30}", "[10, 20, 30]"},
        {u"return {10, 20, x = 1}", "{1#=10, 2#=20, x=1}"},
        {u"return {[2] = 5}", "{2#=5}"},
        {u"return {[1.5] = 'half'}", "{1.5#='half'}"},
        {u"return {}", "{}"},
        {u"return {1, nil, 3}", "{1#=1, 3#=3}"}, // more pairs than its length
        {u"return {a = {b = {true, 'x'}}}", "{a={b=[true, 'x']}}"},
        {u"return {[true] = 1}", "{true=1}"},
        {u"return 'caf\\195\\169'", "'caf\xe9'"},
        {u"return 1.5", "1.5"},
        {u"return false", "false"},
        {u"return nil", "none"},
        {u"return print", "function"},
        {u"return coroutine.create(print)", "none"},
    });

    Variable array = Run(u"return {10, 20, 30}");
    EXPECT_EQ(array.type, VariableArray);
    EXPECT_EQ(array.Find(u"#").AsInt(), 3);
    EXPECT_EQ(array.Find(u"[2]").AsDouble(), 30);
    Variable keyed = Run(u"return {[2] = 5}");
    EXPECT_EQ(Text(keyed.Child(0).name), u"2");
    EXPECT_EQ(keyed.Child(0).key, 2);
    EXPECT_EQ(keyed.Child(0).hasKey, 1);
}

TEST_F(ScriptTest, TablesInsideThemselvesOrTooDeepAreCutWithAMessage)
{
    const std::u16string message =
        u"[LS] A table nested in itself or deeper than 64 levels is read as nothing";
    int top = Top();
    EXPECT_EQ(Describe(Run(u"local t = {1} t.again = t t.other = {t} return t")),
              "{1#=1, again=none, other=[none]}");
    EXPECT_EQ(logs.trace.Count(message), 2u);

    Variable deep = Run(u"local t = {} for i = 1, 100 do t = {t} end return t");
    int levels = 0;
    for (Variable* level = &deep; level->IsArray(); level = &level->Child(0))
        ++levels;
    EXPECT_EQ(levels, 64);
    EXPECT_EQ(logs.trace.Count(message), 3u);
    EXPECT_EQ(Top(), top);
}

namespace
{

uint32_t CountEntries(const Variable& variable)
{
    uint32_t count = 0;
    for (const Variable* child : variable.children)
        count += 1 + CountEntries(*child);
    return count;
}

} // namespace

// Tables shared at every level are read once per path to them: one read stops at its limit of entries, says
// so once, and gives what it read.
TEST_F(ScriptTest, SharedTablesAreReadWithinALimitOfEntries)
{
    const std::u16string message = u"[LS] A value of more than 262144 table entries is read only in part";
    struct Case
    {
        const char16_t* script;
        uint32_t entries; // 0: cut at the limit
    };
    const Case cases[] = {
        {u"local t = {} for i = 1, 10 do t = { a = t, b = t } end return t", 2046},
        {u"local t = {} for i = 1, 43 do t = { a = t, b = t } end return t", 0},
        {u"local t = {} for i = 1, 43 do t = { t, t } end return t", 0},
    };
    for (const Case& c : cases)
    {
        size_t before = logs.trace.Count(message);
        int top = Top();
        Variable read = Run(c.script);
        uint32_t entries = CountEntries(read);
        if (c.entries != 0)
            EXPECT_EQ(entries, c.entries);
        else
            EXPECT_LE(entries, 262144u);
        EXPECT_EQ(logs.trace.Count(message) - before, c.entries != 0 ? 0u : 1u);
        EXPECT_EQ(Top(), top);
    }
}

TEST_F(ScriptTest, GlobalTableReadsAsTheFunctionReturningIt)
{
    Run(u"config = {width = 640, modes = {{w = 640}, {w = 800}}, title = 'x'}\n"
        u"function getConfig() return config end");
    Variable field, function, result;
    manager->GetField(field, nullptr, "config");
    manager->GetFieldWide(function, nullptr, u"getConfig");
    ASSERT_EQ(function.type, VariableFunction);
    manager->CallFunction(result, nullptr, function.value.i32);
    EXPECT_EQ(Describe(field), "{modes=[{w=640}, {w=800}], title='x', width=640}");
    EXPECT_EQ(Describe(result), Describe(field));
    EXPECT_EQ(field.Find(u"modes[1].w").AsInt(), 800);
}

TEST_F(ScriptTest, VariablesPushedToScripts)
{
    struct Case
    {
        const char* what;
        std::function<void(Variable&)> make;
        const char16_t* script; // sees the value as v
        const char* expected;
    };
    auto integer = [](uint32_t type, uint64_t bits)
    {
        return [=](Variable& v)
        {
            v.Reset(u"v", type);
            v.value.u64 = bits;
        };
    };
    const Case cases[] = {
        {"uint32 4294967295", integer(VariableUInt32, 4294967295u), u"return v", "-1"},
        {"uint64 above 32 bits", integer(VariableUInt64, 0x100000007), u"return v", "7"},
        {"int32 -5", integer(VariableInt32, uint32_t(-5)), u"return v", "-5"},
        {"int8 byte 0xFF", integer(VariableInt8, 0xFF), u"return v", "-1"},
        {"uint8 255", integer(VariableUInt8, 0xFF), u"return v", "255"},
        {"int16 0xFFFF", integer(VariableInt16, 0xFFFF), u"return v", "-1"},
        {"wchar 0xFFFF", integer(VariableWChar, 0xFFFF), u"return v", "65535"},
        {"boolean", integer(VariableBool, 1), u"return v == true", "true"},
        {"float",
         [](Variable& v)
         {
             v.Reset(u"v", VariableFloat);
             v.value.f32 = 1.5f;
         },
         u"return v", "1.5"},
        {"text",
         [](Variable& v)
         {
             v.Reset(u"v", VariableText);
             v.SetText(u"caf\u00e9");
         },
         u"return v == 'caf\\195\\169'", "true"},
        {"empty text", [](Variable& v) { v.Reset(u"v", VariableText); }, u"return v == ''", "true"},
        {"bytes",
         [](Variable& v)
         {
             v.Reset(u"v", VariableBinary);
             v.SetBinary("a\0b", 3);
         },
         u"return #v .. ':' .. v:byte(2)", "'3:0'"},
        {"null pointer", [](Variable& v) { v.Reset(u"v", VariablePointer); }, u"return v == nil", "true"},
        {"array",
         [](Variable& v)
         {
             v.Reset(u"v", VariableArray | VariableDouble);
             v.AddElements(3);
             v.Child(2).value.f64 = 9;
         },
         u"return #v .. ',' .. v[1] .. ',' .. v[3]", "'3,0,9'"},
        {"structure with a numeric key",
         [](Variable& v)
         {
             v.Reset(u"v", VariableStruct);
             v.Create(u"x", VariableDouble).value.f64 = 1;
             Variable& keyed = v.Create(u"five", VariableDouble);
             keyed.value.f64 = 2;
             keyed.key = 5;
             keyed.hasKey = 1;
         },
         u"return v.x + v[5] + (v.five and 100 or 0)", "3"},
        {"nested",
         [](Variable& v)
         {
             v.Reset(u"v", VariableStruct);
             v.Create(u"a.b.c", VariableText).SetText(u"deep");
         },
         u"return v.a.b.c", "'deep'"},
    };
    for (const Case& c : cases)
    {
        Variable value;
        c.make(value);
        int top = Top();
        manager->SetField(nullptr, "v", value);
        EXPECT_EQ(Top(), top);
        EXPECT_EQ(Describe(Run(c.script)), c.expected) << c.what;
    }
}

TEST_F(ScriptTest, FunctionsTravelAsReferences)
{
    Variable function = Run(u"return function(a) return a * 2 end");
    ASSERT_EQ(function.type, VariableFunction);
    manager->SetFieldWide(nullptr, u"double_it", function);
    EXPECT_EQ(Describe(Run(u"return double_it(21)")), "42");

    Variable argument(u"", VariableDouble);
    argument.value.f64 = 4;
    Array<Variable> arguments;
    arguments.Add(argument);
    Variable out;
    EXPECT_EQ(Describe(manager->CallFunctionArray(out, nullptr, function.value.i32, arguments)), "8");
    EXPECT_TRUE(manager->CallFunction(out, nullptr, 0).IsEmpty());
}

TEST_F(ScriptTest, ValuesReadIntoAGivenType)
{
    struct Case
    {
        const char16_t* script;
        uint32_t type;
        uint64_t bits; // the value bytes expected
    };
    const Case cases[] = {
        {u"return 2.5", VariableInt32, 2}, // integers round half to even
        {u"return 3.5", VariableInt32, 4},
        {u"return -2.5", VariableInt32, uint32_t(-2)},
        {u"return '12'", VariableInt32, 12},
        {u"return 'abc'", VariableInt32, 0},
        {u"return 300", VariableUInt8, 44},
        {u"return -1", VariableInt8, 0xFF},
        {u"return 70000", VariableUInt16, 70000 & 0xFFFF},
        {u"return true", VariableBool, 1},
        {u"return nil", VariableBool, 0},
        {u"return 4294967295", VariableUInt32, 0xFFFFFFFF},
        {u"return -1", VariableUInt32, 0xFFFFFFFF},
        {u"return -2.9", VariableInt64, uint64_t(int64_t(-2))},
        {u"return 1e10", VariableInt64, 10000000000u},
        {u"return 2^63", VariableUInt64, 0x8000000000000000u},
    };
    lua_State* state = manager->GetLuaState();
    for (const Case& c : cases)
    {
        Push(c.script);
        Variable value(u"typed", c.type);
        lua->ReadVariable(value, -1);
        lua_pop(state, 1);
        EXPECT_EQ(value.type, c.type) << Narrow(String(c.script));
        EXPECT_EQ(value.value.u64, c.bits) << Narrow(String(c.script));
    }

    struct TextCase
    {
        const char16_t* script;
        uint32_t type;
        const char* expected;
    };
    const TextCase texts[] = {
        {u"return 5", VariableText, "'5'"},
        {u"return true", VariableText, "'true'"},
        {u"return nil", VariableText, "'nil'"},
        {u"return 'ab\\0c'", VariableBinary, "bytes:4"},
        {u"return {}", VariableBinary, "bytes:0"},
        {u"return 0.25", VariableDouble, "0.25"},
        {u"return {1}", VariableStruct, "{}"}, // structures and arrays are not read into
        {u"return print", VariableFunction, "function"},
    };
    for (const TextCase& c : texts)
    {
        Push(c.script);
        Variable value(u"typed", c.type);
        lua->ReadVariable(value, -1);
        lua_pop(state, 1);
        EXPECT_EQ(Describe(value), c.expected) << Narrow(String(c.script));
    }
}

TEST_F(ScriptTest, ValuesAsText)
{
    lua_State* state = manager->GetLuaState();
    struct Case
    {
        const char16_t* script;
        std::u16string expected; // a prefix for addresses
    };
    const Case cases[] = {
        {u"return 'text'", u"text"},
        {u"return 12", u"12"},
        {u"return nil", u"nil"},
        {u"return false", u"false"},
        {u"return setmetatable({}, {__tostring = function() return 'shown' end})", u"shown"},
        {u"return setmetatable({}, {__tostring = function() error('no') end})", u"table: 0x"},
        {u"return {}", u"table: 0x"},
        {u"return print", u"function: 0x"},
        {u"return coroutine.create(print)", u""},
    };
    char16_t buffer[1024];
    for (const Case& c : cases)
    {
        Push(c.script);
        int top = Top();
        char16_t* text = lua->ToWideText(-1, buffer, 1024);
        EXPECT_EQ(text, buffer);
        std::u16string shown(text);
        EXPECT_EQ(shown.compare(0, c.expected.size(), c.expected), 0) << Narrow(String(c.script));
        if (c.expected.size() > 2 && c.expected.substr(c.expected.size() - 2) == u"0x")
        {
            EXPECT_GE(shown.size(), c.expected.size() + 8); // the whole address, at least eight digits
        }
        EXPECT_EQ(Top(), top);
        lua_settop(state, top - 1);
    }

    Push(u"return string.rep('ab', 600)");
    char16_t* text = lua->ToWideText(-1, buffer, 1024);
    ASSERT_NE(text, buffer); // too long for the buffer: an allocation of its own
    EXPECT_EQ(std::u16string(text).size(), 1200u);
    Memory::Free(text);
    lua_pop(state, 1);
}
