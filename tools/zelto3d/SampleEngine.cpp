// zelto3d.zob, the sample engine module: the ten exports a loader binds. It pretends to load for a number of
// updates ("readyafter|N" in the parameter text, 30 by default), reporting its progress, then reports ready
// and fills the window with a colour on every render. With "blankondelete|1" its delete presents a blank
// frame.
//
// Every call but progress and speed (asked on every update) adds one line to "zelto3d-calls.txt" in the
// current directory; create starts the file afresh. The lines, for tests and demos to check what the loader
// passed:
//   create magic=0f0a0f0a version=2 cacheName=NAME module=ENTRY0 url=URL reserved=0 parameters=TEXT
//   config KEY=VALUE
//   update elapsed=MS ready=0|1
//   render frame=N colour=AARRGGBB drawn=0|1
//   message msg=M wParam=W lParam=L result=R
//   delete
#include "Common/Array.h"
#include "Loader/EngineModule.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Host/EngineCanvas.h"

#include <cstdio>
#include <string>
#include <type_traits>

#ifdef _WIN32
#define ZOB_EXPORT // exported by name through zelto3d.def
#else
#define ZOB_EXPORT __attribute__((visibility("default")))
#endif

namespace Zelto
{
namespace
{

constexpr uint32_t DefaultReadyAfter = 30;
constexpr int32_t BytesPerStep = 4096; // each update "loads" one resource of this size
constexpr char CallLogName[] = "zelto3d-calls.txt";

// The one engine of this module. Nothing here throws, so no exception can cross the exports.
struct Engine
{
    void* window = nullptr;
    uint32_t readyAfter = DefaultReadyAfter; // updates until ready
    bool blankOnDelete = false;              // "blankondelete|1": present a blank frame from delete
    uint32_t updates = 0;
    uint32_t frames = 0;
};
Engine engine;

// Opened and closed for every line: each line is on disk at once and the file is never held open.
void Record(const String& line, bool fresh = false)
{
    std::FILE* file = std::fopen(CallLogName, fresh ? "wb" : "ab");
    if (file == nullptr)
        return;
    std::string text = StringToUtf8(line.Text());
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

const char16_t* TextOf(const ZeltoChar* text)
{
    return text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"";
}

// The value of the first pair named `name` in the "|"-separated name|value list; `fallback` without one.
int32_t PairValue(const char16_t* parameters, const char16_t* name, int32_t fallback)
{
    Array<String> pieces;
    Split(parameters, pieces, u"|", u"");
    for (int32_t i = 0; i + 1 < int32_t(pieces.Length()); i += 2)
        if (pieces[i].Equals(name))
            return pieces[i + 1].ToInt();
    return fallback;
}

uint32_t ReadyAfter(const char16_t* parameters)
{
    int32_t value = PairValue(parameters, u"readyafter", int32_t(DefaultReadyAfter));
    return value > 0 ? uint32_t(value) : 0;
}

uint32_t StepsDone()
{
    return engine.updates < engine.readyAfter ? engine.updates : engine.readyAfter;
}

float Progress()
{
    return engine.readyAfter == 0 ? 1.0f : float(StepsDone()) / float(engine.readyAfter);
}

bool IsReady()
{
    return engine.updates >= engine.readyAfter && engine.updates > 0;
}

// Dark blue turning green as loading goes on, with a slow pulse of blue so that frames differ.
uint32_t FrameColour()
{
    uint32_t green = 0x30 + uint32_t(0x90 * Progress());
    uint32_t blue = 0x40 + (engine.frames % 32) * 4;
    return 0xFF000000u | (0x10u << 16) | (green << 8) | blue;
}

} // namespace
} // namespace Zelto

using namespace Zelto;

extern "C"
{

    ZOB_EXPORT void ZELTO_CALL _ZobVersion(void) {}

    ZOB_EXPORT int32_t ZELTO_CALL _ZobCreate(void* window, PackageHeader* header, const ZeltoChar* url,
                                             const ZeltoChar* parameters, int32_t reserved)
    {
        engine = Engine();
        if (header == nullptr)
        {
            Record(u"create without a header", true);
            return 0;
        }
        engine.window = window;
        engine.readyAfter = ReadyAfter(TextOf(parameters));
        engine.blankOnDelete = PairValue(TextOf(parameters), u"blankondelete", 0) != 0;
        Record(
            Format(
                u"create magic=%08x version=%u cacheName=%ls module=%ls url=%ls reserved=%d parameters=%ls",
                header->magic, header->version, PackageText(header->cacheName).Text(),
                PackageText(header->entries[0].name).Text(), TextOf(url), reserved, TextOf(parameters)),
            true);
        return 1;
    }

    // Like many engines it may leave a blank window behind; presenting that frame hands control to the host
    // while the loader is going away.
    ZOB_EXPORT void ZELTO_CALL _ZobDelete(void* window)
    {
        Record(u"delete");
        if (engine.blankOnDelete)
            FillEngineCanvas(engine.window, 0xFF000000u);
        engine = Engine();
    }

    ZOB_EXPORT int32_t ZELTO_CALL _ZobUpdate(void* window, uint32_t elapsedMs)
    {
        if (engine.updates < UINT32_MAX)
            ++engine.updates;
        bool ready = IsReady();
        Record(Format(u"update elapsed=%u ready=%d", elapsedMs, ready ? 1 : 0));
        return ready ? 1 : 0;
    }

    ZOB_EXPORT void ZELTO_CALL _ZobRender(void* window)
    {
        ++engine.frames;
        uint32_t colour = FrameColour();
        bool drawn = FillEngineCanvas(window, colour);
        Record(Format(u"render frame=%u colour=%08X drawn=%d", engine.frames, colour, drawn ? 1 : 0));
    }

    ZOB_EXPORT void ZELTO_CALL _ZobConfig(const ZeltoChar* key, const ZeltoChar* value)
    {
        Record(Format(u"config %ls=%ls", TextOf(key), TextOf(value)));
    }

    ZOB_EXPORT int32_t ZELTO_CALL _ZobMessage(void* window, uint32_t msg, uintptr_t wParam, intptr_t lParam)
    {
        auto result = int32_t(msg + 1000);
        Record(Format(u"message msg=%u wParam=%zu lParam=%td result=%d", msg, size_t(wParam), ptrdiff_t(lParam),
                      result));
        return result;
    }

    ZOB_EXPORT void ZELTO_CALL _ZobProgress(float* progress, int32_t* resCount, int32_t* finishCount,
                                            int32_t* resSize, int32_t* finishSize)
    {
        *progress = Progress();
        *resCount = int32_t(engine.readyAfter);
        *finishCount = int32_t(StepsDone());
        *resSize = *resCount * BytesPerStep;
        *finishSize = *finishCount * BytesPerStep;
    }

    ZOB_EXPORT void ZELTO_CALL _ZobSpeed(float* speed)
    {
        *speed = IsReady() ? 0.0f : 256.0f;
    }

    ZOB_EXPORT void ZELTO_CALL _ZobExternalValue(void) {}
}

// The exports have exactly the types the loader calls them through.
static_assert(std::is_same_v<decltype(&_ZobVersion), ZobVersionFunction>);
static_assert(std::is_same_v<decltype(&_ZobCreate), ZobCreateFunction>);
static_assert(std::is_same_v<decltype(&_ZobDelete), ZobDeleteFunction>);
static_assert(std::is_same_v<decltype(&_ZobUpdate), ZobUpdateFunction>);
static_assert(std::is_same_v<decltype(&_ZobRender), ZobRenderFunction>);
static_assert(std::is_same_v<decltype(&_ZobConfig), ZobConfigFunction>);
static_assert(std::is_same_v<decltype(&_ZobMessage), ZobMessageFunction>);
static_assert(std::is_same_v<decltype(&_ZobProgress), ZobProgressFunction>);
static_assert(std::is_same_v<decltype(&_ZobSpeed), ZobSpeedFunction>);
static_assert(std::is_same_v<decltype(&_ZobExternalValue), ZobExternalValueFunction>);
