#include "tools/zelto-host/FrameRecorder.h"

#include "tools/loading-screen/ImageFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace Zelto
{

namespace
{

const size_t PopularColours = 216;     // from the first frame; the rest of the 256 is a coarse cube
const size_t MaxCachedColours = 65536; // colours mapped to their entry before the cache starts again

uint32_t Distance(uint32_t a, uint32_t b)
{
    auto channel = [](uint32_t colour, int shift) { return int32_t((colour >> shift) & 0xFF); };
    int32_t r = channel(a, 16) - channel(b, 16), g = channel(a, 8) - channel(b, 8),
            b0 = channel(a, 0) - channel(b, 0);
    return uint32_t(2 * r * r + 4 * g * g + 3 * b0 * b0); // the eye tells greens apart best, blues least
}

} // namespace

// The GIF's one palette: the first frame's most frequent colours (a loading screen is mostly flat areas and
// their smoothed edges), and a coarse cube for the colours that later frames bring. Each colour maps to its
// nearest entry, once.
class FramePalette
{
public:
    explicit FramePalette(const Picture& first)
    {
        std::unordered_map<uint32_t, uint32_t> counts;
        for (uint32_t pixel : first.argb)
            ++counts[pixel | 0xFF000000u];
        std::vector<std::pair<uint32_t, uint32_t>> byCount(counts.begin(), counts.end());
        size_t popular = std::min(byCount.size(), PopularColours);
        std::partial_sort(byCount.begin(), byCount.begin() + std::ptrdiff_t(popular), byCount.end(),
                          [](const auto& a, const auto& b) { return a.second > b.second; });
        for (size_t i = 0; i < popular; ++i)
            mColours.push_back(byCount[i].first);
        for (uint32_t r : {0u, 128u, 255u})
            for (uint32_t g : {0u, 85u, 170u, 255u})
                for (uint32_t b : {0u, 128u, 255u})
                    mColours.push_back(0xFF000000u | r << 16 | g << 8 | b);
        for (uint32_t grey : {0x40u, 0x60u, 0xA0u, 0xE0u})
            mColours.push_back(0xFF000000u | grey << 16 | grey << 8 | grey);
    }

    const std::vector<uint32_t>& Colours() const { return mColours; }

    uint8_t IndexOf(uint32_t argb)
    {
        argb |= 0xFF000000u;
        if (argb == mLastColour) // runs of one colour: most of a frame
            return mLastIndex;
        mLastColour = argb;
        mLastIndex = Nearest(argb);
        return mLastIndex;
    }

private:
    uint8_t Nearest(uint32_t argb)
    {
        auto known = mNearest.find(argb);
        if (known != mNearest.end())
            return known->second;
        size_t best = 0;
        for (size_t i = 1; i < mColours.size(); ++i)
            if (Distance(argb, mColours[i]) < Distance(argb, mColours[best]))
                best = i;
        if (mNearest.size() >= MaxCachedColours)
            mNearest.clear();
        mNearest.emplace(argb, uint8_t(best));
        return uint8_t(best);
    }

    std::vector<uint32_t> mColours; // at most 256
    uint32_t mLastColour = 0;       // never a pixel's: pixels are made opaque first
    uint8_t mLastIndex = 0;
    std::unordered_map<uint32_t, uint8_t> mNearest;
};

namespace
{

// The frame's pixels as palette indices on the GIF's screen: a frame of another size (the window was
// resized) is cut or padded with black at its right and bottom.
std::vector<uint8_t> Indices(const Picture& frame, int32_t width, int32_t height, FramePalette& palette)
{
    std::vector<uint8_t> indices(size_t(width) * size_t(height), palette.IndexOf(0xFF000000u));
    for (int32_t y = 0; y < height && y < frame.height; ++y)
        for (int32_t x = 0; x < width && x < frame.width; ++x)
            indices[size_t(y) * size_t(width) + size_t(x)] =
                palette.IndexOf(frame.argb[size_t(y) * size_t(frame.width) + size_t(x)]);
    return indices;
}

} // namespace

FrameRecorder::FrameRecorder(std::string pngFolder, std::string gifPath, double fps)
    : mPngFolder(std::move(pngFolder)), mGifPath(std::move(gifPath)), mFps(fps)
{
    std::error_code error;
    if (!mPngFolder.empty() && !std::filesystem::create_directories(mPngFolder, error) && error)
    {
        std::printf("zelto-host: cannot make the frame folder %s\n", mPngFolder.c_str());
        mReady = false;
    }
    if (!mGifPath.empty())
    {
        mGif.open(mGifPath, std::ios::binary | std::ios::trunc);
        if (!mGif)
        {
            std::printf("zelto-host: cannot write the GIF %s\n", mGifPath.c_str());
            mReady = false;
        }
    }
}

FrameRecorder::~FrameRecorder()
{
    Finish(mPendingShownMs);
}

bool FrameRecorder::Wants(uint64_t nowMs) const
{
    bool recording = !mPngFolder.empty() || mGif.is_open();
    return recording && !mFinished && (mFps <= 0.0 || mKept == 0 || nowMs >= mNextDueMs);
}

void FrameRecorder::Offer(const Picture& frame, uint64_t nowMs)
{
    if (!Wants(nowMs) || frame.width <= 0 || frame.height <= 0)
        return;
    if (mFps > 0.0)
    {
        // Due times follow the rate, not the frames: a late frame does not push the later ones back.
        const uint64_t intervalMs = uint64_t(1000.0 / mFps);
        mNextDueMs = (mKept == 0 ? nowMs : mNextDueMs) + intervalMs;
        if (mNextDueMs <= nowMs)
            mNextDueMs = nowMs + intervalMs;
    }
    ++mKept;
    if (!mPngFolder.empty())
    {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05u.png", mKept);
        std::ofstream png(std::filesystem::path(mPngFolder) / name, std::ios::binary | std::ios::trunc);
        png << PngFile(frame);
    }
    if (!mGif.is_open())
        return;
    if (mGifWidth == 0)
    {
        mGifWidth = frame.width;
        mGifHeight = frame.height;
        mGifStartMs = nowMs;
        mPalette = std::make_unique<FramePalette>(frame);
        mGif << GifHead(mGifWidth, mGifHeight, mPalette->Colours(), GifMaxPaletteBits);
    }
    else
        WritePendingGifFrame(nowMs);
    mPendingIndices = Indices(frame, mGifWidth, mGifHeight, *mPalette);
    mPendingShownMs = nowMs;
}

void FrameRecorder::WritePendingGifFrame(uint64_t untilMs)
{
    if (mPendingIndices.empty())
        return;
    // The delay brings the GIF's clock to the run's, to the nearest hundredth: rounding never adds up.
    uint64_t dueCentiseconds = (untilMs - mGifStartMs + 5) / 10;
    uint64_t delay = dueCentiseconds > mWrittenCentiseconds ? dueCentiseconds - mWrittenCentiseconds : 0;
    if (delay > 0xFFFF)
        delay = 0xFFFF;
    mWrittenCentiseconds += delay;
    mGif << GifFrame(mGifWidth, mGifHeight, mPendingIndices, uint16_t(delay), GifMaxPaletteBits);
    mPendingIndices.clear();
}

void FrameRecorder::Finish(uint64_t nowMs)
{
    if (mFinished)
        return;
    mFinished = true;
    if (!mGif.is_open())
        return;
    if (mGifWidth != 0)
    {
        WritePendingGifFrame(nowMs);
        mGif << GifTrailer;
    }
    mGif.close();
}

} // namespace Zelto
