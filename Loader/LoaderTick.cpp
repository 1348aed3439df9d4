// The state machine: the tick that the host's _ZeltoUpdate drives, and the only way the state changes.
#include "Loader/Zelto3DLoader.h"

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
    if (packageHandle != nullptr)
        speed = DownloadSpeed(packageHandle);
    else if (engine.speed != nullptr)
        engine.speed(&speed);
}

void Zelto3DLoader::EnterState(LoaderState next)
{
    state = next;
    SendStateReport(next);
}

void Zelto3DLoader::StopDownload()
{
    if (download != nullptr)
        download->Destroy();
    download = nullptr;
    AtomicStoreFloat(&downloadProgress, 0.0f);
}

WebHandle* Zelto3DLoader::PackageHandle()
{
    if (packageHandle == nullptr)
        packageHandle = CreateWebHandle(false);
    return packageHandle;
}

} // namespace Zelto
