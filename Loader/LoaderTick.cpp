// The state machine: the tick that the host's _ZeltoUpdate drives, and the only way the state changes.
#include "Loader/Zelto3DLoader.h"

#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

void Zelto3DLoader::Update(uint32_t elapsedMs)
{
    if (reportHandle != nullptr)
        PumpTransfers(reportHandle);
    if (state == Running)
    {
        if (tickElapsed != 0)
            SendFinishReport();
        if (engine.update != nullptr)
            engine.update(hwnd, elapsedMs);
        return;
    }
    CountReportTime(elapsedMs);
    if (releaseDelay != -1)
        releaseDelay = uint32_t(releaseDelay) > elapsedMs ? int32_t(uint32_t(releaseDelay) - elapsedMs) : 0;
    RunStateHandler(elapsedMs);
    RefreshSpeed();
}

void Zelto3DLoader::RunStateHandler(uint32_t elapsedMs)
{
    switch (state)
    {
    case ServerList:
        ServerListTick();
        break;
    case HeaderDownload:
        HeaderTick();
        break;
    case FileSync:
        FileTick();
        break;
    case EngineLoading:
        EngineTick(elapsedMs);
        break;
    case Idle:
    case ServerListReady:
    case Running:
        break;
    }
}

// Kilobytes per second of the package transfers while they run; the engine's own figure once it loads.
void Zelto3DLoader::RefreshSpeed()
{
    if (fileLanes != nullptr)
    {
        speed = 0.0f;
        for (uint32_t i = 0; i < FileLaneCount; ++i)
            speed += DownloadSpeed(fileLanes[i].handle);
    }
    else if (packageHandle != nullptr)
        speed = DownloadSpeed(packageHandle);
    else if (engine.speed != nullptr)
        engine.speed(&speed);
}

void Zelto3DLoader::EnterState(LoaderState next)
{
    state = next;
    SendStateReport(next);
}

// Also ends the length probe and the signature file's fetch, which run as the download.
void Zelto3DLoader::StopDownload()
{
    if (download != nullptr)
        download->Destroy();
    download = nullptr;
    probingLength = false;
    trust.fetching = false;
    AtomicStoreFloat(&downloadProgress, 0.0f);
}

WebHandle* Zelto3DLoader::PackageHandle()
{
    if (packageHandle == nullptr)
        packageHandle = NewPackageHandle();
    return packageHandle;
}

WebHandle* Zelto3DLoader::NewPackageHandle()
{
    WebHandle* handle = CreateWebHandle(false);
    // Every handle that fetches a CDN package names the package's own host, not only the first one.
    if (!cdnHost.IsEmpty())
        AddHeader(handle, Format(u"Host: %ls", cdnHost.Text()).Text());
    return handle;
}

void Zelto3DLoader::ReleasePackageHandle()
{
    StopDownload();
    DestroyWebHandle(packageHandle);
    packageHandle = nullptr;
}

void Zelto3DLoader::ShowProgress(float value)
{
    if (!(value <= 1.0f)) // a figure beyond the bar (or not a number) shows a full bar
        value = 1.0f;
    if (value > progress)
        progress = value;
}

// A new "zoaurl" or "serverdataurl": the download of the earlier run stops before anything it wrote is
// touched, and a file kept for saving is dropped, since only bytes checked in this run may be written.
void Zelto3DLoader::BeginPackageRun()
{
    StopDownload();
    StopFileWork();
    fileIndex = 0;
    finishSize = 0;
    for (Backoff& backoff : urlBackoffs)
        backoff.Reset();
    progress = 0.0f;
}

} // namespace Zelto
