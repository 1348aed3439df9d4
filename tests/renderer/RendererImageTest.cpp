// Images: placement, cropping and mirrored tiling, packed files, and the frames of animated GIFs.
#include "RendererFixture.h"

#include "Renderer/GifFrameDelays.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <filesystem>

namespace Zelto
{

namespace
{

using RendererImageTest = RendererFixture;

// A 20 x 10 image of four 10 x 5 quadrants, drawn at (30, 30).
const int32_t X = 30, Y = 30;

struct Probe
{
    int32_t dx, dy; // from the image's origin
    uint32_t colour;
};

struct PlacementCase
{
    const char* name;
    int32_t argCount, w, h;
    std::vector<Probe> probes;
};

TEST_F(RendererImageTest, DrawsAtNaturalSizeCropsAndTilesMirrored)
{
    ASSERT_EQ(LoadImageBytes(u"quadrants.png", PngFile(Picture::Quadrants(20, 10, Red, Green, Blue, White))),
              1u);
    const PlacementCase cases[] = {
        {"natural size",
         3,
         0,
         0,
         {{0, 0, Red},
          {15, 2, Green},
          {5, 7, Blue},
          {19, 9, White},
          {20, 2, Black},
          {5, 10, Black},
          {-1, 0, Black}}},
        {"width from the script, height of the image",
         4,
         10,
         0,
         {{5, 2, Red}, {5, 7, Blue}, {10, 2, Black}, {5, 10, Black}}},
        {"cropped at right and bottom", 5, 10, 5, {{5, 2, Red}, {5, 5, Black}, {10, 2, Black}}},
        {"mirrored to the right",
         4,
         40,
         0,
         {{15, 2, Green}, {24, 2, Green}, {35, 2, Red}, {35, 7, Blue}, {25, 7, White}, {40, 2, Black}}},
        {"mirrored downwards", 5, 20, 20, {{5, 12, Blue}, {5, 17, Red}, {15, 17, Green}, {5, 20, Black}}},
        {"no width draws nothing", 5, 0, 10, {}},
    };
    for (const PlacementCase& placement : cases)
    {
        SCOPED_TRACE(placement.name);
        Frame frame =
            Render([&] { renderer.drawImage(1, X, Y, placement.w, placement.h, placement.argCount); });
        if (placement.probes.empty())
        {
            EXPECT_TRUE(frame.AllAre(Black));
        }
        for (const Probe& probe : placement.probes)
            EXPECT_EQ(frame.At(X + probe.dx, Y + probe.dy), probe.colour)
                << "at +" << probe.dx << ",+" << probe.dy;
    }
}

TEST_F(RendererImageTest, EmbeddedResourceComesBeforeAFileOfTheSameName)
{
    // The program embeds a 6 x 4 blue picture as "EMBEDDED-PICTURE.PNG"; the folder holds a red one.
    folder.WriteBytes(u"embedded-picture.png", PngFile(Picture::Plain(10, 10, Red)));
    std::filesystem::path start = std::filesystem::current_path();
    ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
    uint32_t embedded = renderer.loadImage(u"embedded-picture.png");
    uint32_t fromFile = renderer.loadImage(u"./embedded-picture.png"); // no resource has this name
    std::filesystem::current_path(start);
    ASSERT_EQ(embedded, 1u);
    ASSERT_EQ(fromFile, 2u);
    Frame frame = Render(
        [&]
        {
            renderer.drawImage(embedded, 0, 0, 0, 0, 3);
            renderer.drawImage(fromFile, 20, 0, 0, 0, 3);
        });
    EXPECT_EQ(frame.At(3, 2), Blue);
    EXPECT_EQ(frame.At(6, 2), Black);
    EXPECT_EQ(frame.At(29, 9), Red);
}

TEST_F(RendererImageTest, PackedFilesAreUnpackedBeforeDecoding)
{
    std::string png = PngFile(Picture::Plain(6, 6, Green));
    DataBuffer packed;
    String error;
    ASSERT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(png.data()), uint32_t(png.size()), PackedZlib,
                          packed, error));
    ASSERT_EQ(LoadImageBytes(u"packed.png",
                             std::string(reinterpret_cast<const char*>(packed.Data()), packed.Size())),
              1u);
    Frame frame = Render([&] { renderer.drawImage(1, 0, 0, 0, 0, 3); });
    EXPECT_EQ(frame.At(3, 3), Green);
    EXPECT_EQ(frame.At(6, 3), Black);
}

TEST_F(RendererImageTest, AnimationAdvancesOneFrameAfterItsDelay)
{
    // Delays in hundredths: 0 stands for 50 ms.
    std::string gif = GifFile(
        {Picture::Plain(8, 8, Red), Picture::Plain(8, 8, Green), Picture::Plain(8, 8, Blue)}, {0, 7, 0});
    ASSERT_EQ(LoadImageBytes(u"frames.gif", gif), 1u);
    struct Step
    {
        uint32_t advanceMs;
        uint32_t colour;
    };
    const Step steps[] = {
        {0, Red},      {49, Red},   {1, Green}, // 50 ms for a delay of 0
        {69, Green},   {1, Blue},               // 70 ms for a delay of 7
        {1000, Red},                            // one frame per call, however long the call
        {1000, Green}, {49, Green},             // the excess of the long call was dropped
    };
    for (const Step& step : steps)
    {
        renderer.AdvanceAnimations(step.advanceMs);
        Frame frame = Render([&] { renderer.drawImage(1, 10, 10, 0, 0, 3); });
        EXPECT_EQ(frame.At(14, 14), step.colour) << "after " << step.advanceMs << " ms more";
    }
}

TEST(GifFrameDelaysTest, OneDelayPerImageUpToTheCut)
{
    std::string gif = GifFile({Picture::Plain(4, 4, Red), Picture::Plain(4, 4, Green)}, {0, 7});
    auto bytes = reinterpret_cast<const uint8_t*>(gif.data());
    Array<uint32_t> delays;
    ASSERT_TRUE(ReadGifFrameDelays(bytes, uint32_t(gif.size()), delays));
    ASSERT_EQ(delays.Length(), 2u);
    EXPECT_EQ(delays[0], 0u);
    EXPECT_EQ(delays[1], 7u);

    // Cut inside the second image's data: the first image stands, the second is counted as far as it came.
    EXPECT_TRUE(ReadGifFrameDelays(bytes, uint32_t(gif.size()) - 8, delays));
    EXPECT_EQ(delays.Length(), 2u);
    // Cut before the first image, or not a GIF at all.
    EXPECT_FALSE(ReadGifFrameDelays(bytes, 20, delays));
    EXPECT_FALSE(ReadGifFrameDelays(reinterpret_cast<const uint8_t*>("GIF88a plain text"), 17, delays));
}

} // namespace

} // namespace Zelto
