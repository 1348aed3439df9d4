// The drawing backend on Linux: cairo draws each frame into an off-screen image surface, which is then copied
// into the host's ZeltoSurface; gdk-pixbuf decodes the images.
#include "Renderer/Drawing.h"

#include "Renderer/GifFrameDelays.h"
#include "Renderer/ImageHeader.h"
#include "Source/Common/StringEncoding.h"
#include "ZeltoLoader.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
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
    cairo_t* measuring = nullptr; // made on the first measure of the pass
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
const float MaxFontPixels = 16384.0f;

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
// (0: no limit). A word wider than the box keeps a line of its own. A line's advance is the sum of its
// words' and spaces' (cairo's own text calls do not kern), so each word is measured once. As GDI+ lays text
// out, the spaces a paragraph starts with are kept (a traceback's indent) and those at a break are not.
std::vector<std::string> LayoutLines(cairo_t* cairo, const std::string& text, double width)
{
    std::vector<std::string> lines;
    const double space = width > 0 ? TextAdvance(cairo, " ") : 0;
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
        double lineAdvance = 0;
        // Something stands on the line: its first word, or at the paragraph's start the space before it
        // (the empty words between spaces).
        bool started = false, broken = false;
        size_t word = 0;
        while (width > 0 && word < paragraph.size())
        {
            size_t wordEnd = std::min(paragraph.find(' ', word), paragraph.size());
            std::string next = paragraph.substr(word, wordEnd - word);
            double nextAdvance = TextAdvance(cairo, next);
            if (started && lineAdvance + space + nextAdvance > width)
            {
                lines.push_back(std::move(line));
                line = std::move(next);
                lineAdvance = nextAdvance;
                broken = true;
                started = !line.empty();
            }
            else if (!started)
            {
                line = std::move(next);
                lineAdvance = nextAdvance;
                started = !broken || !line.empty();
            }
            else
            {
                line.append(1, ' ').append(next);
                lineAdvance += space + nextAdvance;
            }
            word = wordEnd + 1;
        }
        lines.push_back(width > 0 ? std::move(line) : std::move(paragraph));
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
    {
        // Drawn, a surface in error would put the pass's context in error and lose the rest of the frame.
        cairo_surface_destroy(surface);
        return nullptr;
    }
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

void DropFrames(Image& image)
{
    for (cairo_surface_t* frame : image.frames)
        cairo_surface_destroy(frame);
    image.frames.clear();
}

// Every frame of an animation once, stepping its iterator by the decoder's own delays. A frame that cannot
// be held leaves the image without frames: the others would show out of step with their delays.
void TakeFrames(GdkPixbufAnimation* animation, uint32_t frameCount, Image& image)
{
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GTimeVal time{0, 0};
    GdkPixbufAnimationIter* iterator = gdk_pixbuf_animation_get_iter(animation, &time);
    for (uint32_t frame = 0; frame < frameCount; ++frame)
    {
        cairo_surface_t* surface = SurfaceFromPixbuf(gdk_pixbuf_animation_iter_get_pixbuf(iterator));
        if (surface == nullptr)
        {
            DropFrames(image);
            break;
        }
        image.frames.push_back(surface);
        int delayMs = gdk_pixbuf_animation_iter_get_delay_time(iterator);
        if (delayMs < 0)
            break; // the last frame stays for ever
        g_time_val_add(&time, glong(delayMs) * 1000);
        gdk_pixbuf_animation_iter_advance(iterator, &time);
    }
    g_object_unref(iterator);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

cairo_t* NewContext(cairo_surface_t* buffer)
{
    cairo_t* cairo = cairo_create(buffer);
    // Shapes on whole pixels, as GDI+ draws them by default; text keeps its smoothing.
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cairo, 1.0);
    return cairo;
}

// A cairo context that failed once (a font too large to render, a text it cannot take) refuses everything
// after: the failed element is left out and a new context on the same back buffer draws the rest.
void Recover(Pass* pass)
{
    if (cairo_status(pass->cairo) == CAIRO_STATUS_SUCCESS)
        return;
    cairo_destroy(pass->cairo);
    pass->cairo = NewContext(pass->buffer);
}

// Scripts' texts may hold lone surrogates, which have no UTF-8 form: they show as the replacement character.
std::string TextToUtf8(const char16_t* text)
{
    std::u16string units(text);
    for (size_t at = 0; at < units.size(); ++at)
    {
        bool high = units[at] >= 0xD800 && units[at] <= 0xDBFF,
             low = units[at] >= 0xDC00 && units[at] <= 0xDFFF;
        bool pairsNext = high && at + 1 < units.size() && units[at + 1] >= 0xDC00 && units[at + 1] <= 0xDFFF;
        if (pairsNext)
            ++at;
        else if (high || low)
            units[at] = 0xFFFD;
    }
    return StringToUtf8(units.c_str(), int32_t(units.size()));
}

struct SizeCheck
{
    uint64_t pixelAllowance;
    bool refused;
};

// Before a decoder allocates its pixels: a size of 0 x 0 makes it stop without decoding them.
void RefuseOversize(GdkPixbufLoader* loader, gint width, gint height, gpointer data)
{
    auto* check = static_cast<SizeCheck*>(data);
    ImageHeader stated;
    stated.width = uint32_t(std::max(width, 0));
    stated.height = uint32_t(std::max(height, 0));
    if (ImageFits(stated, check->pixelAllowance))
        return;
    check->refused = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
}

} // namespace

