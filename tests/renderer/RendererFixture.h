// A renderer drawing into a small window, with the script's render function stood in by a C++ function and
// the image files written to a fresh folder.
#pragma once

#include "FrameWindow.h"
#include "ImageFiles.h"
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace Zelto
{

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

    FrameWindow window{200, 120};
    Zelto3DRenderer_GDI renderer{nullptr, window.Handle()};
    TempDirectory folder;
};

} // namespace Zelto
