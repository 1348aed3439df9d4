// Package files: each file whose MD5 differs from the header's digest is fetched as a byte range of the
// package, unpacked, checked and written beside the host. Also the size limit of the engine's cache file.
// Digesting, unpacking and writing run beside the host thread (FileWork.h): a tick only starts them and
// takes their results.
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

namespace
{

// A larger cache file is deleted; one of exactly this size is kept.
constexpr int64_t CacheSizeLimit = 0x80000000;
// A file that cannot be written is tried again this much later.
constexpr uint32_t SaveRetryMs = 1000;

// "zelto3d.zob" in process 4242 becomes "zelto3d-4242.zob".
String PerProcessName(const String& name)
{
    String extension = PathExtension(name.Text());
    String base = PathWithoutExtension(name.Text());
    uint32_t process = CurrentProcessId();
    if (extension.IsEmpty())
        return Format(u"%ls-%u", base.Text(), process);
    return Format(u"%ls-%u.%ls", base.Text(), process, extension.Text());
}

void CopyName(char16_t (&destination)[PackageTextUnits], const String& name)
{
    uint32_t units = name.Length() < PackageTextUnits - 1 ? name.Length() : PackageTextUnits - 1;
    for (uint32_t i = 0; i < PackageTextUnits; ++i)
        destination[i] = i < units ? name[i] : u'\0';
}

} // namespace

void Zelto3DLoader::StartLocalCheck()
{
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
        localDigests.names[i].Assign(header.entries[i].name);
    fileWork = DigestingLocalFiles;
    fileWorker = StartLocalDigests(localDigests);
}

bool Zelto3DLoader::SyncNextFile()
{
    // finishSize counts the bytes of every entry done in this run, current ones too, so that the bar
    // never falls back when the next file starts.
    for (; fileIndex < PackageEntryCount; finishSize += int32_t(header.entries[fileIndex++].size))
    {
        PackageEntry& entry = header.entries[fileIndex];
        String name(entry.name);
        if (fileIndex == 0)
            moduleFile = name;
        if (name.IsEmpty())
            continue;
        if (localDigests.digests[fileIndex] == Md5FromBytes(entry.digest))
        {
            PrintTrace(u"[Loader] %ls is current (%u bytes)", entry.name, entry.size);
            continue;
        }
        if (entry.size == 0)
        {
            // Nothing to fetch (an empty range would ask for the whole package); only the empty file can
            // match.
            if (Md5FromBytes(entry.digest) != Md5(nullptr, 0))
                LogError(u"[Loader] %ls has no bytes in the package but another digest: skipped",
                         name.Text());
            else if (!SaveFile(name.Text(), nullptr, 0))
                LogError(u"[Loader] Cannot write the empty file %ls", name.Text());
            continue;
        }

        DeleteFileAt(name.Text());
        if (FileExists(name.Text()))
        {
            // Held by a running process: fetch it under a name of our own.
            String copy = PerProcessName(name);
            CopyName(entry.name, copy);
            if (fileIndex == 0)
            {
                moduleFile = String(entry.name);
                moduleCopyPath = Format(u"%ls\\%ls", CurrentDirectory().Text(), entry.name);
            }
        }
        StopDownload();
        fetched.bytes.Reset();
        PrintTrace(u"[Loader] Fetching %ls: %u bytes at %u", entry.name, entry.size, entry.offset);
        fileStartMark = MillisecondClock();
        download =
            StartDownload(&downloadProgress, urls[int32_t(urlIndex)].Text(), &fetched.bytes,
                          int32_t(entry.offset), int32_t(entry.offset + entry.size), PackageHandle(), u"");
        return true;
    }
    return false;
}

void Zelto3DLoader::FileTick()
{
    resCount = 1;
    finishCount = 0;
    if (fileWork != NoFileWork)
        FileWorkTick();
    else if (savePending)
        RetrySave();
    else if (download != nullptr)
        FetchedFileTick();
    else if (fileBackoff.Failures() != 0 && !fileBackoff.Waiting(MillisecondClock()))
        NextFileOrEngine(); // a file that failed its digest, once its back-off has passed
}

// The worker's record is read only once it says it is done and the worker has ended.
void Zelto3DLoader::FileWorkTick()
{
    FileWorkKind finished = fileWork;
    const float& done = finished == DigestingLocalFiles ? localDigests.done : fetched.done;
    if (AtomicLoadFloat(&done) < 1.0f)
        return;
    StopFileWork();
    if (finished == DigestingLocalFiles)
        NextFileOrEngine();
    else
        FinishedFileTick();
}

void Zelto3DLoader::StopFileWork()
{
    if (fileWorker != nullptr)
        fileWorker->Destroy();
    fileWorker = nullptr;
    fileWork = NoFileWork;
}

void Zelto3DLoader::FetchedFileTick()
{
    float fetchedShare = AtomicLoadFloat(&downloadProgress);
    const PackageEntry& entry = header.entries[fileIndex];
    uint32_t done = uint32_t(finishSize) + uint32_t(float(entry.size) * fetchedShare);
    ShowProgress(resSize > 0 ? 0.1f + 0.3f * float(done) / float(resSize) : 0.1f);
    if (fetchedShare != 1.0f)
        return;
    StopDownload();
    PrintTrace(u"[Loader] %ls fetched: %u bytes in %u ms", entry.name, fetched.bytes.Size(),
               MillisecondClock() - fileStartMark);
    fetched.name.Assign(entry.name);
    fetched.expected = Md5FromBytes(entry.digest);
    fetched.checked = false;
    fileWork = FinishingFetchedFile;
    fileWorker = StartFileFinish(fetched);
}

// The checked bytes stay in fetched.bytes while the file cannot be written (a folder in the way, a full
// disk).
void Zelto3DLoader::FinishedFileTick()
{
    const PackageEntry& entry = header.entries[fileIndex];
    if (!savePending && fetched.fileSize != fetched.packedSize)
        PrintTrace(u"[Loader] %ls unpacked: %u bytes from %u", entry.name, fetched.fileSize,
                   fetched.packedSize);
    if (!fetched.matched)
    {
        uint32_t wait = fileBackoff.Fail(MillisecondClock());
        LogError(u"[Loader] %ls does not match its digest (failure %u): fetched again in %u ms", entry.name,
                 fileBackoff.Failures(), wait);
        return;
    }
    fileBackoff.Reset();
    if (!fetched.written)
    {
        if (!savePending)
            LogError(u"[Loader] Cannot write %ls, trying again every second", entry.name);
        savePending = true;
        saveRetryMark = MillisecondClock();
        return;
    }
    PrintTrace(u"[Loader] %ls written: %u bytes", entry.name, fetched.fileSize);
    savePending = false;
    finishSize += int32_t(entry.size);
    ++fileIndex;
    NextFileOrEngine();
}

void Zelto3DLoader::RetrySave()
{
    if (MillisecondClock() - saveRetryMark < SaveRetryMs)
        return;
    fileWork = FinishingFetchedFile;
    fileWorker = StartFileFinish(fetched);
}

void Zelto3DLoader::NextFileOrEngine()
{
    fetched.bytes.Reset();
    if (!SyncNextFile())
        StartEngine();
}

void Zelto3DLoader::CheckCacheSize()
{
    String path =
        Format(u"%ls\\zelto\\%ls\\%ls.zod", ProfileFolder().Text(), header.cacheName, header.cacheName);
    if (FileSize(path.Text()) > CacheSizeLimit)
    {
        PrintTrace(u"[Loader] ZOD too large, delete it : %ls", path.Text());
        DeleteFileAt(path.Text());
    }
}

} // namespace Zelto
