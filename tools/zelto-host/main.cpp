// zelto-host: a sample launcher. Loads the plug-in, gives it a window (a surface on Linux), passes the
// --setup pairs, drives update and render at about 60 Hz and prints the progress until the engine runs or
// the time is up. Exit status: 0 the engine runs, 1 a failure, 2 wrong arguments, 3 the time ran out.
// With --preview it shows a loading screen to its author instead (Preview.cpp).
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Host/Plugin.h"
#include "Source/Platform/System.h"
#include "tools/zelto-host/Preview.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace Zelto;

namespace
{

struct Options
{
    std::string plugin;                                     // empty: beside this executable
    std::vector<std::pair<std::string, std::string>> setup; // key=value pairs, in order
    double seconds = 30.0;
    int32_t launchMode = 0;
    std::string png; // Linux: the last frame is saved here
    // Linux: frames saved on the way, by tick number (from 1): "--png-frame 40:loading.png"
    std::vector<std::pair<uint32_t, std::string>> framePngs;
    bool timing = false; // prints the longest update calls, when the files were in and how long the delete took
    bool preview = false;
    bool secondsGiven = false;
    PreviewOptions previewOptions;
};

void PrintUsage()
{
    std::printf("usage: zelto-host [--plugin PATH] [--setup KEY=VALUE]... [--seconds N] [--launch-mode N]"
                " [--png FILE] [--png-frame TICK:FILE]... [--timing]\n"
                "       zelto-host --preview [SCRIPT] [--preview-seconds N] [--seconds N] [--size WxH]"
                " [--preview-at S] [--frames N] [--png-dir DIR] [--gif FILE] [--fps N] [--plugin PATH]\n");
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == "--plugin" && hasValue)
            options.plugin = argv[++i];
        else if (argument == "--seconds" && hasValue)
        {
            options.seconds = std::atof(argv[++i]);
            options.secondsGiven = true;
        }
        else if (argument == "--preview")
        {
            options.preview = true;
            if (hasValue && std::strncmp(argv[i + 1], "--", 2) != 0)
                options.previewOptions.script = argv[++i];
        }
        else if (argument == "--preview-seconds" && hasValue)
            options.previewOptions.cycleSeconds = std::atof(argv[++i]);
        else if (argument == "--preview-at" && hasValue)
            options.previewOptions.startSeconds = std::atof(argv[++i]);
        else if (argument == "--frames" && hasValue)
            options.previewOptions.frames = uint32_t(std::atoi(argv[++i]));
        else if (argument == "--png-dir" && hasValue)
            options.previewOptions.pngFolder = argv[++i];
        else if (argument == "--gif" && hasValue)
            options.previewOptions.gif = argv[++i];
        else if (argument == "--fps" && hasValue)
            options.previewOptions.fps = std::atof(argv[++i]);
        else if (argument == "--size" && hasValue)
        {
            int width = 0, height = 0;
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
                return false;
            options.previewOptions.width = width;
            options.previewOptions.height = height;
        }
        else if (argument == "--launch-mode" && hasValue)
            options.launchMode = std::atoi(argv[++i]);
        else if (argument == "--png" && hasValue)
            options.png = argv[++i];
        else if (argument == "--png-frame" && hasValue)
        {
            std::string frame = argv[++i];
            size_t colon = frame.find(':');
            if (colon == std::string::npos || colon == 0)
                return false;
            options.framePngs.emplace_back(uint32_t(std::atoi(frame.substr(0, colon).c_str())),
                                           frame.substr(colon + 1));
        }
        else if (argument == "--timing")
            options.timing = true;
        else if (argument == "--setup" && hasValue)
        {
            std::string pair = argv[++i];
            size_t equals = pair.find('=');
            if (equals == std::string::npos)
                return false;
            options.setup.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        }
        else
            return false;
    }
    return true;
}

