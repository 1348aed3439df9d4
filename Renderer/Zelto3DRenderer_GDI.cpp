#include "Renderer/Zelto3DRenderer_GDI.h"

#include "Common/DataBuffer.h"
#include "Common/Log.h"
#include "Loader/LoadingFigures.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Script/IScriptManager.h"

#include <cmath>

namespace Zelto
{

namespace
{

const uint32_t AlignCentre = 0x1, AlignRight = 0x2, AlignMiddle = 0x10, AlignBottom = 0x20;
const uint32_t ShortestDelayMs = 50; // for frames whose stated delay is 0
const int32_t RenderFunctionKey = 64;

// A measure in whole pixels, truncated toward zero; out-of-range values (no font, broken metrics) give 0.
int32_t TruncatedPixels(float value)
{
    return std::isfinite(value) && std::fabs(value) < 2147483520.0f ? int32_t(value) : 0;
}

// Milliseconds a frame stays: its stated delay in hundredths; a frame without one counts as stating 0.
uint32_t FrameDelayMs(const Array<uint32_t>& delays, uint32_t frame)
{
    uint32_t ms = frame < delays.Length() ? delays[int32_t(frame)] * 10 : 0;
    return ms != 0 ? ms : ShortestDelayMs;
}

Drawing::Align HorizontalAlign(uint32_t flags)
{
    if (flags & AlignRight)
        return Drawing::Align::Far;
    return (flags & AlignCentre) ? Drawing::Align::Centre : Drawing::Align::Near;
}

Drawing::Align VerticalAlign(uint32_t flags)
{
    if (flags & AlignBottom)
        return Drawing::Align::Far;
    return (flags & AlignMiddle) ? Drawing::Align::Centre : Drawing::Align::Near;
}

// An image's bytes: the embedded resource of that name, else the file (relative to the current directory).
bool FetchImageBytes(const char16_t* name, DataBuffer& buffer)
{
    if (LoadEmbeddedResource(name, buffer) && buffer.Size() > 0)
        return true;
    buffer.Reset();
    return LoadFile(buffer, name) && buffer.Size() > 0;
}

} // namespace

Zelto3DRenderer_GDI::Zelto3DRenderer_GDI(const LoadingFigures* loader, void* window)
    : ScriptObject("_GDI"), loader(loader), window(window)
{
}

Zelto3DRenderer_GDI::~Zelto3DRenderer_GDI()
{
    for (Drawing::Font* font : fonts)
        Drawing::FreeFont(font);
    for (Drawing::Image* image : images)
        Drawing::FreeImage(image);
    if (graphics != nullptr)
        Drawing::EndPass(graphics);
}

void Zelto3DRenderer_GDI::RenderFrame()
{
    graphics = Drawing::BeginPass(window);
    if (graphics == nullptr)
        return;
    Drawing::Clear(graphics, bgColor);
    if (renderCallback != 0)
        CallRenderFunction();
    // Presenting the frame may run the host's message loop, which can end the loading screen and this
    // renderer with it: the pass is let go first, and nothing here touches the renderer afterwards.
    Drawing::Pass* finished = graphics;
    graphics = nullptr;
    Drawing::EndPass(finished);
}

void Zelto3DRenderer_GDI::CallRenderFunction()
{
    IScriptManager* manager = GetScriptManager();
    if (manager == nullptr)
        return;
    Variable out;
    manager->CallFunction(out, this, renderCallback);
    const char16_t* error = u"";
    manager->GetLastErrorText(&error);
    // The manager has logged the error with its traceback. A render function that failed once would fail
    // on every frame and bury the log, so it is dropped: the frames show the background until the script
    // sets another one.
    if (error[0] != u'\0')
        manager->ClearStoredFunction(this, &renderCallback);
}

int32_t Zelto3DRenderer_GDI::onRender(IScriptManager& manager)
{
    if (renderCallback != 0)
        manager.ClearStoredFunction(this, &renderCallback);
    renderCallback = manager.StoreArgFunction(this, RenderFunctionKey, 0);
    return manager.Return();
}

int32_t Zelto3DRenderer_GDI::w() const
{
    int32_t width = 0, height = 0;
    Drawing::ClientSize(window, width, height);
    return width;
}

int32_t Zelto3DRenderer_GDI::h() const
{
    int32_t width = 0, height = 0;
    Drawing::ClientSize(window, width, height);
    return height;
}

float Zelto3DRenderer_GDI::progress() const
{
    return loader != nullptr ? loader->progress : 0.0f;
}

float Zelto3DRenderer_GDI::speed() const
{
    return loader != nullptr ? loader->speed : 0.0f;
}

uint32_t Zelto3DRenderer_GDI::resCount() const
{
    return loader != nullptr ? uint32_t(loader->resCount) : 0;
}

uint32_t Zelto3DRenderer_GDI::finishCount() const
{
    return loader != nullptr ? uint32_t(loader->finishCount) : 0;
}

uint32_t Zelto3DRenderer_GDI::resSize() const
{
    return loader != nullptr ? uint32_t(loader->resSize) : 0;
}

uint32_t Zelto3DRenderer_GDI::finishSize() const
{
    return loader != nullptr ? uint32_t(loader->finishSize) : 0;
}

void Zelto3DRenderer_GDI::AdvanceAnimations(uint32_t ms)
{
    for (ImageAnimation& animation : animations)
    {
        animation.elapsed += ms;
        if (animation.elapsed < animation.currentDelay)
            continue;
        animation.currentFrame = (animation.currentFrame + 1) % animation.frameCount;
        animation.elapsed = 0; // the excess is dropped: one frame per call at most
        Drawing::SelectFrame(animation.image, animation.currentFrame);
        animation.currentDelay = FrameDelayMs(animation.frameDelays, animation.currentFrame);
    }
}

void Zelto3DRenderer_GDI::drawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    if (graphics != nullptr)
        Drawing::StrokeLine(graphics, x1, y1, x2, y2, colour);
}

