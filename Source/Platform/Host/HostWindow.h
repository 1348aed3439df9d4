// The sample host's window: a real top-level window on Windows, a ZeltoSurface on Linux. Window messages are
// handed to the plug-in through `forward` (Windows; a surface has none).
#pragma once

#include "ZeltoLoader.h"

#include <cstdint>
#include <vector>

namespace Zelto
{

class HostWindow
{
public:
    HostWindow(int32_t width, int32_t height, ZeltoMessageFunction forward);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    void* Handle() const { return mHandle; } // what _ZeltoCreate takes as the window
    bool IsOpen() const { return mHandle != nullptr; }
    bool Pump();                          // handles pending messages; false once the window was closed
    bool SaveFrame(const char16_t* path); // the surface as a PNG file (Linux; false on Windows)
    void ClientSize(int32_t& width, int32_t& height) const;
    // A new client size, which the plug-in learns from a size message as from a window resized by its user
    // (Linux: the surface takes the new size; Windows: the window does).
    void Resize(int32_t width, int32_t height);
    // What the window's client area shows, `width` x `height` from its top-left corner, rows top to bottom,
    // 0xFFRRGGBB (for the tests that look at frames).
    std::vector<uint32_t> Pixels(int32_t width, int32_t height) const;

private:
    void* mHandle = nullptr;
    ZeltoMessageFunction mForward;
};

// Sleeps the host thread for about `milliseconds`.
void HostSleep(uint32_t milliseconds);

// The plug-in's file name on this platform ("zelto_loader.dll", "libzelto_loader.so").
const char16_t* PluginFileName();

} // namespace Zelto
