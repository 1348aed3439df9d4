// The loading screen's renderer driven as a hostile script would: any sizes, coordinates, handles, texts and
// images (made here from the input: well-formed, cut short, with bytes changed or claiming other sizes), in
// any order, inside and outside render passes, on a window of the input's size.
#include "FuzzCheck.h"
#include "Renderer/ImageHeader.h"
#include "Renderer/ScriptGeometry.h"
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "ZeltoLoader.h"
#include "tools/loading-screen/ImageFiles.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

// Every fontconfig lookup costs time: a few fonts per input reach every path of the text code.
const int MaxFontsPerInput = 4;
const int32_t MaxWindowSide = 256;
const uint32_t MaxTextUnits = 96;

class Input
{
public:
    Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    bool Done() const { return mAt >= mSize; }
    uint8_t Byte() { return mAt < mSize ? mData[mAt++] : 0; }
    uint32_t Bits32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | Byte();
        return value;
    }
    // Mostly values near the window, sometimes the extremes and the backends' limits, sometimes anything.
    int32_t Coordinate()
    {
        static const int32_t edges[] = {
            INT32_MIN, INT32_MIN + 1,   INT32_MAX,        -1,           0,
            1,         CoordinateLimit, -CoordinateLimit, 1 << 24,      -(1 << 24),
            65535,     65536,           INT32_MAX / 2,    INT32_MIN / 2};
        uint8_t kind = Byte();
        if (kind < 160)
            return int32_t(kind) - 32;
        if (kind < 224)
            return edges[kind % (sizeof edges / sizeof edges[0])];
        return int32_t(Bits32());
    }
    std::u16string Text()
    {
        std::u16string text;
        for (uint32_t length = Byte() % MaxTextUnits; length > 0 && !Done(); --length)
        {
            uint8_t unit = Byte();
            // Spaces and line breaks for the layout, surrogates and other units now and then.
            text += unit < 40   ? u' '
                    : unit < 48 ? u'\n'
                    : unit < 56 ? char16_t(0xD800 + Byte())
                    : unit < 64 ? char16_t(0xDC00 + Byte())
                    : unit < 72 ? char16_t(Bits32())
                                : char16_t(unit);
        }
        return text;
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mAt = 0;
};

// A folder of its own for the image files the inputs make.
std::string ImageFolder()
{
    static std::string folder = []
    {
        char pattern[] = "/tmp/zelto-renderer-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        Require(made != nullptr);
        return std::string(made);
    }();
    return folder;
}

std::string MakeImageBytes(Input& input)
{
    const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF, 0x00000000};
    int32_t width = 1 + input.Byte() % 24, height = 1 + input.Byte() % 24;
    std::string bytes;
    uint8_t kind = input.Byte();
    if (kind % 2 == 0)
    {
        bytes =
            PngFile(Picture::Quadrants(width, height, colours[input.Byte() % 5], colours[input.Byte() % 5],
                                       colours[input.Byte() % 5], colours[input.Byte() % 5]));
    }
    else
    {
        std::vector<Picture> frames;
        std::vector<uint16_t> delays;
        for (uint32_t frame = 0, count = 1 + input.Byte() % 6; frame < count; ++frame)
        {
            frames.push_back(Picture::Plain(width, height, 0xFF000000 | input.Bits32()));
            delays.push_back(uint16_t(input.Byte()));
        }
        bytes = GifFile(frames, delays);
    }
    // Changed bytes: other stated sizes, broken check sums and blocks, or a file cut short.
    for (uint32_t changes = input.Byte() % 4; changes > 0; --changes)
    {
        size_t at = input.Byte() % bytes.size();
        bytes[at] = char(input.Byte());
    }
    if (kind & 0x80)
        bytes.resize(input.Byte() % (bytes.size() + 1));
    return bytes;
}

