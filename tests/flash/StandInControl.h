// A stand-in for the movie control and for the loader that owns the host: the control records every call the
// host makes and keeps the movie's variables, so a test can play the movie's part; the loader records what
// the host hands to Setup. Each test runs in a fresh current directory, where the host keeps its files.
#pragma once

#include "Flash/FlashHost.h"
#include "Source/Platform/System.h"
#include "support/TempDirectory.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Zelto
{

// What the stand-in control saw and holds; it outlives the control so that tests can check the teardown.
struct MovieRecord
{
    std::vector<std::string> calls;                     // "Play", "SetZoomRect 0 0 640 480", ...
    std::map<std::u16string, std::u16string> variables; // what the movie and the host set
    bool acceptsMovies = true;                          // LoadMovie's answer
    bool destroyed = false;

    // The calls that start with `prefix`, in order.
    std::vector<std::string> Calls(const std::string& prefix) const
    {
        std::vector<std::string> picked;
        for (const std::string& call : calls)
            if (call.compare(0, prefix.size(), prefix) == 0)
                picked.push_back(call);
        return picked;
    }
};

class StandInControl : public FlashControl
{
public:
    explicit StandInControl(MovieRecord& record) : record(record) {}
    ~StandInControl() override { record.destroyed = true; }

    void SetBackgroundColor(int32_t color) override { Call("put_BackgroundColor " + std::to_string(color)); }
    bool LoadMovie(int32_t layer, const String& path) override
    {
        Call("LoadMovie " + std::to_string(layer) + " " + Narrow(path));
        return record.acceptsMovies;
    }
    void Play() override { Call("Play"); }
    void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override
    {
        Call("SetZoomRect " + std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(right) +
             " " + std::to_string(bottom));
    }
    void SetMenu(bool enabled) override { Call(enabled ? "put_Menu true" : "put_Menu false"); }
    String GetVariable(const String& name) override
    {
        auto found = record.variables.find(Text(name));
        return found != record.variables.end() ? String(found->second.c_str()) : String();
    }
    void SetVariable(const String& name, const String& value) override
    {
        Call("SetVariable " + Narrow(name) + "=" + Narrow(value));
        record.variables[Text(name)] = Text(value);
    }
    void ResizeContainer(int32_t width, int32_t height) override
    {
        Call("ResizeContainer " + std::to_string(width) + " " + std::to_string(height));
    }

private:
    void Call(std::string text) { record.calls.push_back(std::move(text)); }

    MovieRecord& record;
};

// The system side: a window whose client area the test sets, and a control when `hasControl`.
class StandInPlatform : public FlashPlatform
{
public:
    ClientArea WindowArea(void*) override { return area; }
    FlashControl* CreateControl(void*, ClientArea size) override
    {
        containerSize = size;
        return hasControl ? new StandInControl(record) : nullptr;
    }

    MovieRecord record;
    ClientArea area{640, 480};
    ClientArea containerSize; // what the container was made with
    bool hasControl = true;
};

class StandInLoader : public FlashHostOwner
{
public:
    void* ParentWindow() const override { return window; }
    float HostProgress() const override { return progress; }
    float HostSpeed() const override { return speed; }
    void Setup(const String& key, const String& value) override
    {
        setups.emplace_back(Text(key), Text(value));
    }

    void* window = nullptr;
    float progress = 0.0f;
    float speed = 0.0f;
    std::vector<std::pair<std::u16string, std::u16string>> setups;
};

// A host over the stand-ins, in a current directory of its own.
class FlashHostFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        start = std::filesystem::current_path();
        ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
    }
    void TearDown() override
    {
        host.reset();
        std::filesystem::current_path(start);
    }

    FlashHost& MakeHost()
    {
        host = std::make_unique<FlashHost>(&loader, platform);
        return *host;
    }
    // A host playing the stand-in resource movie, with the calls of its start forgotten.
    FlashHost& PlayingHost()
    {
        FlashHost& made = MakeHost();
        EXPECT_TRUE(made.OpenMovie(u"stand-in-movie.swf"));
        platform.record.calls.clear();
        return made;
    }
    void SetMovieVariable(const std::u16string& name, const std::u16string& value)
    {
        platform.record.variables[name] = value;
    }
    // Where the host puts a movie file of that name: the current directory as the system reports it.
    static std::string MoviePath(const char* name) { return Narrow(CurrentDirectory()) + "\\" + name; }
    // The calls with which the host opens `movie` in a window of `area`: loaded from that path, playing,
    // zoomed to the window, without its menu, the exchange's variables not set yet.
    static std::vector<std::string> MovieOpeningCalls(const char* movie, ClientArea area)
    {
        std::vector<std::string> calls = {"LoadMovie 0 " + MoviePath(movie), "Play",
                                          "SetZoomRect 0 0 " + std::to_string(area.width) + " " +
                                              std::to_string(area.height),
                                          "put_Menu false"};
        for (const char* name :
             {"zoaurl", "zoaparam", "selectedserver", "appversion", "traceindex", "userdataindex"})
            calls.push_back(std::string("SetVariable ") + name + "=null");
        return calls;
    }

    TempDirectory folder;
    StandInPlatform platform;
    StandInLoader loader;
    std::unique_ptr<FlashHost> host;

private:
    std::filesystem::path start;
};

} // namespace Zelto
