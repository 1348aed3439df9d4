// The drawing backend on Windows: the GDI+ flat API drawing into a memory bitmap that each pass copies to the
// window. GDI+ must already run in the process: starting it is the host's business.
#include "Renderer/Drawing.h"

#include "Renderer/ImageHeader.h"

#include <windows.h>

#include <objbase.h> // streams over memory blocks; gdiplus.h needs its COM types

#include <gdiplus.h>

#include <cstring>
#include <vector>

namespace Zelto
{
namespace Drawing
{

namespace Gdip = Gdiplus::DllExports;

struct Pass
{
    HWND window;
    HDC windowContext;
    HDC memoryContext;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap;
    Gdiplus::GpGraphics* graphics;
    int32_t width;
    int32_t height;
};

struct Font
{
    Gdiplus::GpFont* handle;
};

struct Image
{
    Gdiplus::GpImage* handle; // null when the bytes did not decode
    HGLOBAL block;            // the image's bytes, read by GDI+ for as long as the image exists
};

namespace
{

const PROPID FrameDelayProperty = 0x5100;
// The time dimension of animated images.
const GUID FrameDimensionTime = {
    0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa7, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

const WCHAR* Wide(const char16_t* text)
{
    return reinterpret_cast<const WCHAR*>(text);
}

Gdiplus::StringAlignment StringAlignmentOf(Align align)
{
    switch (align)
    {
    case Align::Centre:
        return Gdiplus::StringAlignmentCenter;
    case Align::Far:
        return Gdiplus::StringAlignmentFar;
    case Align::Near:
        break;
    }
    return Gdiplus::StringAlignmentNear;
}

// A solid pen one world unit (one pixel) wide.
Gdiplus::GpPen* SolidPen(uint32_t argb)
{
    Gdiplus::GpPen* pen = nullptr;
    Gdip::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitWorld, &pen);
    return pen;
}

Gdiplus::GpFontFamily* SansSerifFamily()
{
    Gdiplus::GpFontFamily* family = nullptr;
    Gdip::GdipGetGenericFontFamilySansSerif(&family);
    return family;
}

} // namespace

Pass* BeginPass(void* window)
{
    auto handle = static_cast<HWND>(window);
    // A null window would give the whole screen's device context.
    HDC windowContext = handle != nullptr ? GetDC(handle) : nullptr;
    if (windowContext == nullptr)
        return nullptr;
    RECT client{};
    GetClientRect(handle, &client);
    auto* pass = new Pass{handle,
                          windowContext,
                          CreateCompatibleDC(windowContext),
                          nullptr,
                          nullptr,
                          nullptr,
                          int32_t(client.right),
                          int32_t(client.bottom)};
    pass->bitmap = CreateCompatibleBitmap(windowContext, pass->width, pass->height);
    pass->previousBitmap = SelectObject(pass->memoryContext, pass->bitmap);
    Gdip::GdipCreateFromHDC(pass->memoryContext, &pass->graphics);
    return pass;
}

void ClientSize(void* window, int32_t& width, int32_t& height)
{
    RECT client{};
    if (window != nullptr)
        GetClientRect(static_cast<HWND>(window), &client);
    width = int32_t(client.right - client.left);
    height = int32_t(client.bottom - client.top);
}

void EndPass(Pass* pass)
{
    Gdip::GdipDeleteGraphics(pass->graphics); // flushes what GDI+ still holds
    BitBlt(pass->windowContext, 0, 0, pass->width, pass->height, pass->memoryContext, 0, 0, SRCCOPY);
    SelectObject(pass->memoryContext, pass->previousBitmap);
    DeleteObject(pass->bitmap);
    DeleteDC(pass->memoryContext);
    ReleaseDC(pass->window, pass->windowContext);
    delete pass;
}

void Clear(Pass* pass, uint32_t argb)
{
    FillRectangle(pass, 0, 0, pass->width, pass->height, argb);
}

void StrokeLine(Pass* pass, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb)
{
    Gdiplus::GpPen* pen = SolidPen(argb);
    Gdip::GdipDrawLineI(pass->graphics, pen, x1, y1, x2, y2);
    Gdip::GdipDeletePen(pen);
}

void StrokeRect(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    Gdiplus::GpPen* pen = SolidPen(argb);
    Gdip::GdipDrawRectangleI(pass->graphics, pen, x, y, width, height);
    Gdip::GdipDeletePen(pen);
}

void FillRectangle(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    Gdiplus::GpSolidFill* brush = nullptr;
    Gdip::GdipCreateSolidFill(argb, &brush);
    Gdip::GdipFillRectangleI(pass->graphics, brush, x, y, width, height);
    Gdip::GdipDeleteBrush(brush);
}

Font* MakeFont(const char16_t* family, float pixelSize)
{
    Gdiplus::GpFontFamily* named = nullptr;
    if (Gdip::GdipCreateFontFamilyFromName(Wide(family), nullptr, &named) != Gdiplus::Ok)
        named = SansSerifFamily();
    Gdiplus::GpFont* font = nullptr;
    if (Gdip::GdipCreateFont(named, pixelSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel, &font) !=
        Gdiplus::Ok)
    {
        Gdiplus::GpFontFamily* fallback = SansSerifFamily();
        font = nullptr;
        Gdip::GdipCreateFont(fallback, pixelSize, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel, &font);
        if (fallback != nullptr)
            Gdip::GdipDeleteFontFamily(fallback);
    }
    if (named != nullptr)
        Gdip::GdipDeleteFontFamily(named);
    return font != nullptr ? new Font{font} : nullptr;
}

void FreeFont(Font* font)
{
    if (font == nullptr)
        return;
    Gdip::GdipDeleteFont(font->handle);
    delete font;
}

float LineHeight(Pass* pass, const Font* font)
{
    Gdiplus::REAL height = 0;
    Gdip::GdipGetFontHeight(font->handle, pass->graphics, &height);
    return height;
}

void DrawTextBox(Pass* pass, const Font* font, const char16_t* text, float left, float top, float width,
                 float height, Align horizontal, Align vertical, uint32_t argb)
{
    Gdiplus::GpStringFormat* format = nullptr;
    Gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
    Gdip::GdipSetStringFormatAlign(format, StringAlignmentOf(horizontal));
    Gdip::GdipSetStringFormatLineAlign(format, StringAlignmentOf(vertical));
    Gdiplus::GpSolidFill* brush = nullptr;
    Gdip::GdipCreateSolidFill(argb, &brush);
    Gdiplus::RectF layout(left, top, width, height);
    Gdip::GdipDrawString(pass->graphics, Wide(text), -1, font->handle, &layout, format, brush);
    Gdip::GdipDeleteBrush(brush);
    Gdip::GdipDeleteStringFormat(format);
}

float TextInkWidth(Pass*, const Font* font, const char16_t* text)
{
    Gdiplus::GpFontFamily* family = nullptr;
    Gdiplus::REAL size = 0;
    INT style = 0;
    Gdip::GdipGetFamily(font->handle, &family);
    Gdip::GdipGetFontSize(font->handle, &size);
    Gdip::GdipGetFontStyle(font->handle, &style);
    Gdiplus::GpPath* path = nullptr;
    Gdip::GdipCreatePath(Gdiplus::FillModeAlternate, &path);
    // The default format, given explicitly: Wine's GDI+ refuses a path string without one.
    Gdiplus::GpStringFormat* format = nullptr;
    Gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
    Gdiplus::RectF layout(0, 0, 0, 0);
    Gdip::GdipAddPathString(path, Wide(text), -1, family, style, size, &layout, format);
    Gdip::GdipDeleteStringFormat(format);
    Gdiplus::RectF bounds(0, 0, 0, 0);
    Gdip::GdipGetPathWorldBounds(path, &bounds, nullptr, nullptr);
    Gdip::GdipDeletePath(path);
    if (family != nullptr)
        Gdip::GdipDeleteFontFamily(family);
    return bounds.Width;
}

Image* DecodeImage(const uint8_t* bytes, uint32_t size, uint64_t pixelAllowance)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    void* copy = block != nullptr ? GlobalLock(block) : nullptr;
    if (copy == nullptr)
    {
        if (block != nullptr)
            GlobalFree(block);
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, FALSE, &stream) != S_OK)
    {
        GlobalFree(block);
        return nullptr;
    }
    Gdiplus::GpImage* image = nullptr;
    if (Gdip::GdipLoadImageFromStream(stream, &image) != Gdiplus::Ok)
        image = nullptr;
    stream->Release(); // the image holds its own reference
    auto* decoded = new Image{image, block};
    // GDI+ decodes the frames when they are drawn or selected: refused here, their pixels are never made.
    ImageHeader stated;
    stated.width = ImageWidth(decoded);
    stated.height = ImageHeight(decoded);
    stated.frames = FrameCount(decoded);
    if (image != nullptr && !ImageFits(stated, pixelAllowance))
    {
        Gdip::GdipDisposeImage(image);
        decoded->handle = nullptr;
    }
    return decoded;
}