void SaveFrame(HostWindow& window, const std::string& file, const std::string& which)
{
    std::printf("zelto-host: %s %s %s\n", which.c_str(),
                window.SaveFrame(Utf8ToString(file.c_str()).Text()) ? "saved as" : "could not be saved as",
                file.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        PrintUsage();
        return 2;
    }
    String pluginPath =
        options.plugin.empty() ? PluginBesideExecutable() : Utf8ToString(options.plugin.c_str());
    Plugin plugin;
    String error;
    if (!plugin.Load(pluginPath.Text(), error))
    {
        std::printf("zelto-host: %s\n", StringToUtf8(error.Text()).c_str());
        return 1;
    }
    std::printf("zelto-host: loaded %s\n", StringToUtf8(pluginPath.Text()).c_str());
    if (options.preview)
    {
        options.previewOptions.seconds = options.secondsGiven ? options.seconds : 0.0;
        return RunPreview(options.previewOptions, plugin);
    }

    HostWindow window(800, 600, plugin.message);
    if (!window.IsOpen())
    {
        std::printf("zelto-host: cannot open a window\n");
        return 1;
    }
    plugin.create(window.Handle(), 0, 0, 0, options.launchMode);
    for (const auto& [key, value] : options.setup)
    {
        std::printf("zelto-host: setup %s = %s\n", key.c_str(), value.c_str());
        plugin.setup(ZeltoText(key.c_str()).c_str(), ZeltoText(value.c_str()).c_str());
    }

    // The loader's progress reaches 1.0 when the engine reports ready; a few more frames let it take over.
    const uint32_t frameMs = 16;
    const uint32_t framesAfterReady = 30;
    uint32_t started = MillisecondClock();
    uint32_t last = started;
    uint32_t ticks = 0, readyTicks = 0;
    float shown = -1.0f;
    // The loader's own share of the bar ends at 40 %, which it reaches once every file is in place under its
    // real name: from there on the engine loads.
    const float filesInProgress = 0.4f;
    double longestUpdateMs = 0.0, longestSyncUpdateMs = 0.0, filesInMs = -1.0;
    const auto begin = std::chrono::steady_clock::now();
    auto msSince = [](std::chrono::steady_clock::time_point mark)
    { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - mark).count(); };
    while (window.Pump() && readyTicks < framesAfterReady &&
           MillisecondClock() - started < uint32_t(options.seconds * 1000.0))
    {
        uint32_t now = MillisecondClock();
        const auto updating = std::chrono::steady_clock::now();
        plugin.update(0, now - last);
        const double updateMs = msSince(updating);
        longestUpdateMs = std::max(longestUpdateMs, updateMs);
        plugin.render();
        last = now;
        ++ticks;
        for (const auto& [tick, file] : options.framePngs)
            if (tick == ticks)
                SaveFrame(window, file, "frame " + std::to_string(tick));
        float progress = plugin.progress();
        if (int(progress * 20) != int(shown * 20)) // a line every 5 %
        {
            std::printf("zelto-host: progress %5.1f%%\n", progress * 100.0f);
            shown = progress;
        }
        if (filesInMs < 0.0)
            longestSyncUpdateMs = std::max(longestSyncUpdateMs, updateMs);
        if (filesInMs < 0.0 && progress >= filesInProgress)
            filesInMs = msSince(begin);
        readyTicks = progress >= 1.0f ? readyTicks + 1 : 0;
        std::fflush(stdout);
        HostSleep(frameMs);
    }
    bool running = readyTicks >= framesAfterReady;
    std::printf("zelto-host: %u ticks in %.1f s: %s\n", ticks, (MillisecondClock() - started) / 1000.0,
                running ? "the engine runs" : "time is up before the engine ran");
    if (options.timing && filesInMs < 0.0)
        std::printf("zelto-host: timing: the files never came in, longest update %.2f ms\n", longestUpdateMs);
    else if (options.timing)
        std::printf(
            "zelto-host: timing: files in after %.0f ms, longest update %.2f ms until then (the engine's"
            " start included), %.2f ms in all\n",
            filesInMs, longestSyncUpdateMs, longestUpdateMs);
    if (!options.png.empty())
        SaveFrame(window, options.png, "last frame");
    const auto deleting = std::chrono::steady_clock::now();
    const bool deleted = plugin.destroy() != 0;
    std::printf("zelto-host: loader deleted (%s)\n", deleted ? "ok" : "failed");
    if (options.timing)
        std::printf("zelto-host: timing: the delete took %.2f ms\n", msSince(deleting));
    return running ? 0 : 3;
}
