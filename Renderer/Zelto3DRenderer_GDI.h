// The loading screen's renderer: on every render call of the host it builds a back buffer the size of the
// window, clears it to `bgColor`, lets the script's render function draw into it and copies it to the window.
// Fonts and images live in tables addressed by handles from 1 (0 is never valid); handles are never reused.
// The drawing operations and size queries work only inside a render pass and ignore invalid handles.
#pragma once

#include "Common/Array.h"
#include "Common/DataBuffer.h"
#include "Renderer/Drawing.h"
#include "Source/Script/ScriptObject.h"

#include <cstdint>

namespace Zelto
{

class IScriptManager;
struct LoadingFigures;

// An image with frame delays, advanced by the host's update calls.
struct ImageAnimation
{
    Drawing::Image* image = nullptr; // the entry of the image table, not owned
    Array<uint32_t> frameDelays;     // hundredths of a second per frame, as the image states them
    uint32_t currentFrame = 0;
    uint32_t frameCount = 0;   // at least 1 and at most the number of delays
    uint32_t elapsed = 0;      // ms since the current frame was selected
    uint32_t currentDelay = 0; // ms the current frame stays
};

// Scripts see it as an object of the class "_GDI" (RendererClass.cpp).
class Zelto3DRenderer_GDI : public ScriptObject
{
public:
    // `window` is where the passes draw: the loader's window (a ZeltoSurface on Linux); null for a renderer
    // that never renders, such as one a script made.
    explicit Zelto3DRenderer_GDI(const LoadingFigures* loader = nullptr, void* window = nullptr);
    virtual ~Zelto3DRenderer_GDI();
    Zelto3DRenderer_GDI(const Zelto3DRenderer_GDI&) = delete;
    Zelto3DRenderer_GDI& operator=(const Zelto3DRenderer_GDI&) = delete;

    // Called by the loader while its screen is up.
    // Runs the screen's start script ("loader.lua" or "loading.lua", or the one a preview names): text only,
    // within the script time. The error that stopped it, logged already; empty when it ran.
    String RunScreenScript(const DataBuffer& script);
    void RenderFrame();
    void AdvanceAnimations(uint32_t ms); // at most one frame per image and call

    // Called by the script.
    void drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
    void drawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
    void fillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
    uint32_t loadFont(const char16_t* name, int32_t size); // a handle even when no font could be made
    // flags: 0x1 centre, 0x2 right (wins); 0x10 middle, 0x20 bottom (wins).
    void drawText(uint32_t font, const char16_t* text, int32_t left, int32_t top, int32_t right,
                  int32_t bottom, uint32_t flags, uint32_t colour);
    int32_t getTextHeight(uint32_t font);
    int32_t getTextWidth(uint32_t font, const char16_t* text); // ink width: outer spaces add nothing
    uint32_t loadImage(const char16_t* name); // 0 when no bytes were found, without using a handle
    // `argCount` counts the script's arguments with the handle: up to 3 takes the image's width, up to 4 its
    // height as well.
    void drawImage(uint32_t image, int32_t x, int32_t y, int32_t w, int32_t h, int32_t argCount);
    int32_t getImageWidth(uint32_t image);
    int32_t getImageHeight(uint32_t image);
    // The script's forms: drawImage (image, x, y[, w[, h]]); onRender (function or nil), which replaces the
    // render function.
    int32_t drawImageOfScript(IScriptManager& manager);
    int32_t onRender(IScriptManager& manager);

    // The window's client area (0 x 0 without a window) and the loader's figures (0 without a loader).
    int32_t w() const;
    int32_t h() const;
    float progress() const;
    float speed() const;
    uint32_t resCount() const;
    uint32_t finishCount() const;
    uint32_t resSize() const;
    uint32_t finishSize() const;
    uint32_t getBgColor() const { return bgColor; }
    void setBgColor(uint32_t colour) { bgColor = colour; }

    const LoadingFigures* loader; // the loader's figures, not owned; null for a renderer made by a script
    void* window;                 // not owned
    Drawing::Pass* graphics = nullptr; // the pass in progress; null outside RenderFrame
    uint32_t bgColor = 0xFF000000;
    Array<Drawing::Font*> fonts;   // owned; null entries for fonts that could not be made
    Array<Drawing::Image*> images; // owned
    Array<ImageAnimation> animations;
    uint64_t imagePixels = 0;   // decoded, in all frames of all images
    int32_t renderCallback = 0; // key of the script's render function; 0 when none is set

protected:
    virtual void CallRenderFunction(); // the script's, under `renderCallback`
    virtual void DrawOverFrame() {}    // after the script's drawing, before the frame is shown

private:
    Drawing::Font* FontAt(uint32_t handle) const;   // null for an invalid handle or outside a pass
    Drawing::Image* ImageAt(uint32_t handle) const; // the same
};

// Declares the class "_GDI" with its constants, properties, functions and the constructor `new`.
void RegisterRendererClass(IScriptManager& manager);
// Deletes the renderers scripts made that are still alive, while the manager still exists; the number
// deleted.
uint32_t DeleteScriptMadeRenderers();

} // namespace Zelto
