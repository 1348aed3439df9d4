// One loading-screen frame at 1280 x 720 on the Linux drawing backend, copied into the host's surface: drawn
// by C++ (the background, a progress bar with its frame, three lines of text and a picture), and drawn by the
// example loading.lua with its spinner (both beside this program in the bin folder) through the script
// class. Goal: 4 ms or less per frame.
// Run: build/linux/bin/zelto_renderer_bench --benchmark_repetitions=5
#include "Common/DataBuffer.h"
#include "Common/Variable.h"
#include "DrawnRenderer.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/File.h"
#include "Source/Script/IScriptManager.h"
#include "ZeltoLoader.h"
#include "tools/loading-screen/ImageFiles.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using namespace Zelto;

const int32_t Width = 1280, Height = 720;

// The picture as a file, as a script finds it beside the host.
std::filesystem::path WritePicture()
{
    auto path = std::filesystem::temp_directory_path() / "zelto-renderer-bench.png";
    std::ofstream(path, std::ios::binary)
        << PngFile(Picture::Quadrants(256, 128, 0xFF2050A0, 0xFF60A0E0, 0xFFE0C040, 0xFF404040));
    return path;
}

void LoadingScreenFrame(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t(Width) * size_t(Height));
    ZeltoSurface surface{Width, Height, pixels.data(), nullptr, nullptr};
    DrawnRenderer renderer(nullptr, &surface);
    renderer.bgColor = 0xFF101820;
    std::filesystem::path picture = WritePicture();
    uint32_t image = renderer.loadImage(Utf8ToString(picture.string().c_str()).Text());
    uint32_t title = renderer.loadFont(u"", 32), detail = renderer.loadFont(u"", 18);
    std::filesystem::remove(picture);

    renderer.renderCallback = 64;
    renderer.callRenderFunction = [&]
    {
        renderer.drawImage(image, 512, 120, 0, 0, 3);
        renderer.drawText(title, u"Loading the world", 0, 300, Width, 360, 17, 0xFFFFFFFF);
        renderer.drawRect(240, 400, 1040, 430, 0xFFC0C0C0);
        renderer.fillRect(242, 402, 242 + 796 * 42 / 100, 429, 0xFF40A0FF);
        renderer.drawText(detail, u"42 %", 240, 440, 1040, 470, 2, 0xFFE0E0E0);
        renderer.drawText(detail, u"17 of 40 files, 1.2 MB/s", 240, 440, 1040, 470, 0, 0xFFE0E0E0);
        renderer.drawLine(240, 480, 1040, 480, 0xFF808080);
    };
    for (auto _ : state)
        renderer.RenderFrame();
    benchmark::DoNotOptimize(pixels.data());
}

void ExampleScriptFrame(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t(Width) * size_t(Height));
    ZeltoSurface surface{Width, Height, pixels.data(), nullptr, nullptr};
    IScriptManager* manager = GetScriptManager();
    RegisterRendererClass(*manager);
    auto* renderer = new Zelto3DRenderer_GDI(nullptr, &surface);
    Variable object(u"", VariablePointer);
    object.value.pointer = static_cast<ScriptObject*>(renderer);
    manager->SetFieldWide(nullptr, u"_gdi", object);
    // The script finds its spinner in the current directory, as the loader runs it.
    std::filesystem::path start = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::canonical("/proc/self/exe").parent_path());
    DataBuffer script;
    Variable out;
    if (LoadFile(script, u"loading.lua"))
        manager->RunBuffer(out, script, 0);
    std::filesystem::current_path(start);
    if (renderer->renderCallback == 0)
        state.SkipWithError("loading.lua did not run beside the benchmark");

    for (auto _ : state)
    {
        renderer->AdvanceAnimations(16);
        renderer->RenderFrame();
    }
    benchmark::DoNotOptimize(pixels.data());
    delete renderer;
    manager->Release();
}

// One text of state.range(0) words on one line of a box wider than the text: its layout should grow with
// the words, not their square.
void LongTextLine(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t(Width) * size_t(Height));
    ZeltoSurface surface{Width, Height, pixels.data(), nullptr, nullptr};
    DrawnRenderer renderer(nullptr, &surface);
    uint32_t font = renderer.loadFont(u"", 16);
    std::u16string text;
    for (int64_t word = 0; word < state.range(0); ++word)
        text += u"word ";
    renderer.renderCallback = 64;
    renderer.callRenderFunction = [&]
    { renderer.drawText(font, text.c_str(), 0, 0, 0x3FFFFF, Height, 0, 0xFFFFFFFF); };
    for (auto _ : state)
        renderer.RenderFrame();
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(LongTextLine)->RangeMultiplier(2)->Range(2500, 20000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(LoadingScreenFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(ExampleScriptFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
