// The UTF-16 formatter, path pieces and list splitting.
#include "Source/Common/StringFormatter.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zelto;

TEST(Formatter, Conversions)
{
    EXPECT_EQ(Narrow(Format(u"%ls_%d%02d%02d", u"00:1A", 2014, 11, 8)), "00:1A_20141108");
    EXPECT_EQ(Narrow(Format(u"%s|%5s|%-5s|%.2s", u"ab", u"cd", u"ef", u"ghij")), "ab|   cd|ef   |gh");
    EXPECT_EQ(Narrow(Format(u"%hs", "narrow")), "narrow");
    EXPECT_EQ(Narrow(Format(u"%.8x%.8X", 0xabcu, 0xDEADBEEFu)), "00000abcDEADBEEF");
    EXPECT_EQ(Narrow(Format(u"%5.3f|%f|%e", 0.5, 1.25, 1500.0)), "0.500|1.250000|1.500000e+03");
    EXPECT_EQ(Narrow(Format(u"%u %i %o %c", 4000000000u, -3, 8, u'Z')), "4000000000 -3 10 Z");
    EXPECT_EQ(Narrow(Format(u"%lld %I64d %hd %hhu", -5000000000ll, 7000000000ll, 70000, 300)),
              "-5000000000 7000000000 4464 44");
    EXPECT_EQ(Narrow(Format(u"%*d|%-*d|%.*f", 4, 7, 3, 1, 2, 3.14159)), "   7|1  |3.14");
    // a negative '*' width aligns left, numbers as well as text
    EXPECT_EQ(Narrow(Format(u"%*d|%*ls|%*x|%-*d|%0*d", -4, 7, -3, u"a", -4, 0xabu, -3, 5, -3, 9)),
              "7   |a  |ab  |5  |9  ");
    EXPECT_EQ(Narrow(Format(u"100%% %ls", nullptr)), "100% (null)");
    EXPECT_EQ(Narrow(Format(u"%.4d/%.2d/%.2d-%.2d", 2014, 11, 18, 5)), "2014/11/18-05");
    EXPECT_EQ(Narrow(FormatFloat(0.12345f)), "0.123");
    EXPECT_EQ(Text(Format(u"%ls", u"\u4e2d\u00e9")), u"\u4e2d\u00e9");
}

TEST(Formatter, PointerTextHasThePointerWidth)
{
    String text = Format(u"%p", reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(text.Length(), sizeof(void*) * 2);
    EXPECT_TRUE(text.Find(u"1234") > 0);
}

TEST(Formatter, OutputIsCutAtTheBuffer)
{
    std::u16string longText(9000, u'x');
    String formatted = Format(u"%ls", longText.c_str());
    EXPECT_EQ(formatted.Length(), FormatBufferUnits - 1);

    char16_t small[6];
    FormatBuffer(small, 6, u"%d-%ls", 12, u"abcdef");
    EXPECT_EQ(std::u16string(small), u"12-ab");

    // Huge widths and precisions are capped, never overflow anything.
    EXPECT_EQ(Format(u"%99999d", 1).Length(), 4096u);
    EXPECT_LT(Format(u"%.99999f", 1.0).Length(), FormatBufferUnits);
}

TEST(PathPieces, Table)
{
    struct Case
    {
        const char16_t* path;
        const char16_t* withoutExtension;
        const char16_t* extension;
        const char16_t* directoryLast;
        const char16_t* directoryFirst;
        const char16_t* fileName;
    };
    const Case cases[] = {
        {u"C:\\dir\\name.ext", u"C:\\dir\\name", u"ext", u"C:\\dir", u"C:", u"name"},
        {u"name", u"name", u"", u"", u"", u"name"},
        {u"a.b\\c", u"a", u"b\\c", u"a.b", u"a.b", u"c"},
        {u"/usr/lib/x.so.1", u"/usr/lib/x.so", u"1", u"/usr/lib", u"", u"x.so"},
        {u"C:file.txt", u"C:file", u"txt", u"C", u"C", u"file"},
        {u"", u"", u"", u"", u"", u""},
        // backslash and '/' are alike, mixed or not
        {u"sub\\dir/x.cfg", u"sub\\dir/x", u"cfg", u"sub\\dir", u"sub", u"x"},
        {u"a/b\\c.d", u"a/b\\c", u"d", u"a/b", u"a", u"c"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(String(c.path)));
        EXPECT_EQ(Text(PathWithoutExtension(c.path)), c.withoutExtension);
        EXPECT_EQ(Text(PathExtension(c.path)), c.extension);
        EXPECT_EQ(Text(PathDirectory(c.path, true)), c.directoryLast);
        EXPECT_EQ(Text(PathDirectory(c.path, false)), c.directoryFirst);
        EXPECT_EQ(Text(PathFileName(c.path, false, false)), c.fileName);
    }
    EXPECT_EQ(Text(PathFileName(u"C:\\dir\\name.ext", true, false)), u"C:\\dir\\name");
    EXPECT_EQ(Text(PathFileName(u"C:\\dir\\name.ext", false, true)), u"name.ext");
}

TEST(Split, Table)
{
    struct Case
    {
        const char16_t* text;
        const char16_t* division;
        const char16_t* trim;
        std::vector<std::u16string> pieces;
    };
    const Case cases[] = {
        {u"a,,b", u",", u"", {u"a", u"", u"b"}},
        {u"a,b,", u",", u"", {u"a", u"b", u""}},
        {u"", u",", u"", {u""}},
        {u"a, b ,c", u",", u" ", {u"a", u"b", u"c"}},
        {u"a,  ", u",", u" ", {u"a"}},
        {u"a| 1 |b", u"|", u" \t", {u"a", u"1", u"b"}},
        {u"x;y z", u",;|\t ", u"", {u"x", u"y", u"z"}},
    };
    for (const Case& c : cases)
    {
        Array<String> out;
        Split(c.text, out, c.division, c.trim);
        std::vector<std::u16string> pieces;
        for (uint32_t i = 0; i < out.Length(); ++i)
            pieces.push_back(Text(out[i]));
        EXPECT_EQ(pieces, c.pieces) << Narrow(String(c.text));
    }
}

TEST(Split, EmptyDivisionIsRefused)
{
    Array<String> out;
    Split(u"a,b", out, u"", u"");
    EXPECT_EQ(out.Length(), 0u);
}