Image* EmptyImage()
{
    return new Image{nullptr, nullptr};
}

void FreeImage(Image* image)
{
    if (image == nullptr)
        return;
    if (image->handle != nullptr)
        Gdip::GdipDisposeImage(image->handle);
    if (image->block != nullptr)
        GlobalFree(image->block);
    delete image;
}

uint32_t ImageWidth(const Image* image)
{
    UINT width = 0;
    if (image->handle != nullptr)
        Gdip::GdipGetImageWidth(image->handle, &width);
    return width;
}

uint32_t ImageHeight(const Image* image)
{
    UINT height = 0;
    if (image->handle != nullptr)
        Gdip::GdipGetImageHeight(image->handle, &height);
    return height;
}

uint32_t FrameCount(const Image* image)
{
    UINT dimensions = 0;
    if (image->handle == nullptr ||
        Gdip::GdipImageGetFrameDimensionsCount(image->handle, &dimensions) != Gdiplus::Ok || dimensions == 0)
        return 0;
    std::vector<GUID> list(dimensions);
    UINT frames = 0;
    if (Gdip::GdipImageGetFrameDimensionsList(image->handle, list.data(), dimensions) != Gdiplus::Ok ||
        Gdip::GdipImageGetFrameCount(image->handle, &list[0], &frames) != Gdiplus::Ok)
        return 0;
    return frames;
}

