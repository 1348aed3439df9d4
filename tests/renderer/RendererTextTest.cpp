// Text: placement by the alignment flags, measurement by ink, and the fonts that cannot be made.
#include "RendererFixture.h"

#include <cstdlib>
#include <functional>
#include <string>

namespace Zelto
{

namespace
{

using RendererTextTest = RendererFixture;

const int32_t FontSize = 20;
// The layout box and how far ink may sit from an edge it is aligned to: the font's side bearings and the
// space above capitals or below the baseline.
const int32_t BoxLeft = 20, BoxTop = 20, BoxRight = 180, BoxBottom = 100;
const int32_t SideSlack = 8, LineSlack = 12, CentreSlack = 4;

enum class Place
{
    Start,
    Middle,
    End,
};

struct AlignmentCase
{
    uint32_t flags;
    Place horizontal;
    Place vertical;
};

void ExpectPlaced(int32_t inkStart, int32_t inkEnd, int32_t boxStart, int32_t boxEnd, Place place,
                  int32_t slack)
{
    switch (place)
    {
    case Place::Start:
        EXPECT_GE(inkStart, boxStart);
        EXPECT_LE(inkStart, boxStart + slack);
        break;
    case Place::Middle:
        EXPECT_LE(std::abs((inkStart + inkEnd) - (boxStart + boxEnd)), 2 * CentreSlack);
        break;
    case Place::End:
        EXPECT_LE(inkEnd, boxEnd);
        EXPECT_GE(inkEnd, boxEnd - slack);
        break;
    }
}

TEST_F(RendererTextTest, FlagsPlaceTheInkInItsBox)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, FontSize), 1u);
    const AlignmentCase cases[] = {
        {0, Place::Start, Place::Start},    // hLeft + vTop
        {17, Place::Middle, Place::Middle}, // hCenter + vCenter
        {18, Place::End, Place::Middle},    // hRight + vCenter
        {34, Place::End, Place::End},       // hRight + vBottom
        {3, Place::End, Place::Start},      // right wins over centre
        {48, Place::Start, Place::End},     // bottom wins over middle
    };
    for (const AlignmentCase& alignment : cases)
    {
        SCOPED_TRACE(alignment.flags);
        Frame frame = Render(
            [&]
            { renderer.drawText(1, u"HHH", BoxLeft, BoxTop, BoxRight, BoxBottom, alignment.flags, White); });
        Frame::Box ink = frame.InkBox(Black);
        ASSERT_FALSE(ink.IsEmpty());
        ExpectPlaced(ink.left, ink.right, BoxLeft, BoxRight, alignment.horizontal, SideSlack);
        ExpectPlaced(ink.top, ink.bottom, BoxTop, BoxBottom, alignment.vertical, LineSlack);
    }
}

TEST_F(RendererTextTest, WidthIsTheInkOfTheGlyphOutlines)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, FontSize), 1u);
    int32_t width = 0, padded = 0, height = 0;
    Frame frame = Render(
        [&]
        {
            renderer.drawText(1, u"HHH", BoxLeft, BoxTop, BoxRight, BoxBottom, 0, White);
            width = renderer.getTextWidth(1, u"HHH");
            padded = renderer.getTextWidth(1, u"  HHH  ");
            height = renderer.getTextHeight(1);
        });
    Frame::Box ink = frame.InkBox(Black);
    EXPECT_LE(std::abs(width - (ink.right - ink.left)), 2);
    EXPECT_EQ(padded, width); // outer spaces have no ink
    EXPECT_GE(height, FontSize);
    EXPECT_LE(height, 2 * FontSize);
}

TEST_F(RendererTextTest, WidthReachesBeyondTheWindow)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, 16), 1u);
    int32_t one = 0, hundred = 0;
    Render(
        [&]
        {
            one = renderer.getTextWidth(1, u"W");
            hundred = renderer.getTextWidth(1, std::u16string(100, u'W').c_str());
        });
    // A hundred glyphs side by side, their ink 99 advances and one glyph wide: far wider than the window.
    EXPECT_GT(hundred, 90 * one);
    EXPECT_GT(hundred, 5 * window.Width());
}