Pass* BeginPass(void* window)
{
    auto* target = static_cast<ZeltoSurface*>(window);
    if (target == nullptr || target->pixels == nullptr || target->width <= 0 || target->height <= 0)
        return nullptr;
    cairo_surface_t* buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, target->width, target->height);
    return new Pass{target, buffer, NewContext(buffer)};
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
    if (pass->measuring != nullptr)
        cairo_destroy(pass->measuring);
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
    Recover(pass);
}

void StrokeLine(Pass* pass, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb)
{
    // Through pixel centres, so that a one-pixel pen covers whole pixels.
    cairo_move_to(pass->cairo, x1 + 0.5, y1 + 0.5);
    cairo_line_to(pass->cairo, x2 + 0.5, y2 + 0.5);
    SetColour(pass->cairo, argb);
    cairo_stroke(pass->cairo);
    Recover(pass);
}

void StrokeRect(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    cairo_rectangle(pass->cairo, x + 0.5, y + 0.5, width, height);
    SetColour(pass->cairo, argb);
    cairo_stroke(pass->cairo);
    Recover(pass);
}

void FillRectangle(Pass* pass, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb)
{
    cairo_rectangle(pass->cairo, x, y, width, height);
    SetColour(pass->cairo, argb);
    cairo_fill(pass->cairo);
    Recover(pass);
}

Font* MakeFont(const char16_t* family, float pixelSize)
{
    // No font has a size of 0 or less; FreeType takes less than 65536 pixels per em, and a size it refuses
    // breaks its face for every size after: 16384 is four times the tallest screens.
    if (!(pixelSize > 0.0f) || pixelSize > MaxFontPixels)
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
    cairo_font_extents_t extents{};
    cairo_font_extents(pass->cairo, &extents);
    bool failed = cairo_status(pass->cairo) != CAIRO_STATUS_SUCCESS;
    Recover(pass);
    return failed ? 0.0f : float(extents.height);
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
    std::vector<std::string> lines = LayoutLines(cairo, TextToUtf8(text), width);
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
    Recover(pass);
}

float TextInkWidth(Pass* pass, const Font* font, const char16_t* text)
{
    // Path extents stop at the surface's edges: the outlines are laid on an unbounded surface instead, with
    // the back buffer's font options so that they are the glyphs a pass draws.
    if (pass->measuring == nullptr)
    {
        cairo_surface_t* unbounded = cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr);
        pass->measuring = cairo_create(unbounded);
        cairo_surface_destroy(unbounded); // the context holds it
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_surface_get_font_options(pass->buffer, options);
        cairo_set_font_options(pass->measuring, options);
        cairo_font_options_destroy(options);
    }
    cairo_t* cairo = pass->measuring;
    UseFont(cairo, font);
    cairo_new_path(cairo);
    cairo_move_to(cairo, 0, 0);
    cairo_text_path(cairo, TextToUtf8(text).c_str());
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_path_extents(cairo, &x1, &y1, &x2, &y2);
    cairo_new_path(cairo);
    if (cairo_status(cairo) == CAIRO_STATUS_SUCCESS)
        return float(x2 - x1);
    cairo_destroy(cairo); // failed once, it would fail every measure after
    pass->measuring = nullptr;
    return 0.0f;
}

Image* DecodeImage(const uint8_t* bytes, uint32_t size, uint64_t pixelAllowance)
{
    auto* image = new Image;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    SizeCheck check{pixelAllowance, false};
    g_signal_connect(loader, "size-prepared", G_CALLBACK(RefuseOversize), &check);
    bool written = gdk_pixbuf_loader_write(loader, bytes, size, nullptr);
    bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbufAnimation* animation =
        written && closed && !check.refused ? gdk_pixbuf_loader_get_animation(loader) : nullptr;
    if (animation != nullptr)
    {
        image->hasDelays = ReadGifFrameDelays(bytes, size, image->delays);
        ImageHeader decoded;
        decoded.width = uint32_t(gdk_pixbuf_animation_get_width(animation));
        decoded.height = uint32_t(gdk_pixbuf_animation_get_height(animation));
        bool still = gdk_pixbuf_animation_is_static_image(animation) || !image->hasDelays;
        decoded.frames = still ? 1 : image->delays.Length();
        cairo_surface_t* surface = nullptr;
        if (ImageFits(decoded, pixelAllowance) && !still)
            TakeFrames(animation, decoded.frames, *image);
        else if (ImageFits(decoded, pixelAllowance) &&
                 (surface = SurfaceFromPixbuf(gdk_pixbuf_animation_get_static_image(animation))) != nullptr)
            image->frames.push_back(surface);
    }
    g_object_unref(loader);
    return image;
}

Image* EmptyImage()
{
    return new Image;
}

void FreeImage(Image* image)
{
    if (image == nullptr)
        return;
    DropFrames(*image);
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

void DrawImageTiled(Pass* pass, Image* image, int32_t originX, int32_t originY, int32_t x, int32_t y,
                    int32_t width, int32_t height)
{
    if (image->frames.empty())
        return;
    cairo_t* cairo = pass->cairo;
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image->frames[image->selected]);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REFLECT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t placement;
    cairo_matrix_init_translate(&placement, -double(originX), -double(originY));
    cairo_pattern_set_matrix(pattern, &placement);
    cairo_set_source(cairo, pattern);
    cairo_rectangle(cairo, x, y, width, height);
    cairo_fill(cairo);
    cairo_pattern_destroy(pattern);
    Recover(pass);
}

} // namespace Drawing
} // namespace Zelto
