#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"
#include "ZeltoLoader.h"

namespace Zelto
{

namespace
{

constexpr uint32_t EnvironmentUnits = 1024;

String MakeSessionId()
{
    String mac = LocalMacAddress();
    LocalTime now = CurrentLocalTime();
    return Format(u"%ls_%d%02d%02d%02d%02d%02d", mac.Text(), now.year, now.month, now.day, now.hour,
                  now.minute, now.second);
}

// The compiler's timestamp of this file ("Tue Nov 18 15:05:07 2014") with every blank as '_'.
String MakeBuildStamp()
{
    String stamp = AnsiToString(__TIMESTAMP__);
    stamp.Remove(EnvironmentUnits, -1);
    stamp.ReplaceChar(u' ', u'_');
    return stamp;
}

} // namespace

Zelto3DLoader::Zelto3DLoader(int32_t launchMode, void* hwnd) : hwnd(hwnd), launchMode(launchMode)
{
    Memory::Set(&header, 0, sizeof header);
    header.magic = PackageMagic;
    header.version = 1;
    Memory::Set(&engine, 0, sizeof engine);
    sessionId = MakeSessionId();
    buildStamp = MakeBuildStamp();
    RouteLogs();
    PrintTrace(u"[Loader] Loader created: session %ls, build %ls, launch mode %d", sessionId.Text(),
               buildStamp.Text(), launchMode);
}

// With a debugger attached the lines go to its output; otherwise "[ZELTO-DEBUG]" set to exactly "YES" sends
// them to the console, and anything else to log files beside the host. A preview's author reads the console.
void Zelto3DLoader::RouteLogs()
{
    if (IsDebuggerAttached())
        return;
    String value;
    if (launchMode == ZELTO_PREVIEW_LAUNCH_MODE ||
        (ReadEnvironmentVariable(u"[ZELTO-DEBUG]", EnvironmentUnits, value) && value.Equals(u"YES")))
        UseConsoleLog();
    else
        OpenLogFiles(u"loader");
}

Zelto3DLoader::~Zelto3DLoader()
{
    // The engine's delete may run a message loop that calls back into the plug-in: nothing freed here may
    // still be reachable then.
    StopFileWork();
    ReleasePackageHandle();
    DestroyWebHandle(reportHandle);
    reportHandle = nullptr;
    if (engine.destroy != nullptr)
        engine.destroy(hwnd);
    if (engine.module != nullptr)
    {
        UnloadModule(engine.module);
        Memory::Set(&engine, 0, sizeof engine);
    }
    if (!moduleCopyPath.IsEmpty())
        DeleteFileAt(moduleCopyPath.Text());
}

int32_t Zelto3DLoader::Message(const LoaderMessage& message)
{
    if (state == Running && engine.message != nullptr)
        return engine.message(hwnd, message.msg, message.wParam, message.lParam);
    return 0;
}

void Zelto3DLoader::Render()
{
    if (state == Running && engine.render != nullptr)
        engine.render(hwnd);
}

} // namespace Zelto