bool FrameDelays(const Image* image, Array<uint32_t>& delays)
{
    UINT size = 0;
    if (image->handle == nullptr ||
        Gdip::GdipGetPropertyItemSize(image->handle, FrameDelayProperty, &size) != Gdiplus::Ok || size == 0)
        return false;
    std::vector<uint8_t> storage(size);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(storage.data());
    if (Gdip::GdipGetPropertyItem(image->handle, FrameDelayProperty, size, item) != Gdiplus::Ok)
        return false;
    delays.Clear();
    uint32_t count = item->length / sizeof(uint32_t);
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t delay = 0;
        std::memcpy(&delay, static_cast<const uint8_t*>(item->value) + i * sizeof(uint32_t), sizeof delay);
        delays.Add(delay);
    }
    return true;
}

void SelectFrame(Image* image, uint32_t frame)
{
    if (image->handle != nullptr)
        Gdip::GdipImageSelectActiveFrame(image->handle, &FrameDimensionTime, frame);
}

void DrawImageTiled(Pass* pass, Image* image, int32_t originX, int32_t originY, int32_t x, int32_t y,
                    int32_t width, int32_t height)
{
    if (image->handle == nullptr)
        return;
    Gdiplus::GpImageAttributes* attributes = nullptr;
    Gdip::GdipCreateImageAttributes(&attributes);
    Gdip::GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY, 0xFF000000, FALSE);
    Gdip::GdipDrawImageRectRect(pass->graphics, image->handle, Gdiplus::REAL(x), Gdiplus::REAL(y),
                                Gdiplus::REAL(width), Gdiplus::REAL(height), Gdiplus::REAL(x - originX),
                                Gdiplus::REAL(y - originY), Gdiplus::REAL(width), Gdiplus::REAL(height),
                                Gdiplus::UnitPixel, attributes, nullptr, nullptr);
    Gdip::GdipDisposeImageAttributes(attributes);
}

} // namespace Drawing
} // namespace Zelto
