#include "tools/zelto-host/Preview.h"

#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Host/Plugin.h"
#include "tools/loading-screen/ImageFiles.h"
#include "tools/zelto-host/FrameRecorder.h"
#include "tools/zelto-host/PreviewDisplay.h"
#include "tools/zelto-host/ScreenFiles.h"
#include "tools/zelto-host/SimulatedFigures.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace Zelto
{

namespace
{

namespace fs = std::filesystem;

const uint32_t FrameMs = 16; // about 60 frames a second, as a host's timer drives the plug-in

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int)
{
    interrupted = 1;
}

fs::path AbsolutePath(const std::string& path)
{
    std::error_code error;
    return path.empty() ? fs::path() : fs::absolute(fs::u8path(path), error).lexically_normal();
}

} // namespace

int RunPreview(const PreviewOptions& options, Plugin& plugin)
{
    fs::path script = AbsolutePath(options.script);
    std::error_code error;
    if (!fs::is_regular_file(script, error))
    {
        std::printf("zelto-host: no screen script %s\n", options.script.c_str());
        return 1;
    }
    // Outputs are named from where zelto-host started; the screen's own files from the script's folder.
    fs::path pngFolder = AbsolutePath(options.pngFolder), gif = AbsolutePath(options.gif);
    FrameRecorder recorder(pngFolder.u8string(), gif.u8string(), options.fps);
    if (!recorder.Ready())
        return 1;
    fs::path folder = script.parent_path();
    fs::current_path(folder, error);
    if (error)
    {
        std::printf("zelto-host: cannot work in %s\n", folder.u8string().c_str());
        return 1;
    }
    std::vector<fs::path> written;
    for (const fs::path& output : {pngFolder, gif})
        if (!output.empty())
            written.push_back(output);
    ScreenFiles files(folder, written);

    HostWindow window(options.width, options.height, plugin.message);
    if (!window.IsOpen())
    {
        std::printf("zelto-host: cannot open a window\n");
        return 1;
    }
    std::string title = "zelto-host preview: " + script.filename().u8string();
    std::unique_ptr<PreviewDisplay> display =
        PreviewDisplay::Open(options.width, options.height, title.c_str());
    plugin.create(window.Handle(), 0, 0, 0, ZELTO_PREVIEW_LAUNCH_MODE);
    const auto scriptName = ZeltoText(script.filename().u8string().c_str());
    const auto scriptKey = ZeltoText("previewscript"), figuresKey = ZeltoText("previewfigures");
    plugin.setup(scriptKey.c_str(), scriptName.c_str());
    std::printf("zelto-host: previewing %s (progress cycle %.1f s)%s%s\n", script.u8string().c_str(),
                options.cycleSeconds, display != nullptr ? " in a window" : "",
                options.seconds <= 0.0 && options.frames == 0 ? "; Ctrl-C ends it" : "");
    std::signal(SIGINT, Interrupt);

    const auto begin = std::chrono::steady_clock::now();
    const uint64_t cycleMs = uint64_t(options.cycleSeconds * 1000.0);
    const uint64_t startMs = uint64_t(options.startSeconds * 1000.0);
    const uint64_t endMs = uint64_t(options.seconds * 1000.0);
    uint64_t nowMs = 0, lastMs = 0;
    uint32_t frames = 0, restarts = 0;
    while (!interrupted && (endMs == 0 || nowMs < endMs) &&
           (options.frames == 0 || frames < options.frames) && window.Pump())
    {
        if (display != nullptr)
        {
            int32_t width = 0, height = 0, shownWidth = 0, shownHeight = 0;
            if (!display->Pump(width, height))
                break;
            window.ClientSize(shownWidth, shownHeight);
            if (width > 0 && height > 0 && (width != shownWidth || height != shownHeight))
                window.Resize(width, height);
        }
        if (files.Changed(nowMs))
        {
            std::printf("zelto-host: %s changed: the screen starts again\n", files.LastChange().c_str());
            plugin.setup(scriptKey.c_str(), scriptName.c_str());
            ++restarts;
        }
        auto figures = ZeltoText(SimulatedFigures::At(startMs + nowMs, cycleMs).SetupValue().c_str());
        plugin.setup(figuresKey.c_str(), figures.c_str());
        plugin.update(0, uint32_t(nowMs - lastMs));
        plugin.render();
        ++frames;
        if (display != nullptr || recorder.Wants(nowMs))
        {
            Picture frame{0, 0, {}};
            window.ClientSize(frame.width, frame.height);
            frame.argb = window.Pixels(frame.width, frame.height);
            if (display != nullptr)
                display->Show(frame.argb, frame.width, frame.height);
            recorder.Offer(frame, nowMs);
        }
        std::fflush(stdout);
        lastMs = nowMs;
        if (options.frames != 0)
        {
            nowMs += FrameMs;
            continue;
        }
        HostSleep(FrameMs);
        nowMs = uint64_t(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
                .count());
    }
    recorder.Finish(nowMs);
    std::printf("zelto-host: preview: %u frames in %.2f s, %u kept, %u restarts\n", frames, nowMs / 1000.0,
                recorder.KeptFrames(), restarts);
    plugin.destroy();
    return 0;
}

} // namespace Zelto
