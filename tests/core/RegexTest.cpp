#include "Regex/Regex.h"
#include "Common/PatternMatcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using namespace Zelto;

namespace
{

constexpr int32_t NoMatch = -1;
constexpr uint32_t Untouched = 0xDEADu;

// ASCII as it is, anything else as \uXXXX, for failure messages.
std::string Printable(const char16_t* text)
{
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
    {
        if (*text >= 0x20 && *text < 0x7F)
            out += char(*text);
        else
        {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(*text));
            out += escaped;
        }
    }
    return out;
}

struct FirstMatchCase
{
    const char16_t* pattern;
    const char16_t* subject;
    int32_t start; // NoMatch when the pattern must not match
    int32_t end;
};

void ExpectFirstMatches(const std::vector<FirstMatchCase>& cases)
{
    for (const FirstMatchCase& c : cases)
    {
        SCOPED_TRACE("/" + Printable(c.pattern) + "/ in \"" + Printable(c.subject) + "\"");
        PatternMatcher matcher;
        ASSERT_TRUE(matcher.Compile(c.pattern));
        uint32_t start = Untouched;
        uint32_t end = Untouched;
        uint32_t count = matcher.Match(c.subject, &start, &end, 1, true);
        if (c.start == NoMatch)
        {
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(start, Untouched);
            continue;
        }
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(start, uint32_t(c.start));
        EXPECT_EQ(end, uint32_t(c.end));
    }
}

// The two patterns the loader searches a server list with: the default server number, then that server's
// array.
const char16_t DefaultPattern[] = u"\"default\":\\d+";
const char16_t Entry12Pattern[] = u"\"12\":\\[.+?\\]";
const char16_t Entry7Pattern[] = u"\"7\":\\[.+?\\]";
const char16_t Entry3Pattern[] = u"\"3\":\\[.+?\\]";

const char16_t CompactList[] =
    u"{\"default\":12,\"servers\":{\"11\":[\"11\",\"East Gate\",\"1\",\"0\",\"hot\","
    u"\"http://dl.zelto.example/east/zelto3d.zoa\",\"7001\",\"203.0.113.11\"],\"12\":[\"12\",\"West Gate\","
    u"\"1\",\"0\",\"new\",\"http://dl.zelto.example/west/zelto3d.zoa\",\"7002\",\"203.0.113.12\"]}}";
// Hand-edited, CRLF line ends, an entry "17" before "7", a name in Chinese and an empty URL item.
const char16_t HandWrittenList[] =
    u"{\"default\":7,\r\n\"list\":{\r\n\"17\":[\"17\",\"Harbor\",\"1\",\"0\",\"0\","
    u"\"http://cdn.zelto.example/17/zelto3d.zoa\",\"7017\",\"198.51.100.17\"],\r\n"
    u"\"7\":[\"7\",\"\u6e2f\u53e3\",\"1\",\"0\",\"0\",\"\",\"7007\",\"198.51.100.7\"]\r\n}}\r\n";
// The selected array spans lines, and the default number comes last.
const char16_t MultiLineList[] = u"{\"servers\":{\n\"3\":[\n  \"3\",\n  \"\u9f99\u95e8\u4e8c\u533a\",\n"
                                 u"  \"1\",\"0\",\"0\",\n  \"http://cdn.zelto.example/3/zelto3d.zoa\",\n"
                                 u"  \"7003\",\n  \"198.51.100.3\"\n]},\n\"default\":3}\n";
// A server name holding a ']' ends the shortest run early.
const char16_t BracketNameList[] =
    u"{\"default\":12,\"servers\":{\"12\":[\"12\",\"Gate [beta]\",\"1\",\"0\","
    u"\"0\",\"http://dl.zelto.example/b/zelto3d.zoa\",\"7012\",\"203.0.113.12\"]}}";

struct ServerListCase
{
    const char16_t* pattern;
    const char16_t* list;
    int32_t start;           // NoMatch when the pattern must not match
    const char16_t* matched; // the matched text
};

} // namespace

