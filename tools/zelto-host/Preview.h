// zelto-host --preview: a loading screen shown to its author without a server or a package. The plug-in
// runs in its preview launch mode and draws the screen with its own renderer; the host simulates the
// loader's figures, starts the screen again whenever its files change, and records the frames.
#pragma once

#include <cstdint>
#include <string>

namespace Zelto
{

class Plugin;

struct PreviewOptions
{
    std::string script = "loading.lua";
    double cycleSeconds = 10.0; // progress runs from 0 to 1 in this time, then round again
    double seconds = 0.0;       // the preview ends after this time; 0: when its window is closed
    int32_t width = 800, height = 600;
    std::string pngFolder;     // every kept frame as a PNG
    std::string gif;           // the run as an animated GIF
    double fps = 0.0;          // frames kept a second; 0: every frame
    double startSeconds = 0.0; // the simulated figures start this far into the run
    // Above 0: exactly this many frames on a clock of their own, one frame's time apart, as fast as they
    // draw: the same frames on every run (pictures for the documentation, tests).
    uint32_t frames = 0;
};

// The exit status: 0 after a preview, 1 when it could not start.
int RunPreview(const PreviewOptions& options, Plugin& plugin);

} // namespace Zelto
