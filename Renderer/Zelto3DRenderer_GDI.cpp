#include "Renderer/Zelto3DRenderer_GDI.h"

#include "Common/DataBuffer.h"
#include "Common/Log.h"
#include "Loader/LoadingFigures.h"
#include "Renderer/ImageHeader.h"
#include "Renderer/ScreenLibraries.h"
#include "Renderer/ScriptGeometry.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Script/IScriptManager.h"
#include "Source/Script/ScriptTimeBudget.h"

#include <algorithm>
#include <cmath>

namespace Zelto
{

namespace
{

const uint32_t AlignCentre = 0x1, AlignRight = 0x2, AlignMiddle = 0x10, AlignBottom = 0x20;
const uint32_t ShortestDelayMs = 50; // for frames whose stated delay is 0
const int32_t RenderFunctionKey = 64;
// The longest a screen script runs in one call of the host (creation or one frame): a tenth of a second is
// a visible stall of the host's window but not a hang; a screen that needs more is broken.
const uint32_t ScriptTimeMs = 100;
// The first byte of a compiled chunk: the interpreter runs such bytes without verifying them.
const uint8_t BytecodeMark = 0x1B;

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
    DrawOverFrame();
    // Presenting the frame may run the host's message loop, which can end the loading screen and this
    // renderer with it: the pass is let go first, and nothing here touches the renderer afterwards.
    Drawing::Pass* finished = graphics;
    graphics = nullptr;
    Drawing::EndPass(finished);
}

String Zelto3DRenderer_GDI::RunScreenScript(const DataBuffer& script)
{
    IScriptManager* manager = GetScriptManager();
    if (manager == nullptr)
        return String(u"no script manager");
    if (script.Size() > 0 && script.Data()[0] == BytecodeMark)
    {
        String refusal = Format(u"\"%ls\" is compiled bytecode: the loading screen runs script text only",
                                script.name.Text());
        LogError(u"[GDI] %ls", refusal.Text());
        return refusal;
    }
    NarrowScreenLibraries(manager->GetLuaState());
    // A script that fails is logged by the manager with its traceback; the screen shows the background.
    Variable out;
    {
        ScriptTimeBudget budget(*manager, ScriptTimeMs);
        manager->RunBuffer(out, script, 0);
        // A script stopped for running over is not run again: its render function goes with it.
        if (budget.Spent() && renderCallback != 0)
            manager->ClearStoredFunction(this, &renderCallback);
    }
    const char16_t* error = u"";
    manager->GetLastErrorText(&error);
    return String(error);
}

void Zelto3DRenderer_GDI::CallRenderFunction()
{
    IScriptManager* manager = GetScriptManager();
    if (manager == nullptr)
        return;
    Variable out;
    {
        ScriptTimeBudget budget(*manager, ScriptTimeMs);
        manager->CallFunction(out, this, renderCallback);
    }
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
    int64_t startX = x1, startY = y1, endX = x2, endY = y2;
    if (graphics != nullptr && LimitLine(startX, startY, endX, endY))
        Drawing::StrokeLine(graphics, int32_t(startX), int32_t(startY), int32_t(endX), int32_t(endY), colour);
}

void Zelto3DRenderer_GDI::drawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    // Edges beyond the limit lie outside the window wherever they are: moved onto it, they still do.
    int32_t left = LimitedCoordinate(x1), top = LimitedCoordinate(y1);
    if (graphics != nullptr)
        Drawing::StrokeRect(graphics, left, top, LimitedCoordinate(x2) - left, LimitedCoordinate(y2) - top,
                            colour);
}

void Zelto3DRenderer_GDI::fillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour)
{
    int32_t left = LimitedCoordinate(x1), top = LimitedCoordinate(y1);
    if (graphics != nullptr)
        Drawing::FillRectangle(graphics, left, top, LimitedCoordinate(x2) - left, LimitedCoordinate(y2) - top,
                               colour);
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
    {
        float boxLeft = float(LimitedCoordinate(left)), boxTop = float(LimitedCoordinate(top));
        Drawing::DrawTextBox(graphics, entry, text != nullptr ? text : u"", boxLeft, boxTop,
                             float(LimitedCoordinate(right)) - boxLeft,
                             float(LimitedCoordinate(bottom)) - boxTop, HorizontalAlign(flags),
                             VerticalAlign(flags), colour);
    }
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
    uint64_t allowance = std::min(MaxImagePixels, MaxScreenPixels - imagePixels);
    ImageHeader stated;
    Drawing::Image* image = nullptr;
    bool refused = ReadImageHeader(buffer.Data(), buffer.Size(), stated) && !ImageFits(stated, allowance);
    if (refused)
    {
        // Refused before decoding; its handle draws nothing, as an image that does not decode.
        LogError(u"[GDI] Image \"%ls\" is %u x %u pixels in %u frames: more than the screen may hold (%u of "
                 u"%u million pixels left)",
                 name, stated.width, stated.height, stated.frames, uint32_t(allowance >> 20),
                 uint32_t(MaxScreenPixels >> 20));
        image = Drawing::EmptyImage();
    }
    else
        image = Drawing::DecodeImage(buffer.Data(), buffer.Size(), allowance);
    if (image == nullptr)
        return 0;
    imagePixels +=
        uint64_t(Drawing::ImageWidth(image)) * Drawing::ImageHeight(image) * Drawing::FrameCount(image);
    if (images.Add(image) < 0)
    {
        Drawing::FreeImage(image);
        return 0;
    }
    ImageAnimation animation;
    animation.frameCount = Drawing::FrameCount(image);
    if (animation.frameCount == 0 && !refused) // a refused image has had its line
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
    int32_t windowWidth = 0, windowHeight = 0;
    Drawing::ClientSize(window, windowWidth, windowHeight);
    TiledSpan across{}, down{};
    if (LimitTiledSpan(x, w, Drawing::ImageWidth(entry), windowWidth, across) &&
        LimitTiledSpan(y, h, Drawing::ImageHeight(entry), windowHeight, down))
        Drawing::DrawImageTiled(graphics, entry, across.origin, down.origin, across.start, down.start,
                                across.length, down.length);
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