TEST(RegexTest, ServerListPatternsFindTheDefaultAndItsArray)
{
    const ServerListCase cases[] = {
        {DefaultPattern, CompactList, 1, u"\"default\":12"},
        {Entry12Pattern, CompactList, 128,
         u"\"12\":[\"12\",\"West Gate\",\"1\",\"0\",\"new\",\"http://dl.zelto.example/west/zelto3d.zoa\","
         u"\"7002\",\"203.0.113.12\"]"},
        {DefaultPattern, HandWrittenList, 1, u"\"default\":7"},
        {Entry7Pattern, HandWrittenList, 125,
         u"\"7\":[\"7\",\"\u6e2f\u53e3\",\"1\",\"0\",\"0\",\"\",\"7007\",\"198.51.100.7\"]"},
        {DefaultPattern, MultiLineList, 126, u"\"default\":3"},
        {Entry3Pattern, MultiLineList, 13,
         u"\"3\":[\n  \"3\",\n  \"\u9f99\u95e8\u4e8c\u533a\",\n  \"1\",\"0\",\"0\",\n"
         u"  \"http://cdn.zelto.example/3/zelto3d.zoa\",\n  \"7003\",\n  \"198.51.100.3\"\n]"},
        {Entry12Pattern, BracketNameList, 25, u"\"12\":[\"12\",\"Gate [beta]"},
        // An empty array: the shortest run takes at least one unit, so it reaches into the next array.
        {Entry12Pattern, u"{\"12\":[],\"13\":[\"13\"]}", 1, u"\"12\":[],\"13\":[\"13\"]"},
        // What the loader treats as "no default entry".
        {DefaultPattern, u"{\n  \"default\": 12,\n  \"servers\": {}\n}", NoMatch, nullptr},
        {DefaultPattern, u"{\"default\":\"12\"}", NoMatch, nullptr},
        {DefaultPattern, u"{\"Default\":12}", NoMatch, nullptr},
        {DefaultPattern, u"{\"default\":,\"servers\":{}}", NoMatch, nullptr},
        {Entry12Pattern, u"{\"112\":[\"112\"],\"12\": [\"12\"]}", NoMatch, nullptr},
        {Entry12Pattern, u"{\"12\":[\"12\",\"cut off\"", NoMatch, nullptr},
    };
    for (const ServerListCase& c : cases)
    {
        SCOPED_TRACE("/" + Printable(c.pattern) + "/ in \"" + Printable(c.list) + "\"");
        PatternMatcher matcher;
        ASSERT_TRUE(matcher.Compile(c.pattern));
        uint32_t start = Untouched;
        uint32_t end = Untouched;
        uint32_t count = matcher.Match(c.list, &start, &end, 1, false);
        if (c.start == NoMatch)
        {
            EXPECT_EQ(count, 0u);
            continue;
        }
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(start, uint32_t(c.start));
        ASSERT_LE(end, std::u16string(c.list).size());
        EXPECT_EQ(std::u16string(c.list + start, end - start), std::u16string(c.matched));
    }
}

TEST(RegexTest, LiteralsEscapesAndClasses)
{
    ExpectFirstMatches({
        {u"abc", u"xxabcabc", 2, 5},
        {u"abc", u"ab", NoMatch, 0},
        {u"abc", u"ABC", NoMatch, 0},
        {u"a.c", u"a\nc", 0, 3},     // '.' takes line breaks too
        {u".", u"\U0001F600", 0, 1}, // one unit of a surrogate pair
        {u"\u533a", u"\u4e00\u533a\u4e8c\u533a", 1, 2},
        {u"\\d+", u"ab123c", 2, 5},
        {u"\\d", u"\u0663", NoMatch, 0}, // ASCII digits only
        {u"\\D+", u"12ab3", 2, 4},
        {u"\\w+", u"  foo_Bar9-", 2, 10},
        {u"\\W+", u"ab, cd", 2, 4},
        {u"\\s+", u"a \t\r\n\v\fb", 1, 7},
        {u"\\S+", u"  x1 ", 2, 4},
        {u"\\[\\]\\.\\\\\\\"\\:", u"x[].\\\":", 1, 7},
        {u"\\/\\-\\{\\}\\(\\)\\*\\+\\?\\|\\^\\$", u"a/-{}()*+?|^$", 1, 13},
        {u"\\t\\n\\r", u"a\t\n\r", 1, 4},
        {u"]}", u"a]}", 1, 3}, // a lone ']' or '}' is literal
        {u"[abc]+", u"xxcabz", 2, 5},
        {u"[a-z0-9_]+", u"A_b9-", 1, 4},
        {u"[^a-z]+", u"abC1-d", 2, 5},
        {u"[\\d.]+", u"v1.25a", 1, 5},
        {u"[^\\d]+", u"12ab", 2, 4},
        {u"[\\D]", u"1a", 1, 2},
        {u"[\\s,]+", u"a , b", 1, 4},
        {u"[]a]+", u"x]a]", 1, 4}, // ']' first in a class is literal
        {u"[^]]+", u"]]ab]", 2, 4},
        {u"[a-]+", u"b-a-", 1, 4}, // '-' last in a class is literal
        {u"[\\]\\[]+", u"a[]]", 1, 4},
        {u"[\u4e00-\u9fa5]+", u"ab\u9f99\u95e8c", 2, 4},
    });
}

