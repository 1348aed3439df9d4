// Conversions between UTF-16, UTF-8 and the platform's code page.
#include "Source/Common/StringEncoding.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zelto;

TEST(Utf8, EncodeAndDecodeTable)
{
    struct Case
    {
        std::u16string wide;
        std::string utf8;
    };
    const Case cases[] = {
        {u"", ""},
        {u"A", "A"},
        {u"\u00e9", "\xC3\xA9"},
        {u"\u4e2d", "\xE4\xB8\xAD"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"}, // a surrogate pair is one 4-byte character
        {u"a\U00010348b", "a\xF0\x90\x8D\x88"
                          "b"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(StringToUtf8(c.wide.c_str()), c.utf8);
        String back = Utf8ToString(c.utf8.c_str());
        EXPECT_EQ(std::u16string(back.Text(), back.Length()), c.wide);
    }
}

TEST(Utf8, DecodingSkipsStrayBytesAndCutSequences)
{
    const std::pair<std::string, std::u16string> cases[] = {
        {"\x41\x80\x42", u"AB"}, // stray continuation byte
        {"A\xFF"
         "B",
         u"AB"},                 // invalid lead
        {"A\xE4\xB8", u"A"},     // cut off by the end
        {"A\xF0\x9F\x98", u"A"}, // 4-byte sequence cut off
        {"\xF7\xBF\xBF\xBF"
         "Z",
         u"Z"}, // beyond U+10FFFF gives nothing
        // a lead whose next bytes are not continuation bytes starts nothing; they are read afresh
        {"\xF0\x41\x42\x43", u"ABC"},
        {"\xF4\x41\x42\x43", u"ABC"},
        {"\xF0\x9F\x41\x80", u"A"},
        {"\xE4\xB8\x41", u"A"},
        {"\xC3\x41", u"A"},
        {"\xC3\xC3\xA9", u"\u00e9"},
        {"A\xE4\x41", u"AA"}, // cut off, but not a sequence either
    };
    for (const auto& [utf8, wide] : cases)
    {
        String decoded = Utf8ToString(utf8.c_str());
        EXPECT_EQ(std::u16string(decoded.Text(), decoded.Length()), wide);
    }
}

// Overlong forms and encoded surrogate halves are no characters: "C0 AF" is not "/", and a CESU-8 pair is not
// joined. Each gives nothing; the bytes after it are read afresh.
TEST(Utf8, DecodingRejectsOverlongFormsAndEncodedSurrogates)
{
    const std::pair<std::string, std::u16string> cases[] = {
        {"a\xC0\xAF"
         "b",
         u"ab"}, // "/" in two bytes
        {"\xC1\xBF", u""},
        {"\xE0\x80\xAF", u""},     // "/" in three bytes
        {"\xE0\x9F\xBF", u""},     // U+07FF in three bytes
        {"\xF0\x80\x80\xAF", u""}, // "/" in four bytes
        {"\xF0\x8F\xBF\xBF", u""}, // U+FFFF in four bytes
        {"\xED\xA0\x80"
         "x",
         u"x"},                            // a lone high half
        {"\xED\xA0\xBD\xED\xB8\x80", u""}, // CESU-8 of U+1F600
        {"\xF4\x90\x80\x80", u""},         // beyond U+10FFFF
        {"\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         u"\u0080\u0800\ud7ff\ue000\U00010000\U0010FFFF"}, // the smallest and largest valid ones
    };
    for (const auto& [utf8, wide] : cases)
    {
        String decoded = Utf8ToString(utf8.c_str());
        EXPECT_EQ(std::u16string(decoded.Text(), decoded.Length()), wide) << testing::PrintToString(utf8);
    }
}

TEST(Utf8, LoneSurrogateKeepsItsThreeByteForm)
{
    const char16_t lone[] = {0xD800, u'x', 0};
    EXPECT_EQ(StringToUtf8(lone), "\xED\xA0\x80x");
}

TEST(Utf8, TruncationNeverSplitsACharacter)
{
    char buffer[8];
    uint32_t length = 0;
    bool truncated = false;
    WideToUtf8(buffer, 3, u"ab\u00e9", -1, &length, &truncated);
    EXPECT_EQ(std::string(buffer), "ab");
    EXPECT_EQ(length, 2u);
    EXPECT_TRUE(truncated);

    WideToUtf8(buffer, 5, u"a\U0001F600", -1, &length, &truncated); // 1 + 4 bytes need 6 with the terminator
    EXPECT_EQ(std::string(buffer), "a");
    EXPECT_TRUE(truncated);

    WideToUtf8(buffer, 8, u"abcdef", 3, &length, &truncated);
    EXPECT_EQ(std::string(buffer), "abc");
    EXPECT_FALSE(truncated);

    char16_t wide[3];
    Utf8ToWide(wide, 3, "a\xF0\x9F\x98\x80", -1, &length,
               &truncated); // the pair needs two units, one is left
    EXPECT_EQ(std::u16string(wide), u"a");
    EXPECT_TRUE(truncated);

    Utf8ToWide(wide, 3, "xyz", -1, &length, &truncated);
    EXPECT_EQ(std::u16string(wide), u"xy");
    EXPECT_EQ(length, 2u);
    EXPECT_TRUE(truncated);

    wide[0] = u'#';
    Utf8ToWide(wide, 0, "xyz", -1, &length,
               &truncated); // no room at all: nothing written, not even a terminator
    EXPECT_EQ(wide[0], u'#');
    EXPECT_EQ(length, 0u);
}

TEST(CodePage, AsciiRoundTrips)
{
    EXPECT_EQ(StringToAnsi(u"plain ascii 123"), "plain ascii 123");
    String back = AnsiToString("plain ascii 123");
    EXPECT_TRUE(back.Equals(u"plain ascii 123"));

    char16_t wide[4];
    uint32_t length = 0;
    bool truncated = false;
    AnsiToWide(wide, 4, "abcdef", -1, &length, &truncated);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_TRUE(truncated);
}
