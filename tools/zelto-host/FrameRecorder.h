// What a preview records of its frames: each kept frame as a PNG in a folder, and the run as an animated GIF
// whose frame delays are the real times between the kept frames. `--fps` thins both out.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace Zelto
{

class FramePalette;
struct Picture;

class FrameRecorder
{
public:
    // Empty folder or GIF path: that record is not kept. `fps` 0 keeps every frame.
    FrameRecorder(std::string pngFolder, std::string gifPath, double fps);
    ~FrameRecorder(); // finishes the GIF

    bool Ready() const { return mReady; } // false when a file could not be made (reported on the console)
    bool Wants(uint64_t nowMs) const;     // a frame shown now would be kept
    // The frame the host shows `nowMs` into the run; kept when the frame rate allows.
    void Offer(const Picture& frame, uint64_t nowMs);
    void Finish(uint64_t nowMs); // the last GIF frame stays until `nowMs`
    uint32_t KeptFrames() const { return mKept; }

private:
    void WritePendingGifFrame(uint64_t untilMs);

    std::string mPngFolder;
    std::string mGifPath;
    std::ofstream mGif;
    double mFps;
    bool mReady = true;
    bool mFinished = false;
    uint32_t mKept = 0;
    uint64_t mNextDueMs = 0;
    // The GIF frame waiting for its delay, which the next kept frame (or the end) decides.
    int32_t mGifWidth = 0, mGifHeight = 0;
    std::unique_ptr<FramePalette> mPalette; // made from the first frame
    std::vector<uint8_t> mPendingIndices;
    uint64_t mPendingShownMs = 0;
    uint64_t mWrittenCentiseconds = 0; // delays written so far: the next delay absorbs their rounding
    uint64_t mGifStartMs = 0;
};

} // namespace Zelto