TEST(RegexTest, GroupsAlternationAndAnchors)
{
    ExpectFirstMatches({
        {u"a|ab", u"ab", 0, 1}, // the first alternative that matches wins, not the longest
        {u"ab|a", u"ab", 0, 2},       {u"x|ab|a", u"cab", 1, 3},
        {u"gr(a|e)y", u"grey", 0, 4}, {u"(a|ab)(c|bcd)", u"abcd", 0, 4},
        {u"(ab)+", u"xababa", 1, 5},  {u"(?:ab)+c", u"ababc", 0, 5},
        {u"(a|b)*c", u"abbac", 0, 5}, {u"a(|b)c", u"abc", 0, 3},
        {u"a(|b)c", u"ac", 0, 2},     {u"()", u"abc", 0, 0},
        {u"", u"abc", 0, 0},          {u"", u"", 0, 0},
        {u"^ab", u"abab", 0, 2},      {u"^b", u"ab", NoMatch, 0},
        {u"b$", u"abab", 3, 4},       {u"a$", u"ab", NoMatch, 0},
        {u"^$", u"", 0, 0},           {u"^$", u"a", NoMatch, 0},
        {u"a^", u"a", NoMatch, 0},    {u"(^|x)a", u"xa", 0, 2},
    });
}

TEST(RegexTest, GreedyAndLazyQuantifiers)
{
    ExpectFirstMatches({
        {u"a*", u"baa", 0, 0}, // the leftmost match wins, even when empty
        {u"a+", u"baa", 1, 3},
        {u"a?b", u"ab", 0, 2},
        {u"<.+>", u"<a><b>", 0, 6},
        {u"<.+?>", u"<a><b>", 0, 3},
        {u"<.*?>", u"<><b>", 0, 2},
        {u".*x", u"axbx", 0, 4},
        {u".*?x", u"axbx", 0, 2},
        {u"a*?b", u"aaab", 0, 4},
        {u"a??", u"a", 0, 0},
        {u"a??b", u"ab", 0, 2},
        {u"a{2}", u"aaaa", 0, 2},
        {u"a{2,}", u"aaaa", 0, 4},
        {u"a{2,3}", u"aaaa", 0, 3},
        {u"a{2,3}?", u"aaaa", 0, 2},
        {u"a{2,}?", u"aaaa", 0, 2},
        {u"a{3}", u"aa", NoMatch, 0},
        {u"a{0}b", u"ab", 1, 2},
        {u"(ab){1,2}c", u"abababc", 2, 7},
        {u"(a+)+b", u"aaab", 0, 4},
        // A loop pass that matches nothing ends the loop (as in Perl), instead of spinning.
        {u"(a*)*b", u"aab", 0, 3},
        {u"(a*)*", u"b", 0, 0},
        {u"(a|)*c", u"aac", 0, 3},
        {u"(a*)+$", u"aa", 0, 2},
        {u"(^)*a", u"a", 0, 1},
        {u"(a?){3}b", u"ab", 0, 2},
        {u"\\w(\\w*?)*", u"cc", 0, 1},
    });
}

