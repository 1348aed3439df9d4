// Variables: arrays of structures and their paths, creation by path, numeric reads, deep copies, clearing.
#include "Common/Variable.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Zelto;

namespace
{

// An array of structures whose template has the members x (int32) and y (double), with three elements.
struct Points : ::testing::Test
{
    void SetUp() override
    {
        list.Create(u"x", VariableInt32);
        list.Create(u"y", VariableDouble);
        list.AddElements(3);
    }

    Variable list{u"points", VariableArray | VariableStruct};
};

} // namespace

TEST(Variable, NewArrayOfStructuresHasACountAndAnEmptyTemplate)
{
    Variable list(u"points", VariableArray | VariableStruct);
    ASSERT_NE(list.counter, nullptr);
    EXPECT_EQ(Text(list.counter->name), u"#");
    EXPECT_EQ(list.counter->type, VariableUInt32);
    EXPECT_EQ(list.counter->value.u64, 0u);
    ASSERT_NE(list.mTemplate, nullptr);
    EXPECT_EQ(list.mTemplate->type, VariableStruct);
    EXPECT_TRUE(list.mTemplate->name.IsEmpty());
    EXPECT_EQ(list.mTemplate->children.Length(), 0u);
    EXPECT_EQ(list.children.Length(), 0u);

    Variable numbers(u"numbers", VariableArray | VariableDouble); // no template for plain elements
    EXPECT_NE(numbers.counter, nullptr);
    EXPECT_EQ(numbers.mTemplate, nullptr);
}

TEST_F(Points, ElementsTakeTheTemplatesShapeAndTheCountFollows)
{
    ASSERT_EQ(list.children.Length(), 3u);
    for (int32_t i = 0; i < 3; ++i)
    {
        const Variable& element = list.Child(i);
        EXPECT_EQ(Text(element.name), std::u16string(u"[") + char16_t(u'0' + i) + u"]");
        EXPECT_EQ(element.type, VariableStruct);
        ASSERT_EQ(element.children.Length(), 2u);
        EXPECT_EQ(Text(element.children[0]->name), u"x");
        EXPECT_EQ(element.children[0]->type, VariableInt32);
        EXPECT_EQ(Text(element.children[1]->name), u"y");
    }
    EXPECT_EQ(list.counter->value.u64, 3u);

    list.AddElements(0);
    list.AddElements(-1);
    EXPECT_EQ(list.children.Length(), 3u);
    list.AddElements(2);
    EXPECT_EQ(Text(list.Child(4).name), u"[4]");
    EXPECT_EQ(list.counter->value.u64, 5u);
}

