// The drawing backend on Linux: cairo draws each frame into an off-screen image surface, which is then copied
// into the host's ZeltoSurface; gdk-pixbuf decodes the images.
#include "Renderer/Drawing.h"

#include "Renderer/GifFrameDelays.h"
#include "Source/Common/StringEncoding.h"
#include "ZeltoLoader.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>
#include <vector>

namespace Zelto
{
namespace Drawing
{

struct Pass
{
    ZeltoSurface* target;
    cairo_surface_t* buffer;
    cairo_t* cairo;
};

struct Font
{
    cairo_font_face_t* face;
    double size;
};

struct Image
{
    std::vector<cairo_surface_t*> frames; // whole frames as they show, empty when the bytes did not decode
    uint32_t selected = 0;
    Array<uint32_t> delays;
    bool hasDelays = false;
};

namespace
{

const char GenericSansSerif[] = "sans-serif";

void SetColour(cairo_t* cairo, uint32_t argb)
{
    cairo_set_source_rgba(cairo, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
}

void UseFont(cairo_t* cairo, const Font* font)
{
    cairo_set_font_face(cairo, font->face);
    cairo_set_font_size(cairo, font->size);
}

double TextAdvance(cairo_t* cairo, const std::string& text)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cairo, text.c_str(), &extents);
    return extents.x_advance;
}

// The lines of a text box: its own line breaks, then breaks at spaces wherever a line would pass `width`
// (0: no limit). A word wider than the box keeps a line of its own.
std::vector<std::string> LayoutLines(cairo_t* cairo, const std::string& text, double width)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string paragraph = text.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == '\r')
            paragraph.pop_back();
        std::string line;
        size_t word = 0;
        while (width > 0 && word < paragraph.size())
        {
            size_t space = paragraph.find(' ', word);
            size_t wordEnd = space == std::string::npos ? paragraph.size() : space;
            std::string candidate = line.empty() ? paragraph.substr(word, wordEnd - word)
                                                 : line + ' ' + paragraph.substr(word, wordEnd - word);
            if (!line.empty() && TextAdvance(cairo, candidate) > width)
            {
                lines.push_back(line);
                line = paragraph.substr(word, wordEnd - word);
            }
            else
            {
                line = candidate;
            }
            word = wordEnd + 1;
        }
        lines.push_back(width > 0 ? line : paragraph);
        start = end + 1;
    }
    return lines;
}

double AlignedStart(double start, double room, double extent, Align align)
{
    switch (align)
    {
    case Align::Centre:
        return start + (room - extent) / 2;
    case Align::Far:
        return start + room - extent;
    case Align::Near:
        break;
    }
    return start;
}