TEST(RegexTest, MalformedOrUnsupportedPatternsFailToCompile)
{
    const std::u16string deepGroups =
        std::u16string(Regex::MaxNesting + 1, u'(') + u"a" + std::u16string(Regex::MaxNesting + 1, u')');
    const std::u16string longLiteral(Regex::MaxInstructions, u'a');
    const std::u16string manyBranches(1u << 20, u'|');
    const char16_t* const patterns[] = {
        u"(",
        u"(a",
        u")",
        u"a)",
        u"(?",
        u"(?=a)",
        u"(?<n>a)",
        u"(?>a)", // groups
        u"[",
        u"[a",
        u"[^",
        u"[]",
        u"[z-a]",
        u"[\\d-z]",
        u"[a-\\d]",
        u"[\\b]", // classes
        u"*a",
        u"+",
        u"?",
        u"a|*",
        u"(*)",
        u"a**",
        u"a*+",
        u"a+?+",
        u"a?*", // quantifiers
        u"a{",
        u"a{1",
        u"a{,2}",
        u"a{2,1}",
        u"a{x}",
        u"{1}",
        u"a{1001}",
        u"a{1,1001}", // bounds
        u"\\",
        u"a\\",
        u"\\q",
        u"\\1",
        u"\\b",
        u"\\x41",
        u"\\u0041", // escapes
        u"(?:a{200}){100}",
        deepGroups.c_str(),
        longLiteral.c_str(), // size limits
    };
    for (const char16_t* pattern : patterns)
    {
        SCOPED_TRACE("/" + Printable(pattern) + "/");
        PatternMatcher matcher;
        EXPECT_FALSE(matcher.Compile(pattern));
        uint32_t start = Untouched;
        uint32_t end = Untouched;
        EXPECT_EQ(matcher.Match(u"a(){}[]\\", &start, &end, 1, true), 0u);
        EXPECT_EQ(start, Untouched);
    }

    // Just inside the limits.
    PatternMatcher matcher;
    EXPECT_TRUE(matcher.Compile(
        (std::u16string(Regex::MaxNesting, u'(') + u"a" + std::u16string(Regex::MaxNesting, u')')).c_str()));
    EXPECT_TRUE(matcher.Compile(u"(?:a{100}){100}"));
    EXPECT_TRUE(matcher.Compile(u"a{1000}"));
}

TEST(RegexTest, CompileReplacesThePreviousPattern)
{
    PatternMatcher matcher;
    uint32_t start = Untouched;
    uint32_t end = Untouched;
    EXPECT_EQ(matcher.Match(u"abc", &start, &end, 1, true), 0u); // nothing compiled yet

    ASSERT_TRUE(matcher.Compile(u"b"));
    ASSERT_TRUE(matcher.Compile(u"c"));
    EXPECT_EQ(matcher.Match(u"abc", &start, &end, 1, true), 1u);
    EXPECT_EQ(start, 2u);

    EXPECT_FALSE(matcher.Compile(u"(c"));
    start = Untouched;
    EXPECT_EQ(matcher.Match(u"abc", &start, &end, 1, true), 0u);
    EXPECT_EQ(start, Untouched);
}