TEST_F(Points, PathsReachElementsMembersAndTheCount)
{
    struct Case
    {
        const char16_t* path;
        const Variable* expected;
    };
    const Case cases[] = {
        {u"", &list},
        {u"[1]", list.children[1]},
        {u"[1].x", list.children[1]->children[0]},
        {u"[2].y", list.children[2]->children[1]},
        {u"[3].x", &Variable::Empty()},
        {u"[-1].x", &Variable::Empty()},
        {u"#", list.counter},
        {u"x", list.mTemplate->children[0]}, // members not found in an element come from the template
        {u"z", &Variable::Empty()},
        {u"[1].x.deeper", &Variable::Empty()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(&list.Find(c.path), c.expected) << Narrow(String(c.path));
}

TEST_F(Points, MemberCreatedLaterReachesEveryElement)
{
    Variable& label = list.Create(u"label", VariableText);
    EXPECT_EQ(&label, list.mTemplate->children[2]);
    for (Variable* element : list.children)
        EXPECT_EQ(element->Find(u"label").type, VariableText);
    EXPECT_EQ(&list.Create(u"label", VariableText), &label); // an existing member is returned as it is
}

TEST(Variable, CreateMakesTheStructuresOnThePath)
{
    Variable root(u"root", VariableStruct);
    Variable& c = root.Create(u"a.b.c", VariableDouble);
    EXPECT_EQ(c.type, VariableDouble);
    EXPECT_EQ(Text(c.name), u"c");
    EXPECT_EQ(root.Find(u"a").type, VariableStruct);
    EXPECT_EQ(root.Find(u"a.b").type, VariableStruct);
    EXPECT_EQ(&root.Find(u"a.b.c"), &c);
    EXPECT_EQ(&root.Create(u"a.b.c", VariableInt32), &c);
    EXPECT_EQ(root.children.Length(), 1u);
}

TEST(Variable, CreateBelowANonStructureGivesTheEmptyVariable)
{
    Variable number(u"n", VariableDouble);
    EXPECT_EQ(&number.Create(u"x", VariableInt32), &Variable::Empty());
    EXPECT_EQ(number.children.Length(), 0u);

    Variable root(u"root", VariableStruct);
    root.Create(u"n", VariableDouble);
    EXPECT_EQ(&root.Create(u"n.x", VariableInt32), &Variable::Empty());
    EXPECT_EQ(Variable::Empty().type, VariableNone);
    EXPECT_EQ(Variable::Empty().children.Length(), 0u);
}

TEST(Variable, NumericReads)
{
    struct Case
    {
        const char* what;
        uint32_t type;
        uint64_t bits; // for floats and doubles, the value is set below
        double number;
        int32_t asInt;
        int64_t asInt64;
        double asDouble;
        uint64_t asUInt64;
    };
    const Case cases[] = {
        {"double 2.9", VariableDouble, 0, 2.9, 2, 2, 2.9, 2},
        {"float -2.9", VariableFloat, 0, -2.9, -2, -2, double(-2.9f), UINT64_MAX - 1},
        {"double out of range", VariableDouble, 0, 1e20, INT32_MIN, INT32_MIN, 1e20, 0x8000000000000000u},
        {"double above 2^63", VariableDouble, 0, 1.5e19, INT32_MIN, INT32_MIN, 1.5e19, 15000000000000000000u},
        {"int32 -5", VariableInt32, uint32_t(-5), 0, -5, 0xFFFFFFFB, -5, 0xFFFFFFFB},
        {"uint32 4294967295", VariableUInt32, 0xFFFFFFFF, 0, -1, 0xFFFFFFFF, -1, 0xFFFFFFFF},
        {"int64 above 32 bits", VariableInt64, 0x100000005, 0, 5, 0x100000005, 5, 0x100000005},
        {"boolean", VariableBool, 1, 0, 1, 1, 1, 1},
        {"text", VariableText, 0, 0, 0, 0, 0, 0},
        {"structure", VariableStruct, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        Variable v(u"v", c.type);
        v.value.u64 = c.bits;
        if (c.type == VariableDouble)
            v.value.f64 = c.number;
        else if (c.type == VariableFloat)
            v.value.f32 = float(c.number);
        EXPECT_EQ(v.AsInt(), c.asInt) << c.what;
        EXPECT_EQ(v.AsInt64(), c.asInt64) << c.what;
        EXPECT_EQ(v.AsDouble(), c.asDouble) << c.what;
        EXPECT_EQ(v.AsUInt64(), c.asUInt64) << c.what;
    }
}

TEST(Variable, CopiesOwnTheirTextAndBytes)
{
    Variable text(u"t", VariableText);
    text.SetText(u"caf\u00e9");
    Variable bytes(u"b", VariableBinary);
    const uint8_t data[] = {1, 0, 2, 255};
    bytes.SetBinary(data, sizeof data);

    for (Variable* source : {&text, &bytes})
    {
        Variable copy(*source);
        EXPECT_EQ(Text(copy.name), Text(source->name));
        EXPECT_NE(copy.value.pointer, source->value.pointer);
        copy.Clear();
        EXPECT_EQ(copy.type, VariableNone);
    }
    EXPECT_EQ(std::u16string(text.value.text), u"caf\u00e9");
    ASSERT_EQ(bytes.value.block.length, sizeof data);
    EXPECT_EQ(std::memcmp(bytes.value.block.bytes, data, sizeof data), 0);

    Variable other;
    other = text;
    other.SetText(u"changed");
    EXPECT_EQ(std::u16string(text.value.text), u"caf\u00e9");
    other.SetText(other.value.text); // its own text
    EXPECT_EQ(std::u16string(other.value.text), u"changed");
}

TEST(Variable, EmptyValuesAreNullAndSettersKeepToTheirType)
{
    Variable text(u"t", VariableText);
    text.SetText(u"x");
    text.SetText(u"");
    EXPECT_EQ(text.value.text, nullptr);

    Variable bytes(u"b", VariableBinary);
    bytes.SetBinary("abc", 0);
    EXPECT_EQ(bytes.value.block.bytes, nullptr);
    EXPECT_EQ(bytes.value.block.length, 0u);

    Variable number(u"n", VariableInt32);
    number.SetText(u"x");
    number.SetBinary("abc", 3);
    EXPECT_EQ(number.value.u64, 0u);
}

TEST_F(Points, CopiesOfTreesAreDeep)
{
    list.Find(u"[1].x").value.i32 = 7;
    Variable copy(list);
    ASSERT_EQ(copy.children.Length(), 3u);
    EXPECT_NE(copy.children[1], list.children[1]);
    EXPECT_NE(copy.counter, list.counter);
    EXPECT_NE(copy.mTemplate, list.mTemplate);
    EXPECT_EQ(copy.Find(u"[1].x").AsInt(), 7);
    EXPECT_EQ(copy.Find(u"#").value.u64, 3u);

    copy.Find(u"[1].x").value.i32 = 9;
    copy.AddElements(1);
    EXPECT_EQ(list.Find(u"[1].x").AsInt(), 7);
    EXPECT_EQ(list.counter->value.u64, 3u);
}

TEST_F(Points, ClearEmptiesEverythingAndKeepsTheSlots)
{
    uint32_t slots = list.children.capacity;
    list.hasKey = 1;
    list.key = 2;
    list.Clear();
    EXPECT_EQ(list.type, VariableNone);
    EXPECT_TRUE(list.name.IsEmpty());
    EXPECT_EQ(list.counter, nullptr);
    EXPECT_EQ(list.mTemplate, nullptr);
    EXPECT_EQ(list.children.Length(), 0u);
    EXPECT_EQ(list.children.capacity, slots);
    EXPECT_EQ(list.hasKey, 0);
    EXPECT_EQ(list.key, 0);

    list.Reset(u"again", VariableArray | VariableInt32);
    list.AddElements(2);
    EXPECT_EQ(list.Child(1).type, VariableInt32);
    EXPECT_EQ(&list.Child(2), &Variable::Empty());
    EXPECT_EQ(&list.Child(-1), &Variable::Empty());
    list.Reset(list.name.Text(), VariableDouble); // its own name survives
    EXPECT_EQ(Text(list.name), u"again");
}

// `tree = tree.Find(...)`: the part is copied before the tree it sits in goes.
TEST(Variable, AssignedOneOfItsOwnPartsCopiesItFirst)
{
    struct Case
    {
        const char16_t* path;
        uint32_t type;
        const char16_t* name;
        const char16_t* text; // the copied member "label", if any
    };
    const Case cases[] = {
        {u"inner", VariableStruct, u"inner", u"deep"},
        {u"inner.label", VariableText, u"label", nullptr},
        {u"list", VariableArray | VariableStruct, u"list", nullptr},
        {u"list[1]", VariableStruct, u"[1]", u"second"},
        {u"list.#", VariableUInt32, u"#", nullptr},
    };
    for (const Case& c : cases)
    {
        Variable tree(u"tree", VariableStruct);
        tree.Create(u"inner.label", VariableText).SetText(u"deep");
        Variable& list = tree.Create(u"list", VariableArray | VariableStruct);
        list.Create(u"label", VariableText);
        list.AddElements(2);
        list.Find(u"[1].label").SetText(u"second");

        tree = tree.Find(c.path);
        EXPECT_EQ(tree.type, c.type) << Narrow(String(c.path));
        EXPECT_EQ(Text(tree.name), c.name);
        if (c.text != nullptr)
        {
            EXPECT_EQ(std::u16string(tree.Find(u"label").value.text), c.text);
        }
    }
}
