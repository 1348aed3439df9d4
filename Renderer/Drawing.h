// The loading-screen renderer's drawing backend: GDI+ into the host window on Windows
// (DrawingGdiPlusWin32.cpp), cairo and gdk-pixbuf into the host's ZeltoSurface on Linux
// (DrawingCairoPosix.cpp). Colours are 0xAARRGGBB; coordinates are pixels of the back buffer, origin at its
// top-left corner. Nothing here reports failures: an element that cannot be drawn is left out of the frame.
#pragma once

#include "Common/Array.h"

#include <cstdint>

namespace Zelto
{
namespace Drawing
{

struct Pass;  // one frame: a back buffer the size of the window's client area
struct Font;  // a font family at a pixel size
struct Image; // decoded frames of an image, one of them selected

enum class Align : uint8_t
{
    Near,
    Centre,
    Far,
};

// -- Render pass --
Pass* BeginPass(void* window); // null when the window gives nothing to draw into
void EndPass(Pass* pass);      // copies the back buffer to the window, then frees it
// The window's client area; 0 x 0 for a window that gives nothing to draw into.
void ClientSize(void* window, int32_t& width, int32_t& height);

void Clear(Pass* pass, uint32_t argb);
void StrokeLine(Pass* pass, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb); // pen width 1
void StrokeRect(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);
void FillRectangle(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb);

// -- Fonts --
// The named family (the generic sans-serif one when it is missing) at an em size of `pixelSize`; null when no
// family gives a font of that size.
Font* MakeFont(const char16_t* family, float pixelSize);
void FreeFont(Font* font);
float LineHeight(Pass* pass, const Font* font); // line spacing on the pass's surface
// Wraps at word boundaries within a layout box of non-zero width and clips to a box of non-zero size.
void DrawTextBox(Pass* pass, const Font* font, const char16_t* text, float left, float top, float width,
                 float height, Align horizontal, Align vertical, uint32_t argb);
float TextInkWidth(Pass* pass, const Font* font, const char16_t* text); // width of the glyph outlines

// -- Images --
// Null only when the bytes cannot be held for decoding; bytes that do not decode give an image that draws
// nothing and measures 0 x 0, and so do bytes whose decoder states a size that does not fit `pixelAllowance`
// (ImageFits): they are refused before their pixels are decoded.
Image* DecodeImage(const uint8_t* bytes, uint32_t size, uint64_t pixelAllowance);
Image* EmptyImage(); // draws nothing and measures 0 x 0
void FreeImage(Image* image);
uint32_t ImageWidth(const Image* image);
uint32_t ImageHeight(const Image* image);
uint32_t FrameCount(const Image* image); // along the image's first frame dimension; 0 when it has none
// Hundredths of a second per frame, as the image file gives them; false when it carries no delays.
bool FrameDelays(const Image* image, Array<uint32_t>& delays);
void SelectFrame(Image* image, uint32_t frame);
// The selected frame, unscaled, with its top-left corner at (originX, originY) and repeating mirrored in both
// directions beyond its edges, fills (x, y, width, height).
void DrawImageTiled(Pass* pass, Image* image, int32_t originX, int32_t originY, int32_t x, int32_t y,
                    int32_t width, int32_t height);

} // namespace Drawing
} // namespace Zelto