TEST(RegexTest, MatchGoesOnBehindEachMatch)
{
    struct MultiCase
    {
        const char16_t* pattern;
        const char16_t* subject;
        uint32_t maxMatches;
        bool more;
        std::vector<std::pair<uint32_t, uint32_t>> expected;
    };
    const MultiCase cases[] = {
        {u"\\d+", u"a1b22c333", 8, true, {{1, 2}, {3, 5}, {6, 9}}},
        {u"\\d+", u"a1b22c333", 8, false, {{1, 2}}},
        {u"\\d+", u"a1b22c333", 2, true, {{1, 2}, {3, 5}}},
        {u"\\d+", u"a1b22c333", 0, true, {}},
        {u"\"\\d\":\\[.+?\\]", u"{\"1\":[\"a\"],\"2\":[\"b\"]}", 8, true, {{1, 10}, {11, 20}}},
        {u"a*", u"baa", 8, true, {{0, 0}, {1, 3}, {3, 3}}}, // an empty match moves on by one unit
        {u"x*", u"", 8, true, {{0, 0}}},
        {u"x*", nullptr, 8, true, {{0, 0}}}, // a null text is the empty text
        {u"^a", u"aa", 8, true, {{0, 1}}},   // '^' is the start of the text, not of the next search
        {u"a$", u"aa", 8, true, {{1, 2}}},
        {u"aa", u"aaaaa", 8, true, {{0, 2}, {2, 4}}}, // matches do not overlap
    };
    for (const MultiCase& c : cases)
    {
        SCOPED_TRACE("/" + Printable(c.pattern) + "/ in \"" + Printable(c.subject) + "\", max " +
                     std::to_string(c.maxMatches) + (c.more ? ", more" : ""));
        PatternMatcher matcher;
        ASSERT_TRUE(matcher.Compile(c.pattern));
        std::vector<uint32_t> starts(c.maxMatches + 1, Untouched);
        std::vector<uint32_t> ends(c.maxMatches + 1, Untouched);
        uint32_t count = matcher.Match(c.subject, starts.data(), ends.data(), c.maxMatches, c.more);
        ASSERT_EQ(count, c.expected.size());
        for (uint32_t i = 0; i < count; ++i)
        {
            EXPECT_EQ(starts[i], c.expected[i].first) << "match " << i;
            EXPECT_EQ(ends[i], c.expected[i].second) << "match " << i;
        }
        EXPECT_EQ(starts[count], Untouched);
        EXPECT_EQ(ends[count], Untouched);
    }
}

// A megabyte subject: greedy loops hold a choice point per unit, all on the matcher's heap stack.
TEST(RegexTest, LongSubjectsNeedNoCallStack)
{
    const uint32_t n = 1u << 20;
    const std::u16string as(n, u'a');
    std::u16string abs;
    for (uint32_t i = 0; i < n / 2; ++i)
        abs += u"ab";
    const std::u16string defaultAtEnd = std::u16string(n, u' ') + u"\"default\":42}";
    const std::u16string longArray = u"{\"7\":[" + std::u16string(n, u'x') + u"],\"8\":[]}";

    ExpectFirstMatches({
        {u".*", as.c_str(), 0, int32_t(n)},
        {u"(a|b)*$", abs.c_str(), 0, int32_t(n)},
        {u"(a*)*$", as.c_str(), 0, int32_t(n)},
        {u"a*?$", as.c_str(), 0, int32_t(n)},
        {DefaultPattern, defaultAtEnd.c_str(), int32_t(n), int32_t(n + 12)},
        {Entry7Pattern, longArray.c_str(), 1, int32_t(n + 7)},
    });
}

// Patterns whose search would take exponential time, or hold a choice point for every step, stop at the caps
// (Regex::BaseSteps and the others) instead of running on; PatternMatcher then reports no match.
TEST(RegexTest, WorkCapsStopPathologicalSearches)
{
    const std::u16string thirtyAsThenC = std::u16string(30, u'a') + u"c";
    const std::u16string manyAs(10000, u'a');
    struct CapCase
    {
        const char16_t* pattern;
        const std::u16string& subject;
    };
    const CapCase cases[] = {
        {u"(a|a)*b|a*c", thirtyAsThenC}, // would match after 2^30 tries of the first branch: the step cap
        {u"(?:(?:x?\?){20}a)*", manyAs}, // 21 choice points held per unit: the choice point cap
    };
    for (const CapCase& c : cases)
    {
        SCOPED_TRACE("/" + Printable(c.pattern) + "/");
        Regex regex;
        ASSERT_TRUE(regex.Compile(c.pattern, uint32_t(std::u16string(c.pattern).size())));
        uint32_t start = Untouched;
        uint32_t end = Untouched;
        EXPECT_EQ(regex.Search(c.subject.c_str(), uint32_t(c.subject.size()), 0, start, end),
                  Regex::Result::TooComplex);
        EXPECT_EQ(start, Untouched);
    }

    PatternMatcher matcher;
    ASSERT_TRUE(matcher.Compile(cases[1].pattern));
    uint32_t start = Untouched;
    uint32_t end = Untouched;
    EXPECT_EQ(matcher.Match(manyAs.c_str(), &start, &end, 4, true), 0u);
    EXPECT_EQ(start, Untouched);
}
