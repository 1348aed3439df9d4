// A renderer drawing into a small window, with the script's render function stood in by a C++ function and
// the image files written to a fresh folder.
#pragma once

#include "DrawnRenderer.h"
#include "FrameWindow.h"
#include "support/TempDirectory.h"
#include "tools/loading-screen/ImageFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace Zelto
{

// A family that fontconfig has on our machines, so Linux and Wine (which finds the system's fonts through it)
// both draw with it; Windows without it draws with its generic sans-serif family.
const char16_t TestFamily[] = u"DejaVu Sans";

const uint32_t Black = 0xFF000000, White = 0xFFFFFFFF, Red = 0xFFFF0000, Green = 0xFF00FF00,
               Blue = 0xFF0000FF;

class RendererFixture : public ::testing::Test
{
protected:
    // One pass whose render function is `draw`, under the key a script binding would give it.
    Frame Render(std::function<void()> draw)
    {
        renderer.renderCallback = 64;
        renderer.callRenderFunction = std::move(draw);
        renderer.RenderFrame();
        return Frame(window);
    }

    uint32_t LoadImageBytes(const char16_t* name, const std::string& bytes)
    {
        folder.WriteBytes(name, bytes);
        return renderer.loadImage(folder.Path(name).Text());
    }

    // One window for the whole program: under Wine without a window manager, destroying a window waits two
    // seconds for X to withdraw it. Every pass repaints all of it, so nothing carries over between tests.
    static FrameWindow& SharedWindow()
    {
        static FrameWindow* shared = new FrameWindow(200, 120);
        return *shared;
    }

    FrameWindow& window = SharedWindow();
    DrawnRenderer renderer{nullptr, window.Handle()};
    TempDirectory folder;
};

} // namespace Zelto
