// What the renderer's tests draw into, read back pixel by pixel after a render pass: a real window on Windows
// (the host window starts GDI+ for the test program, as a host does), a ZeltoSurface on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelto
{

class HostWindow;

class FrameWindow
{
public:
    FrameWindow(int32_t width, int32_t height);
    ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    void* Handle() const { return mHandle; } // what the renderer takes as its window
    int32_t Width() const { return mWidth; }
    int32_t Height() const { return mHeight; }
    std::vector<uint32_t> Pixels() const; // rows top to bottom, 0xFFRRGGBB

private:
    HostWindow* mWindow = nullptr; // the sample host's window, whose handle the renderer gets
    void* mHandle = nullptr;
    int32_t mWidth;
    int32_t mHeight;
};

// A frame's pixels with the checks the tests make on them.
struct Frame
{
    struct Box
    {
        int32_t left, top, right, bottom; // right and bottom exclusive; all 0 when empty
        bool IsEmpty() const { return right <= left || bottom <= top; }
    };

    explicit Frame(const FrameWindow& window)
        : width(window.Width()), height(window.Height()), pixels(window.Pixels())
    {
    }

    uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool AllAre(uint32_t argb) const;
    // The smallest box around the pixels that differ from `background`.
    Box InkBox(uint32_t background) const;

    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;
};

} // namespace Zelto
