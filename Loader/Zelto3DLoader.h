// The loader object: one per host thread, created by _ZeltoCreate and reached through the thread-local slot.
// It owns its web handles, its one download, its buffers and the engine module; the derived class adds the
// loading screen.
#pragma once

#include "Common/Array.h"
#include "Common/Backoff.h"
#include "Common/DataBuffer.h"
#include "Common/String.h"
#include "Loader/EngineModule.h"
#include "Loader/FileLane.h"
#include "Loader/FileWork.h"
#include "Loader/LoaderState.h"
#include "Loader/LoadingFigures.h"
#include "Loader/PackageHeader.h"
#include "Loader/PackageTrust.h"
#include "Source/Platform/WebDownload.h"

#include <cstdint>

namespace Zelto
{

class Worker;

// The window message the host forwards to `Message`; its parameters are pointer-sized, as the window's own.
struct LoaderMessage
{
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
};

class Zelto3DLoader : protected LoadingFigures // progress, speed, counts and sizes
{
public:
    Zelto3DLoader(int32_t launchMode, void* hwnd);
    virtual ~Zelto3DLoader();
    Zelto3DLoader(const Zelto3DLoader&) = delete;
    Zelto3DLoader& operator=(const Zelto3DLoader&) = delete;

    virtual int32_t Message(const LoaderMessage& message); // the engine's answer while running, else 0
    virtual void Update(uint32_t elapsedMs);               // one loader tick
    virtual void Render();                                 // the engine draws while running
    virtual void Setup(const String& key, const String& value);
    virtual void CloseLoadingScreen() = 0;

    float Progress() const { return progress; }

protected:
    void* hwnd;         // host window (a ZeltoSurface on Linux); first argument of engine calls
    int32_t launchMode; // above 1: package files are not synchronised
    WebHandle* packageHandle = nullptr; // header, file and server-list downloads
    WebHandle* reportHandle = nullptr;  // fire-and-forget reports
    PackageHeader header;               // its address is handed to the engine
    EngineModule engine;
    LoaderState state = Idle;
    int32_t releaseDelay = 0;     // ms before the loading screen may close; -1 holds it
    uint32_t tickElapsed = 0;     // ms accumulated for progress reports
    uint32_t lastTickReport = 0;  // mark of the last progress report
    int32_t tickInterval = 10000; // progress report interval, ms
    DataBuffer headerBuffer;
    DataBuffer serverDataBuffer;
    String reportUrl;
    String cdnHost;
    String engineParams;
    String appVersion;
    String flashVersion;
    String errUrl;
    String tickUrl;
    String sessionId;              // MAC address and start time, sent with reports
    String buildStamp;             // the library's build time, blanks as '_'
    String moduleFile;             // engine module file name
    String moduleCopyPath;         // per-process copy of a package file, deleted at destruction
    Worker* download = nullptr;    // the one running download
    float downloadProgress = 0.0f; // written by the download worker; 1.0 finished, 0.0 failed
    uint32_t fileIndex = 0;        // package entry being synchronised
    int32_t headerTimeout = 5000;  // ms
    uint32_t headerStart = 0;      // mark of the current header attempt
    uint32_t urlIndex = 0;         // package URL in use
    Array<String> urls;
    Array<Backoff> urlBackoffs; // one per entry of urls: rejected headers wait before that URL is tried again
    Array<String> cdnIps;
    bool probingLength = false; // `download` is the length probe of an otherwise accepted header
    RemoteFile announcement;    // what the probe found; read once it has finished
    LocalDigests localDigests;  // of the files as they were when the header was accepted
    bool checkingLocalFiles = false;
    Worker* localDigestWorkers[LocalDigestWorkers] = {};
    uint32_t filesInPlace = 0;     // named entries current or written in this run
    FileLane* fileLanes = nullptr; // FileLaneCount of them while the files are synchronised
    PackageTrust trust;            // signed packages: the keys, and the manifest in force

private:
    void RouteLogs();

    // The state machine (LoaderTick.cpp).
    void EnterState(LoaderState next);
    void RunStateHandler(uint32_t elapsedMs);
    void RefreshSpeed();
    void StopDownload();
    WebHandle* PackageHandle(); // made on first use
    WebHandle* NewPackageHandle();
    void ReleasePackageHandle();
    void ShowProgress(float value); // progress only grows within one package run
    void BeginPackageRun();         // drops what an earlier run fetched, kept or showed

    // Configuration keys and the server list (LoaderSetup.cpp).
    bool EngineLoaded(const char16_t* key) const; // logs that `key` comes too late
    void SetupPackageUrls(const String& value);
    void AddPackageUrl(const String& url);
    void SetupServerDataUrl(const String& value);
    void AppendEngineParams(const String& value);
    void ServerListTick();
    void ParseServerList(const String& text);

    // The header stage (HeaderStage.cpp).
    void StartHeaderDownload();
    void RestartHeader();
    void NextUrl();
    Backoff& UrlBackoff(); // of the URL in use
    // The current URL failed: the next URL, the message with it, and the header again once that URL's
    // back-off has passed.
    void TryNextUrl(const char16_t* message);
    void HeaderTick();
    bool HeaderWindowPassed() const; // the current attempt's time-out has passed
    void HeaderDownloadTick();
    bool HeaderIsSafe(String& reason) const;
    void StartLengthProbe();
    void LengthProbeTick();
    void RejectHeader();
    void AcceptHeader();

    // Signed packages (SignatureStage.cpp): with a key set, a header that passed every other check is
    // accepted only once its signature file does, and each file and the engine module only with their signed
    // digests; a refusal moves on to the next URL like a rejected header.
    void SetupSigningKeys(const String& value);
    void CheckPackageSignature(); // fetches the signature file, or accepts at once without a key
    void SignatureTick();
    void JudgeSignature();
    void RefuseSignature(const char16_t* verdict, const String& what);
    ContentSeal SealOf(uint32_t entry) const;
    void RefuseSignedFile(const char16_t* name); // a file or the module differs from the manifest
    bool ModuleVouched() const;                  // the module file on disk has the signed digest

    // Package files and the cache (FileSync.cpp).
    void StartLocalCheck();
    bool SyncNextFile(FileLane& lane); // the next entry that is not current, taken by the idle lane
    void FileTick();
    void StopFileWork(); // the local digests and every lane
    void LaneTick(FileLane& lane);
    uint32_t LaneBytes(const FileLane& lane) const; // of its entry, for the progress bar
    void FetchLaneFile(FileLane& lane);
    void StartLaneFinish(FileLane& lane);
    void FinishedFile(FileLane& lane);
    void RefetchLater(FileLane& lane, const char16_t* why);
    void UsePerProcessName(FileLane& lane); // the target is held by another process
    void StopLocalDigests();
    void CheckCacheSize();

    // The engine module (EngineBinding.cpp).
    bool ModuleMatchesPackage() const; // the module file has entry 0's digest
    bool BindEngine(const String& path);
    void StartEngine();
    String EngineParameterText() const;
    void EngineTick(uint32_t elapsedMs);

    // Reports (Reports.cpp).
    void BuildTickUrl(const String& value);
    void SendReport(const String& url);
    void SendStateReport(LoaderState reported);
    void CountReportTime(uint32_t elapsedMs);
    void SendFinishReport();
    String AppVersionItem() const; // "&av=<appVersion>", or nothing without one
};

} // namespace Zelto