uint32_t LoadMadeImage(Zelto3DRenderer_GDI& renderer, Input& input)
{
    std::string path = ImageFolder() + "/image";
    std::string bytes = MakeImageBytes(input);
    FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return renderer.loadImage(std::u16string(path.begin(), path.end()).c_str());
}

// One step of the script; false when the input is used up.
bool Step(Zelto3DRenderer_GDI& renderer, Input& input, int& fonts)
{
    static const char16_t* const families[] = {u"DejaVu Sans", u"", u"No Such Family"};
    // Handles: mostly ones that may exist, sometimes any.
    auto handle = [&] { return input.Byte() < 200 ? uint32_t(input.Byte() % 6) : input.Bits32(); };
    switch (input.Byte() % 12)
    {
    case 0:
        if (fonts++ < MaxFontsPerInput)
            renderer.loadFont(families[input.Byte() % 3], input.Coordinate());
        break;
    case 1:
        LoadMadeImage(renderer, input);
        break;
    case 2:
        renderer.drawLine(input.Coordinate(), input.Coordinate(), input.Coordinate(), input.Coordinate(),
                          input.Bits32());
        break;
    case 3:
        renderer.drawRect(input.Coordinate(), input.Coordinate(), input.Coordinate(), input.Coordinate(),
                          input.Bits32());
        break;
    case 4:
        renderer.fillRect(input.Coordinate(), input.Coordinate(), input.Coordinate(), input.Coordinate(),
                          input.Bits32());
        break;
    case 5:
    {
        uint32_t font = handle();
        std::u16string text = input.Text();
        renderer.drawText(font, text.c_str(), input.Coordinate(), input.Coordinate(), input.Coordinate(),
                          input.Coordinate(), input.Byte(), input.Bits32());
        break;
    }
    case 6:
    {
        uint32_t font = handle();
        std::u16string text = input.Text();
        Require(renderer.getTextWidth(font, text.c_str()) >= 0);
        Require(renderer.getTextHeight(font) >= 0);
        break;
    }
    case 7:
        renderer.drawImage(handle(), input.Coordinate(), input.Coordinate(), input.Coordinate(),
                           input.Coordinate(), 1 + input.Byte() % 5);
        break;
    case 8:
    {
        uint32_t image = handle();
        Require(uint32_t(renderer.getImageWidth(image)) <= MaxImageSide);
        Require(uint32_t(renderer.getImageHeight(image)) <= MaxImageSide);
        break;
    }
    case 9:
        renderer.AdvanceAnimations(input.Byte() < 128 ? input.Byte() : input.Bits32());
        break;
    case 10:
        renderer.setBgColor(input.Bits32());
        break;
    case 11:
        return false; // the end of this frame's steps
    }
    return !input.Done();
}

// The render function runs the steps up to the next frame's end.
class FuzzedRenderer : public Zelto3DRenderer_GDI
{
public:
    FuzzedRenderer(void* window, Input& input) : Zelto3DRenderer_GDI(nullptr, window), mInput(input) {}
    int fonts = 0;

protected:
    void CallRenderFunction() override
    {
        while (Step(*this, mInput, fonts))
        {
        }
    }

private:
    Input& mInput;
};

} // namespace

// As for the renderer's tests (tests/renderer/leaks.supp): fontconfig's patterns and parsed configuration,
// which cairo's font faces keep for the life of the process and never free before exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    ZeltoSurface surface{1 + input.Byte() % MaxWindowSide, 1 + input.Byte() % MaxWindowSide, nullptr, nullptr,
                         nullptr};
    std::vector<uint32_t> pixels(size_t(surface.width) * size_t(surface.height));
    surface.pixels = pixels.data();
    FuzzedRenderer renderer(&surface, input);
    // Steps before the first frame run outside a pass, where drawing does nothing.
    while (Step(renderer, input, renderer.fonts))
    {
    }
    renderer.renderCallback = 64;
    while (!input.Done())
        renderer.RenderFrame();
    return 0;
}