TEST_F(RendererTextTest, WordsWrapWithinTheBoxWidth)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, FontSize), 1u);
    int32_t lineHeight = 0;
    Frame frame = Render(
        [&]
        {
            renderer.drawText(1, u"HH HH HH", BoxLeft, BoxTop, BoxLeft + 3 * FontSize, BoxBottom, 0, White);
            lineHeight = renderer.getTextHeight(1);
        });
    Frame::Box ink = frame.InkBox(Black);
    EXPECT_LE(ink.right, BoxLeft + 3 * FontSize);
    EXPECT_GE(ink.bottom - ink.top, 2 * lineHeight); // three lines of capitals: at least two line heights
}

// As GDI+ lays text out: the spaces a line starts with indent it (a traceback's lines), those where a line
// breaks do not.
TEST_F(RendererTextTest, LeadingSpacesIndentButSpacesAtABreakDoNot)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, FontSize), 1u);
    auto inkLeft = [&](const char16_t* text, int32_t right)
    {
        Frame frame =
            Render([&] { renderer.drawText(1, text, BoxLeft, BoxTop, right, BoxBottom, 0, White); });
        return frame.InkBox(Black).left;
    };
    int32_t flush = inkLeft(u"HH", BoxRight);
    EXPECT_GE(inkLeft(u"      HH", BoxRight), flush + FontSize);   // six spaces: about two font sizes
    EXPECT_GE(inkLeft(u"\n      HH", BoxRight), flush + FontSize); // and so do a later paragraph's
    EXPECT_EQ(inkLeft(u"HH            HH", BoxLeft + 3 * FontSize), flush); // the second line is flush
}

TEST_F(RendererTextTest, MissingFamilyFallsBackToSansSerifAndAnImpossibleSizeDrawsNothing)
{
    ASSERT_EQ(renderer.loadFont(u"No Such Family Anywhere", FontSize), 1u);
    ASSERT_EQ(renderer.loadFont(u"", FontSize), 2u); // no name: the generic sans-serif family
    ASSERT_EQ(renderer.loadFont(TestFamily, -1), 3u);
    int32_t widths[3] = {}, heights[2] = {};
    Frame frame = Render(
        [&]
        {
            for (uint32_t font : {1u, 2u, 3u})
                widths[font - 1] = renderer.getTextWidth(font, u"HHH");
            heights[0] = renderer.getTextHeight(1);
            heights[1] = renderer.getTextHeight(2);
            renderer.drawText(3, u"HHH", BoxLeft, BoxTop, BoxRight, BoxBottom, 0, White);
        });
    EXPECT_EQ(widths[0], widths[1]);
    EXPECT_EQ(heights[0], heights[1]);
    EXPECT_EQ(widths[2], 0);
    EXPECT_TRUE(frame.AllAre(Black));
}

TEST_F(RendererTextTest, AnElementThatCannotBeDrawnLeavesTheRestOfTheFrame)
{
    ASSERT_EQ(renderer.loadFont(TestFamily, FontSize), 1u);
    ASSERT_EQ(renderer.loadFont(TestFamily, 100000), 2u);
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    const struct
    {
        const char* name;
        std::function<void()> element;
    } cases[] = {
        {"text in a font of 100,000 pixels",
         [&] { renderer.drawText(2, u"Huge", BoxLeft, BoxTop, BoxRight, BoxBottom, 0, White); }},
        {"text with a lone surrogate",
         [&] { renderer.drawText(1, loneSurrogate, BoxLeft, BoxTop, BoxRight, BoxBottom, 0, White); }},
        {"width of a text with a lone surrogate", [&] { renderer.getTextWidth(1, loneSurrogate); }},
        {"width in a font of 100,000 pixels", [&] { renderer.getTextWidth(2, u"Huge"); }},
    };
    for (const auto& failing : cases)
    {
        SCOPED_TRACE(failing.name);
        int32_t widths[2] = {};
        Frame frame = Render(
            [&]
            {
                failing.element();
                renderer.fillRect(0, 110, 10, 120, Green);
                widths[0] = renderer.getTextWidth(1, u"HHH");
            });
        EXPECT_EQ(frame.At(5, 115), Green);
        Render([&] { widths[1] = renderer.getTextWidth(1, u"HHH"); });
        EXPECT_GT(widths[0], 0);
        EXPECT_EQ(widths[1], widths[0]);
    }
}

} // namespace

} // namespace Zelto
