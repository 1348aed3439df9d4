// The engine module: bound from the current directory, created with the header and the parameter text, ticked
// while it loads, and handed the host's calls once it is ready.
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Common/Md5.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"

namespace Zelto
{

bool Zelto3DLoader::BindEngine(const String& path)
{
    void* module = LoadModule(path.Text());
    if (module == nullptr)
        return false;
    engine.module = module;
    // Every entry point is looked up; the six that the loader calls are required.
    ResolveExport(module, "_ZobVersion", engine.version);
    bool complete = ResolveExport(module, "_ZobCreate", engine.create);
    complete &= ResolveExport(module, "_ZobDelete", engine.destroy);
    complete &= ResolveExport(module, "_ZobUpdate", engine.update);
    complete &= ResolveExport(module, "_ZobRender", engine.render);
    ResolveExport(module, "_ZobConfig", engine.config);
    complete &= ResolveExport(module, "_ZobMessage", engine.message);
    complete &= ResolveExport(module, "_ZobProgress", engine.progress);
    ResolveExport(module, "_ZobSpeed", engine.speed);
    ResolveExport(module, "_ZobExternalValue", engine.externalValue);
    if (!complete)
    {
        UnloadModule(module);
        Memory::Set(&engine, 0, sizeof engine);
    }
    return complete;
}

// "<params>|tickurl|<tickUrl>&sg=4<av>|tickinterval|<n>" unless the host named a tick URL itself, then
// "|cdnhost|<host>" when the package comes through a CDN.
String Zelto3DLoader::EngineParameterText() const
{
    String text = engineParams;
    if (!tickUrl.IsEmpty() && engineParams.Find(u"tickurl") < 0)
        text = Format(u"%ls|tickurl|%ls&sg=%d%ls|tickinterval|%d", engineParams.Text(), tickUrl.Text(),
                      int(state), AppVersionItem().Text(), tickInterval);
    if (!cdnHost.IsEmpty())
    {
        text.Append(u"|cdnhost|");
        text.Append(cdnHost.Text());
    }
    return text;
}

// Only a module whose digest the header vouches for runs; a launch mode above 1 skips the files by design.
bool Zelto3DLoader::ModuleMatchesPackage() const
{
    return uint32_t(launchMode) > 1 || FileMd5(moduleFile.Text()) == Md5FromBytes(header.entries[0].digest);
}

void Zelto3DLoader::StartEngine()
{
    // From here on the speed comes from the engine.
    ReleasePackageHandle();

    // A signed package's module must have its signed digest on disk, in every launch mode.
    if (!ModuleVouched())
    {
        RefuseSignedFile(moduleFile.Text());
        return;
    }
    if (!ModuleMatchesPackage())
    {
        LogError(u"[Loader] The engine module %ls does not match the package: not loaded", moduleFile.Text());
        return;
    }
    String path = Format(u"%ls\\%ls", CurrentDirectory().Text(), moduleFile.Text());
    if (!BindEngine(path))
    {
        LogError(u"[Loader] Cannot load the engine module %ls", path.Text());
        return;
    }
    PrintTrace(u"[Loader] Engine module loaded: %ls", path.Text());
    engineParams.TrimRight(u'|');
    String parameters = EngineParameterText();
    CheckCacheSize();
    String url = urls.Length() != 0 ? urls[int32_t(urlIndex)] : String();
    if (engine.create(hwnd, &header, reinterpret_cast<const ZeltoChar*>(url.Text()),
                      reinterpret_cast<const ZeltoChar*>(parameters.Text()), 0) == 0)
        return;
    PrintTrace(u"[Loader] Engine created");
    if (!errUrl.IsEmpty() && engine.config != nullptr)
        engine.config(reinterpret_cast<const ZeltoChar*>(u"errurl"),
                      reinterpret_cast<const ZeltoChar*>(errUrl.Text()));
    EnterState(EngineLoading);
}

void Zelto3DLoader::EngineTick(uint32_t elapsedMs)
{
    if (engine.update(hwnd, elapsedMs) != 0 && releaseDelay == 0)
    {
        EnterState(Running);
        CloseLoadingScreen();
    }
    float engineProgress = 0.0f;
    engine.progress(&engineProgress, &resCount, &finishCount, &resSize, &finishSize);
    ShowProgress(0.4f + 0.6f * engineProgress);
}

} // namespace Zelto