void Zelto3DRenderer_GDI::drawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    if (graphics != nullptr)
        Drawing::StrokeRect(graphics, x1, y1, x2 - x1, y2 - y1, colour);
}

void Zelto3DRenderer_GDI::fillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    if (graphics != nullptr)
        Drawing::FillRectangle(graphics, x1, y1, x2 - x1, y2 - y1, colour);
}

uint32_t Zelto3DRenderer_GDI::loadFont(const char16_t* name, int32_t size)
{
    // A font that cannot be made still takes its handle, so that the script's later handles stay in step.
    if (fonts.Add(Drawing::MakeFont(name, float(size))) < 0)
        return 0;
    return fonts.Length();
}

void Zelto3DRenderer_GDI::drawText(uint32_t font, const char16_t* text, int32_t left, int32_t top,
                                   int32_t right, int32_t bottom, uint32_t flags, uint32_t colour)
{
    if (Drawing::Font* entry = FontAt(font))
        Drawing::DrawTextBox(graphics, entry, text != nullptr ? text : u"", float(left), float(top),
                             float(right) - float(left), float(bottom) - float(top), HorizontalAlign(flags),
                             VerticalAlign(flags), colour);
}

int32_t Zelto3DRenderer_GDI::getTextHeight(uint32_t font)
{
    Drawing::Font* entry = FontAt(font);
    return entry != nullptr ? TruncatedPixels(Drawing::LineHeight(graphics, entry)) : 0;
}

int32_t Zelto3DRenderer_GDI::getTextWidth(uint32_t font, const char16_t* text)
{
    Drawing::Font* entry = FontAt(font);
    return entry != nullptr
               ? TruncatedPixels(Drawing::TextInkWidth(graphics, entry, text != nullptr ? text : u""))
               : 0;
}

uint32_t Zelto3DRenderer_GDI::loadImage(const char16_t* name)
{
    if (name == nullptr)
        name = u"";
    DataBuffer buffer;
    if (!FetchImageBytes(name, buffer))
    {
        LogError(u"[GDI] No image \"%ls\" among the resources or files", name);
        return 0;
    }
    Unpack(buffer); // bytes that fail to unpack are offered to the decoder as they are
    Drawing::Image* image = Drawing::DecodeImage(buffer.Data(), buffer.Size());
    if (image == nullptr)
        return 0;
    if (images.Add(image) < 0)
    {
        Drawing::FreeImage(image);
        return 0;
    }
    ImageAnimation animation;
    animation.frameCount = Drawing::FrameCount(image);
    if (animation.frameCount == 0)
        LogError(u"[GDI] Image \"%ls\" cannot be decoded: it draws nothing", name);
    if (animation.frameCount > 0 && Drawing::FrameDelays(image, animation.frameDelays) &&
        animation.frameDelays.Length() > 0)
    {
        // A delay list shorter than the frames is never read past: the frames without a delay are not shown.
        if (animation.frameCount > animation.frameDelays.Length())
            animation.frameCount = animation.frameDelays.Length();
        animation.image = image;
        animation.currentDelay = FrameDelayMs(animation.frameDelays, 0);
        animations.Add(animation);
    }
    return images.Length();
}

void Zelto3DRenderer_GDI::drawImage(uint32_t image, int32_t x, int32_t y, int32_t w, int32_t h,
                                    int32_t argCount)
{
    Drawing::Image* entry = ImageAt(image);
    if (entry == nullptr)
        return;
    if (argCount <= 3)
        w = int32_t(Drawing::ImageWidth(entry));
    if (argCount <= 4)
        h = int32_t(Drawing::ImageHeight(entry));
    if (w != 0 && h != 0)
        Drawing::DrawImageTiled(graphics, entry, x, y, w, h);
}

int32_t Zelto3DRenderer_GDI::drawImageOfScript(IScriptManager& manager)
{
    drawImage(manager.GetArgUInt32(0), manager.GetArgInt32(1), manager.GetArgInt32(2), manager.GetArgInt32(3),
              manager.GetArgInt32(4), manager.GetArgCount());
    return manager.Return();
}

int32_t Zelto3DRenderer_GDI::getImageWidth(uint32_t image)
{
    Drawing::Image* entry = ImageAt(image);
    return entry != nullptr ? int32_t(Drawing::ImageWidth(entry)) : 0;
}

int32_t Zelto3DRenderer_GDI::getImageHeight(uint32_t image)
{
    Drawing::Image* entry = ImageAt(image);
    return entry != nullptr ? int32_t(Drawing::ImageHeight(entry)) : 0;
}

Drawing::Font* Zelto3DRenderer_GDI::FontAt(uint32_t handle) const
{
    if (graphics == nullptr || handle == 0 || handle > fonts.Length())
        return nullptr;
    return fonts[int32_t(handle - 1)];
}

Drawing::Image* Zelto3DRenderer_GDI::ImageAt(uint32_t handle) const
{
    if (graphics == nullptr || handle == 0 || handle > images.Length())
        return nullptr;
    return images[int32_t(handle - 1)];
}

} // namespace Zelto
