// String: ownership, editing, searching and the name hash.
#include "Common/String.h"

#include "support/Text.h"

#include <gtest/gtest.h>

using namespace Zelto;

TEST(String, AssignAllocatesExactlyAndEmptyReleases)
{
    String s(u"abcdef");
    EXPECT_EQ(s.Capacity(), 7u);
    s.Assign(u"");
    EXPECT_EQ(s.Capacity(), 0u);
    EXPECT_EQ(s.Text()[0], u'\0');
    s.Assign(u"ab");
    EXPECT_EQ(s.Capacity(), 3u);
    EXPECT_EQ(Text(s), u"ab");

    const char16_t embedded[] = {u'a', u'b', 0, u'c', u'd'};
    s.Assign(embedded, 5);
    EXPECT_EQ(s.Length(), 2u); // the embedded terminator ends the text
    s.Assign(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(String, AssignFromItselfAndMoves)
{
    String s(u"hello world");
    s.Assign(s.Text() + 6);
    EXPECT_EQ(Text(s), u"world");
    String moved(static_cast<String&&>(s));
    EXPECT_EQ(Text(moved), u"world");
    EXPECT_TRUE(s.IsEmpty());
    String copy = moved;
    copy.Append(u"!");
    EXPECT_EQ(Text(moved), u"world");
    EXPECT_EQ(Text(copy), u"world!");
}

TEST(String, Editing)
{
    struct Case
    {
        const char16_t* start;
        void (*edit)(String&);
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"abcd", [](String& s) { s.Remove(2, -1); }, u"ab"},
        {u"abcd", [](String& s) { s.Remove(4, 1); }, u"abcd"},
        {u"abcd", [](String& s) { s.Remove(1, 100); }, u"a"},
        {u"abcd", [](String& s) { s.Remove(1, 0); }, u"abcd"},
        {u"ad", [](String& s) { s.Insert(1, u"bc"); }, u"abcd"},
        {u"ab", [](String& s) { s.Insert(3, u"x"); }, u"ab"},
        {u"ab", [](String& s) { s.InsertChar(2, u'c'); }, u"abc"},
        {u"ab \t ", [](String& s) { s.TrimRight(u" \t"); }, u"ab"},
        {u"xXa", [](String& s) { s.TrimLeft(u'X', false); }, u"a"},
        {u"xXa", [](String& s) { s.TrimLeft(u'X', true); }, u"xXa"},
        {u"a b c", [](String& s) { s.ReplaceChar(u' ', u'_'); }, u"a_b_c"},
        {u"a\\b", [](String& s) { s.Replace(u"\\", u"\\\\"); }, u"a\\\\b"},
        {u"aaa", [](String& s) { s.Replace(u"a", u"aa"); }, u"aaaaaa"},
        {u"x.y.z", [](String& s) { s.Replace(u".", u""); }, u"xyz"},
        {u"server|x||", [](String& s) { s.TrimRight(u'|'); }, u"server|x"},
    };
    for (const Case& c : cases)
    {
        String s(c.start);
        c.edit(s);
        EXPECT_EQ(Text(s), std::u16string(c.expected)) << "start: " << String(c.start).Length();
        EXPECT_EQ(s.Text()[s.Length()], u'\0');
    }
}

TEST(String, Searching)
{
    String s(u"Hello, hello");
    EXPECT_EQ(s.Find(u"hello"), 7);
    EXPECT_EQ(s.Find(u"HELLO", false), 0);
    EXPECT_EQ(s.Find(u"hello", true, 8), -1);
    EXPECT_EQ(s.Find(u""), -1);
    EXPECT_EQ(s.FindChar(u'l'), 2);
    EXPECT_EQ(s.FindChar(u'\0'), -1);
    EXPECT_EQ(s.FindLastChar(u'H', false), 7);
    EXPECT_TRUE(s.StartsWith(u"hELLO", false));
    EXPECT_FALSE(s.StartsWith(u""));
    EXPECT_EQ(s.Compare(u"Hello, hello"), 0);
    EXPECT_EQ(s.Compare(u"Hello, hellp"), -1);
    EXPECT_EQ(s.Compare(u"Hello"), 1);
    EXPECT_TRUE(s.EqualsNoCase(u"HELLO, HELLO"));
    EXPECT_FALSE(String(u"\u00e9").EqualsNoCase(u"\u00c9")); // only A-Z fold
}

TEST(String, ToInt)
{
    const std::pair<const char16_t*, int32_t> cases[] = {
        {u"42", 42},
        {u"  -17xyz", -17},
        {u"+8", 8},
        {u"abc", 0},
        {u"", 0},
        {u"99999999999", INT32_MAX},
        {u"-99999999999", INT32_MIN},
        {u"2147483647", INT32_MAX},
        {u"-2147483648", INT32_MIN},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(String(text).ToInt(), expected);
}

TEST(String, HashNameIgnoresLetterCase)
{
    EXPECT_EQ(String(u"abc").HashName(), String(u"ABC").HashName());
    EXPECT_NE(String(u"abc").HashName(), String(u"abd").HashName());
    EXPECT_EQ(String().HashName(), 0x7FED7FEDu);
    // One step by hand: seed1 = (0x7FED7FED + 0xEEEEEEEE) ^ 'A'
    EXPECT_EQ(HashName(u"a"), uint32_t((0x7FED7FEDull + 0xEEEEEEEEull) ^ 0x41));
}
