// Render passes, shapes, and what the operations do outside a pass or with handles that designate nothing.
#include "RendererFixture.h"

#include <climits>
#include <functional>
#include <vector>

namespace Zelto
{

namespace
{

using RendererFrameTest = RendererFixture;

TEST_F(RendererFrameTest, WithoutRenderFunctionEveryPassShowsTheBackgroundColour)
{
    renderer.RenderFrame();
    EXPECT_TRUE(Frame(window).AllAre(Black));

    // A stored function is called only while its key is set.
    renderer.bgColor = 0xFF336699;
    renderer.callRenderFunction = [this] { renderer.fillRect(0, 0, 200, 120, Red); };
    renderer.renderCallback = 0;
    renderer.RenderFrame();
    EXPECT_TRUE(Frame(window).AllAre(0xFF336699));
}

TEST_F(RendererFrameTest, ShapesCoverTheirPixels)
{
    Frame frame = Render(
        [this]
        {
            renderer.fillRect(10, 20, 50, 60, Green);
            renderer.drawRect(60, 10, 100, 40, Red);
            renderer.drawLine(110, 100, 190, 100, Blue);
        });
    struct Probe
    {
        int32_t x, y;
        uint32_t colour;
    };
    const Probe probes[] = {
        {10, 20, Green},  {49, 59, Green},  {30, 40, Green}, // the filled rectangle's corners and inside
        {9, 20, Black},   {50, 59, Black},  {10, 19, Black},   {49, 60, Black}, // just outside it
        {60, 25, Red},    {100, 25, Red},   {80, 10, Red},     {80, 40, Red},   // the outline's four sides
        {80, 25, Black},  {59, 25, Black},  {101, 25, Black},                   // inside and beside it
        {150, 100, Blue}, {150, 99, Black}, {150, 101, Black},                  // the line and its neighbours
    };
    for (const Probe& probe : probes)
        EXPECT_EQ(frame.At(probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
}

TEST_F(RendererFrameTest, ExtremeCoordinatesDrawWhatFallsInTheWindow)
{
    const int32_t Least = INT32_MIN, Most = INT32_MAX;
    ASSERT_EQ(LoadImageBytes(u"quadrants.png", PngFile(Picture::Quadrants(20, 10, Red, Green, Blue, White))),
              1u);
    ASSERT_EQ(renderer.loadFont(TestFamily, 12), 1u);
    struct Probe
    {
        int32_t x, y;
        uint32_t colour;
    };
    const struct
    {
        const char* name;
        std::function<void()> draw;
        std::vector<Probe> probes;
    } cases[] = {
        {"rectangle across the whole range",
         [this] { renderer.fillRect(Least, 0, Most, 10, Red); },
         {{0, 0, Red}, {199, 9, Red}, {100, 10, Black}}},
        {"outline around the whole range",
         [this] { renderer.drawRect(Least, Least, Most, Most, Red); },
         {{0, 0, Black}, {199, 119, Black}}},
        {"diagonal across the whole range",
         [this] { renderer.drawLine(Least, Least, Most, Most, Green); },
         {{50, 50, Green}, {100, 100, Green}, {50, 51, Black}}},
        {"horizontal line across the whole range",
         [this] { renderer.drawLine(Least, 5, Most, 5, Green); },
         {{0, 5, Green}, {199, 5, Green}, {100, 6, Black}}},
        {"image at the least x", [this] { renderer.drawImage(1, Least, 0, 0, 0, 3); }, {{0, 0, Black}}},
        // 2147483640 is a whole number of mirrored periods (40 pixels): the window shows the image's start.
        {"image tiled from far left into the window",
         [this] { renderer.drawImage(1, -2147483640, 30, Most, 0, 4); },
         {{0, 32, Red}, {6, 37, Blue}, {7, 32, Black}}},
        {"image tiled backwards from the most x",
         [this] { renderer.drawImage(1, Most, 0, Least, 10, 5); },
         {}},
        {"text box across the whole range",
         [this] { renderer.drawText(1, u"Far", Least, Least, Most, Most, 0x11, White); },
         {}},
    };
    for (const auto& extreme : cases)
    {
        SCOPED_TRACE(extreme.name);
        Frame frame = Render(extreme.draw);
        for (const Probe& probe : extreme.probes)
            EXPECT_EQ(frame.At(probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
    }
}

TEST_F(RendererFrameTest, OutsideAPassNothingDrawsAndSizesAreZero)
{
    // Loading works at any time; the first font and the first image are handle 1.
    ASSERT_EQ(renderer.loadFont(TestFamily, 20), 1u);
    ASSERT_EQ(LoadImageBytes(u"square.png", PngFile(Picture::Plain(12, 8, Red))), 1u);

    renderer.fillRect(0, 0, 200, 120, Red);
    renderer.drawText(1, u"Outside", 0, 0, 200, 120, 0, White);
    renderer.drawImage(1, 0, 0, 0, 0, 3);
    EXPECT_EQ(renderer.getImageWidth(1), 0);
    EXPECT_EQ(renderer.getImageHeight(1), 0);
    EXPECT_EQ(renderer.getTextHeight(1), 0);
    EXPECT_EQ(renderer.getTextWidth(1, u"Outside"), 0);
    renderer.RenderFrame();
    EXPECT_TRUE(Frame(window).AllAre(Black));

    int32_t sizes[4] = {};
    Render(
        [&]
        {
            sizes[0] = renderer.getImageWidth(1);
            sizes[1] = renderer.getImageHeight(1);
            sizes[2] = renderer.getTextHeight(1);
            sizes[3] = renderer.getTextWidth(1, u"Inside");
        });
    EXPECT_EQ(sizes[0], 12);
    EXPECT_EQ(sizes[1], 8);
    EXPECT_GT(sizes[2], 0);
    EXPECT_GT(sizes[3], 0);
}

TEST_F(RendererFrameTest, HandlesCountLoadsThatFoundSomething)
{
    // No bytes: no handle. Bytes that do not decode: a handle whose image draws nothing and measures 0 x 0.
    EXPECT_EQ(renderer.loadImage(folder.Path(u"missing.png").Text()), 0u);
    EXPECT_EQ(LoadImageBytes(u"first.png", PngFile(Picture::Plain(4, 4, Green))), 1u);
    EXPECT_EQ(LoadImageBytes(u"broken.png", "not an image at all"), 2u);
    EXPECT_EQ(LoadImageBytes(u"third.gif", GifFile({Picture::Plain(4, 4, Blue)}, {0})), 3u);
    renderer.AdvanceAnimations(1000); // an image without frames is never advanced

    // A font that cannot be made still takes its handle.
    EXPECT_EQ(renderer.loadFont(TestFamily, 16), 1u);
    EXPECT_EQ(renderer.loadFont(TestFamily, -1), 2u);
    EXPECT_EQ(renderer.loadFont(TestFamily, 16), 3u);

    struct Sizes
    {
        int32_t width, height, textHeight, textWidth;
    };
    std::vector<Sizes> sizes;
    Frame frame = Render(
        [&]
        {
            // Handle 2 is the broken image and the empty font; the others designate nothing.
            for (uint32_t handle : {0u, 2u, 4u, 0xFFFFFFFFu})
            {
                renderer.drawImage(handle, 0, 0, 200, 120, 5);
                renderer.drawText(handle, u"Text", 0, 0, 200, 120, 0, White);
            }
            for (uint32_t handle : {0u, 1u, 2u, 3u, 4u, 0xFFFFFFFFu})
                sizes.push_back({renderer.getImageWidth(handle), renderer.getImageHeight(handle),
                                 renderer.getTextHeight(handle), renderer.getTextWidth(handle, u"Text")});
        });
    EXPECT_TRUE(frame.AllAre(Black));
    const int32_t expectedImageWidths[] = {0, 4, 0, 4, 0, 0};
    for (size_t i = 0; i < sizes.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(sizes[i].width, expectedImageWidths[i]);
        EXPECT_EQ(sizes[i].height, expectedImageWidths[i]);
        bool validFont = i == 1 || i == 3;
        EXPECT_EQ(sizes[i].textHeight > 0, validFont);
        EXPECT_EQ(sizes[i].textWidth > 0, validFont);
    }
}

} // namespace

} // namespace Zelto