// gdk-pixbuf's RGB(A) rows, straight alpha, into a cairo surface with premultiplied alpha.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf)
{
    int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf), rowStride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return surface;
    cairo_surface_flush(surface);
    unsigned char* target = cairo_image_surface_get_data(surface);
    int targetStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
    {
        const guchar* in = source + size_t(y) * size_t(rowStride);
        auto* out = reinterpret_cast<uint32_t*>(target + size_t(y) * size_t(targetStride));
        for (int x = 0; x < width; ++x, in += channels)
        {
            uint32_t alpha = channels == 4 ? in[3] : 0xFF;
            auto premultiplied = [alpha](uint32_t value) { return (value * alpha + 127) / 255; };
            out[x] =
                alpha << 24 | premultiplied(in[0]) << 16 | premultiplied(in[1]) << 8 | premultiplied(in[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Every frame of an animation once, stepping its iterator by the decoder's own delays.
void TakeFrames(GdkPixbufAnimation* animation, uint32_t frameCount, Image& image)
{
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GTimeVal time{0, 0};
    GdkPixbufAnimationIter* iterator = gdk_pixbuf_animation_get_iter(animation, &time);
    for (uint32_t frame = 0; frame < frameCount; ++frame)
    {
        image.frames.push_back(SurfaceFromPixbuf(gdk_pixbuf_animation_iter_get_pixbuf(iterator)));
        int delayMs = gdk_pixbuf_animation_iter_get_delay_time(iterator);
        if (delayMs < 0)
            break; // the last frame stays for ever
        g_time_val_add(&time, glong(delayMs) * 1000);
        gdk_pixbuf_animation_iter_advance(iterator, &time);
    }
    g_object_unref(iterator);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

} // namespace

Pass* BeginPass(void* window)
{
    auto* target = static_cast<ZeltoSurface*>(window);
    if (target == nullptr || target->pixels == nullptr || target->width <= 0 || target->height <= 0)
        return nullptr;
    cairo_surface_t* buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, target->width, target->height);
    cairo_t* cairo = cairo_create(buffer);
    // Shapes on whole pixels, as GDI+ draws them by default; text keeps its smoothing.
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cairo, 1.0);
    return new Pass{target, buffer, cairo};
}

void ClientSize(void* window, int32_t& width, int32_t& height)
{
    auto* target = static_cast<ZeltoSurface*>(window);
    width = target != nullptr ? target->width : 0;
    height = target != nullptr ? target->height : 0;
}

void EndPass(Pass* pass)
{
    cairo_surface_flush(pass->buffer);
    if (cairo_surface_status(pass->buffer) == CAIRO_STATUS_SUCCESS)
    {
        const unsigned char* rows = cairo_image_surface_get_data(pass->buffer);
        int stride = cairo_image_surface_get_stride(pass->buffer);
        ZeltoSurface* target = pass->target;
        // The window has no alpha: what shows is the frame over black, which premultiplied pixels already
        // are.
        for (int y = 0; y < target->height; ++y)
        {
            auto* in = reinterpret_cast<const uint32_t*>(rows + size_t(y) * size_t(stride));
            uint32_t* out = target->pixels + size_t(y) * size_t(target->width);
            for (int x = 0; x < target->width; ++x)
                out[x] = in[x] | 0xFF000000u;
        }
        if (target->present != nullptr)
            target->present(target);
    }
    cairo_destroy(pass->cairo);
    cairo_surface_destroy(pass->buffer);
    delete pass;
}

void Clear(Pass* pass, uint32_t argb)
{
    cairo_save(pass->cairo);
    cairo_set_operator(pass->cairo, CAIRO_OPERATOR_SOURCE);
    SetColour(pass->cairo, argb);
    cairo_paint(pass->cairo);
    cairo_restore(pass->cairo);
}

void StrokeLine(Pass* pass, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb)
{
    // Through pixel centres, so that a one-pixel pen covers whole pixels.
    cairo_move_to(pass->cairo, x1 + 0.5, y1 + 0.5);
    cairo_line_to(pass->cairo, x2 + 0.5, y2 + 0.5);
    SetColour(pass->cairo, argb);
    cairo_stroke(pass->cairo);
}

void StrokeRect(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    cairo_rectangle(pass->cairo, x + 0.5, y + 0.5, width, height);
    SetColour(pass->cairo, argb);
    cairo_stroke(pass->cairo);
}

void FillRectangle(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    cairo_rectangle(pass->cairo, x, y, width, height);
    SetColour(pass->cairo, argb);
    cairo_fill(pass->cairo);
}

Font* MakeFont(const char16_t* family, float pixelSize)
{
    if (!(pixelSize > 0.0f)) // no font has a size of 0 or less
        return nullptr;
    // Fontconfig stands in a default family for a missing one; an empty name asks for sans-serif directly.
    std::string name = family != nullptr && family[0] != u'\0' ? StringToUtf8(family) : GenericSansSerif;
    cairo_font_face_t* face =
        cairo_toy_font_face_create(name.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS)
    {
        cairo_font_face_destroy(face);
        face =
            cairo_toy_font_face_create(GenericSansSerif, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    }
    return new Font{face, pixelSize};
}

void FreeFont(Font* font)
{
    if (font == nullptr)
        return;
    cairo_font_face_destroy(font->face);
    delete font;
}

float LineHeight(Pass* pass, const Font* font)
{
    UseFont(pass->cairo, font);
    cairo_font_extents_t extents;
    cairo_font_extents(pass->cairo, &extents);
    return float(extents.height);
}

void DrawTextBox(Pass* pass, const Font* font, const char16_t* text, float left, float top, float width,
                 float height, Align horizontal, Align vertical, uint32_t argb)
{
    cairo_t* cairo = pass->cairo;
    cairo_save(cairo);
    UseFont(cairo, font);
    if (width > 0 && height > 0)
    {
        cairo_rectangle(cairo, left, top, width, height);
        cairo_clip(cairo);
    }
    cairo_font_extents_t metrics;
    cairo_font_extents(cairo, &metrics);
    std::vector<std::string> lines = LayoutLines(cairo, StringToUtf8(text), width);
    double y = AlignedStart(top, height, metrics.height * double(lines.size()), vertical);
    SetColour(cairo, argb);
    for (const std::string& line : lines)
    {
        cairo_move_to(cairo, AlignedStart(left, width, TextAdvance(cairo, line), horizontal),
                      y + metrics.ascent);
        cairo_show_text(cairo, line.c_str());
        y += metrics.height;
    }
    cairo_restore(cairo);
}

float TextInkWidth(Pass* pass, const Font* font, const char16_t* text)
{
    cairo_t* cairo = pass->cairo;
    cairo_save(cairo);
    UseFont(cairo, font);
    cairo_new_path(cairo);
    cairo_move_to(cairo, 0, 0);
    cairo_text_path(cairo, StringToUtf8(text).c_str());
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_path_extents(cairo, &x1, &y1, &x2, &y2);
    cairo_new_path(cairo);
    cairo_restore(cairo);
    return float(x2 - x1);
}

Image* DecodeImage(const uint8_t* bytes, uint32_t size)
{
    auto* image = new Image;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    bool written = gdk_pixbuf_loader_write(loader, bytes, size, nullptr);
    bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbufAnimation* animation = written && closed ? gdk_pixbuf_loader_get_animation(loader) : nullptr;
    if (animation != nullptr)
    {
        image->hasDelays = ReadGifFrameDelays(bytes, size, image->delays);
        if (gdk_pixbuf_animation_is_static_image(animation) || !image->hasDelays)
            image->frames.push_back(SurfaceFromPixbuf(gdk_pixbuf_animation_get_static_image(animation)));
        else
            TakeFrames(animation, image->delays.Length(), *image);
    }
    g_object_unref(loader);
    return image;
}

void FreeImage(Image* image)
{
    if (image == nullptr)
        return;
    for (cairo_surface_t* frame : image->frames)
        cairo_surface_destroy(frame);
    delete image;
}

uint32_t ImageWidth(const Image* image)
{
    return image->frames.empty() ? 0 : uint32_t(cairo_image_surface_get_width(image->frames[0]));
}

uint32_t ImageHeight(const Image* image)
{
    return image->frames.empty() ? 0 : uint32_t(cairo_image_surface_get_height(image->frames[0]));
}

uint32_t FrameCount(const Image* image)
{
    return uint32_t(image->frames.size());
}

bool FrameDelays(const Image* image, Array<uint32_t>& delays)
{
    if (!image->hasDelays)
        return false;
    delays = image->delays;
    return true;
}

void SelectFrame(Image* image, uint32_t frame)
{
    if (frame < image->frames.size())
        image->selected = frame;
}

void DrawImageTiled(Pass* pass, Image* image, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (image->frames.empty())
        return;
    cairo_t* cairo = pass->cairo;
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image->frames[image->selected]);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REFLECT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t placement;
    cairo_matrix_init_translate(&placement, -x, -y);
    cairo_pattern_set_matrix(pattern, &placement);
    cairo_set_source(cairo, pattern);
    cairo_rectangle(cairo, x, y, width, height);
    cairo_fill(cairo);
    cairo_pattern_destroy(pattern);
}

} // namespace Drawing
} // namespace Zelto
