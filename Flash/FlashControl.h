// What the Flash host needs of the movie control and of the window it lives in. The system's backend hosts
// the real control in a container child window; tests install a stand-in that records the calls and keeps the
// movie's variables, so everything above this line runs on every target.
#pragma once

#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

struct ClientArea
{
    int32_t width = 0;
    int32_t height = 0;

    bool IsEmpty() const { return width == 0 || height == 0; }
};

// One hosted control and its container window. Deleting it releases the control and destroys the container.
// Calls that the control answers with an error are ignored: a failing movie never takes the host down.
class FlashControl
{
public:
    virtual ~FlashControl() = default;

    virtual void SetBackgroundColor(int32_t color) = 0;
    virtual bool LoadMovie(int32_t layer, const String& path) = 0; // true only for full success
    virtual void Play() = 0;
    virtual void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
    virtual void SetMenu(bool enabled) = 0;
    virtual String GetVariable(const String& name) = 0; // empty for a variable the movie never set
    virtual void SetVariable(const String& name, const String& value) = 0;
    virtual void ResizeContainer(int32_t width, int32_t height) = 0; // its client area; position kept
};

// The system side of hosting: the parent window's size and the making of a control inside it.
class FlashPlatform
{
public:
    virtual ~FlashPlatform() = default;

    virtual ClientArea WindowArea(void* window) = 0;
    // A control in a container child window of `window`, sized to `area`; null when no usable control could
    // be made, and then no window is left behind.
    virtual FlashControl* CreateControl(void* window, ClientArea area) = 0;
};

// This system's backend: ATL-hosted Flash Player on Windows; none on Linux, which has no such control.
FlashPlatform& SystemFlashPlatform();

} // namespace Zelto
