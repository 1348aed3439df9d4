// Images: placement, cropping and mirrored tiling, packed files, and the frames of animated GIFs.
#include "RendererFixture.h"

#include "Renderer/GifFrameDelays.h"
#include "Source/Common/StringEncoding.h"
#include "support/LogRecorder.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <filesystem>

#include <zlib.h>

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

// A picture of 256 colours in an irregular pattern: the GIF writer's codes grow to 12 bits and its table
// starts again several times, and every pixel must come back as it was.
TEST_F(RendererImageTest, GifWithManyColoursDecodesPixelForPixel)
{
    const int32_t width = 120, height = 90;
    Picture busy{width, height, {}};
    uint32_t state = 12345;
    for (int32_t i = 0; i < width * height; ++i)
    {
        state = state * 1103515245u + 12345u;
        uint32_t index = (i % 7 == 0) ? (state >> 16) & 0xFF : uint32_t(i / 40) & 0xFF; // runs and noise
        busy.argb.push_back(0xFF000000u | index << 16 | (255 - index) << 8 | (index * 7 & 0xFF));
    }
    ASSERT_EQ(LoadImageBytes(u"busy.gif", GifFile({busy}, {0})), 1u);
    Frame frame = Render([&] { renderer.drawImage(1, 0, 0, 0, 0, 3); });
    int32_t wrong = 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            wrong += frame.At(x, y) != busy.argb[size_t(y) * size_t(width) + size_t(x)] ? 1 : 0;
    EXPECT_EQ(wrong, 0);
}

// A PNG whose header states another size (its check sum made again), without pixels for it.
std::string PngClaiming(uint32_t width, uint32_t height)
{
    std::string png = PngFile(Picture::Plain(1, 1, Red));
    for (int byte = 0; byte < 4; ++byte)
    {
        png[size_t(16 + byte)] = char(width >> (24 - 8 * byte));
        png[size_t(20 + byte)] = char(height >> (24 - 8 * byte));
    }
    uLong sum = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17); // type and data
    for (int byte = 0; byte < 4; ++byte)
        png[size_t(29 + byte)] = char(sum >> (24 - 8 * byte));
    return png;
}

// A GIF of `frames` one-pixel images on a logical screen of `side` x `side`, each decoded to the whole
// screen.
std::string GifOnScreen(size_t frames, uint16_t side)
{
    std::string gif =
        GifFile(std::vector<Picture>(frames, Picture::Plain(1, 1, Red)), std::vector<uint16_t>(frames, 5));
    gif[6] = gif[8] = char(side & 0xFF);
    gif[7] = gif[9] = char(side >> 8);
    return gif;
}

TEST_F(RendererImageTest, ImagesTooLargeToHoldAreRefusedBeforeDecoding)
{
    const struct
    {
        const char16_t* name;
        std::string bytes;
        const char16_t* logged;
    } cases[] = {
        {u"wide.png", PngClaiming(30000, 30000), u"is 30000 x 30000 pixels in 1 frames"},
        {u"long.png", PngClaiming(16385, 1), u"is 16385 x 1 pixels in 1 frames"},
        {u"frames.gif", GifOnScreen(400, 2000), u"is 2000 x 2000 pixels in 400 frames"},
    };
    uint32_t handle = 0;
    for (const auto& large : cases)
    {
        SCOPED_TRACE(StringToUtf8(large.name));
        RecordedLogs logs;
        // Refused images still take their handle, as images that do not decode.
        EXPECT_EQ(LoadImageBytes(large.name, large.bytes), ++handle);
        EXPECT_EQ(logs.error.Count(large.logged), 1u);
        int32_t width = -1;
        EXPECT_TRUE(Render(
                        [&]
                        {
                            width = renderer.getImageWidth(handle);
                            renderer.drawImage(handle, 0, 0, 0, 0, 3);
                        })
                        .AllAre(Black));
        EXPECT_EQ(width, 0);
    }
}

TEST_F(RendererImageTest, ImagesTogetherHoldAtMostTheScreensShare)
{
    std::string large = PngFile(Picture::Plain(4096, 4096, Green)); // half of what a screen holds
    ASSERT_EQ(LoadImageBytes(u"first.png", large), 1u);
    ASSERT_EQ(LoadImageBytes(u"second.png", large), 2u);
    RecordedLogs logs;
    ASSERT_EQ(LoadImageBytes(u"small.png", PngFile(Picture::Plain(2, 2, Red))), 3u);
    EXPECT_EQ(logs.error.Count(u"small.png\" is 2 x 2 pixels in 1 frames"), 1u);
    Frame frame = Render(
        [&]
        {
            renderer.drawImage(2, 0, 0, 0, 0, 3);
            renderer.drawImage(3, 0, 0, 0, 0, 3);
        });
    EXPECT_EQ(frame.At(0, 0), Green);
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
