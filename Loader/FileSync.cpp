// Package files: each file whose MD5 differs from the header's digest is fetched as a byte range of the
// package, unpacked, checked and written beside the host. Also the size limit of the engine's cache file.
// Digesting, unpacking and writing run beside the host thread, two files at a time (FileLane.h): a tick only
// starts them and takes their results.
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

#include <new>

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
    StopFileWork(); // nothing of an earlier header's files may run on
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
        localDigests.names[i].Assign(header.entries[i].name);
    fileLanes = new (std::nothrow) FileLane[FileLaneCount];
    if (fileLanes == nullptr)
    {
        LogError(u"[Loader] No memory to synchronise the package files");
        return;
    }
    checkingLocalFiles = true;
    localDigestWorker = StartLocalDigests(localDigests);
}

bool Zelto3DLoader::SyncNextFile(FileLane& lane)
{
    // finishSize counts the bytes of every entry done in this run, so that the bar never falls back.
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
        lane.entry = fileIndex++;
        FetchLaneFile(lane);
        return true;
    }
    return false;
}

// The engine starts once every lane is idle and no entry is left.
void Zelto3DLoader::FileTick()
{
    resCount = 1;
    finishCount = 0;
    if (fileLanes == nullptr)
        return;
    if (checkingLocalFiles)
    {
        // The record is read only once the worker says it is done and has ended.
        if (AtomicLoadFloat(&localDigests.done) < 1.0f)
            return;
        if (localDigestWorker != nullptr)
            localDigestWorker->Destroy();
        localDigestWorker = nullptr;
        checkingLocalFiles = false;
    }
    bool busy = false;
    uint32_t done = uint32_t(finishSize);
    for (uint32_t i = 0; i < FileLaneCount; ++i)
    {
        FileLane& lane = fileLanes[i];
        LaneTick(lane);
        if (lane.step == LaneStep::Idle)
            SyncNextFile(lane);
        busy = busy || lane.step != LaneStep::Idle;
        done += LaneBytes(lane);
    }
    ShowProgress(resSize > 0 ? 0.1f + 0.3f * float(done) / float(resSize) : 0.1f);
    if (busy)
        return;
    StopFileWork();
    StartEngine();
}

void Zelto3DLoader::StopFileWork()
{
    if (localDigestWorker != nullptr)
        localDigestWorker->Destroy();
    localDigestWorker = nullptr;
    checkingLocalFiles = false;
    if (fileLanes == nullptr)
        return;
    // Every worker has ended before its lane's record and handle go.
    for (uint32_t i = 0; i < FileLaneCount; ++i)
    {
        if (fileLanes[i].worker != nullptr)
            fileLanes[i].worker->Destroy();
        fileLanes[i].worker = nullptr;
    }
    for (uint32_t i = 0; i < FileLaneCount; ++i)
        DestroyWebHandle(fileLanes[i].handle);
    delete[] fileLanes;
    fileLanes = nullptr;
}

// A lane's worker's record is read only once it says it is done and the worker has ended.
void Zelto3DLoader::LaneTick(FileLane& lane)
{
    uint32_t now = MillisecondClock();
    bool fetched = lane.step == LaneStep::Fetching && AtomicLoadFloat(&lane.downloadProgress) == 1.0f;
    bool finished = lane.step == LaneStep::Finishing && AtomicLoadFloat(&lane.fetched.done) == 1.0f;
    if (fetched || finished)
    {
        if (lane.worker != nullptr)
            lane.worker->Destroy();
        lane.worker = nullptr;
    }
    const PackageEntry& entry = header.entries[lane.entry];
    if (fetched)
    {
        PrintTrace(u"[Loader] %ls fetched: %u bytes in %u ms", entry.name, lane.fetched.unpacker.Taken(),
                   now - lane.mark);
        lane.fetched.name.Assign(entry.name);
        lane.fetched.expected = Md5FromBytes(entry.digest);
        lane.fetched.checked = false;
        lane.fetched.last =
            fileIndex == PackageEntryCount; // every entry is taken: the lane is done after this
        StartLaneFinish(lane);
    }
    else if (finished)
        FinishedFile(lane);
    else if (lane.step == LaneStep::WaitingToWrite && now - lane.mark >= SaveRetryMs)
        StartLaneFinish(lane);
    else if (lane.step == LaneStep::WaitingToRefetch && !lane.backoff.Waiting(now))
        FetchLaneFile(lane);
}

uint32_t Zelto3DLoader::LaneBytes(const FileLane& lane) const
{
    uint32_t size = header.entries[lane.entry].size;
    switch (lane.step)
    {
    case LaneStep::Fetching:
        return uint32_t(float(size) * AtomicLoadFloat(&lane.downloadProgress));
    case LaneStep::Finishing:
    case LaneStep::WaitingToWrite:
        return size;
    default:
        return 0;
    }
}

// The bytes unpack on the download's thread as they arrive, so the packed copy is never kept whole.
void Zelto3DLoader::FetchLaneFile(FileLane& lane)
{
    const PackageEntry& entry = header.entries[lane.entry];
    PrintTrace(u"[Loader] Fetching %ls: %u bytes at %u", entry.name, entry.size, entry.offset);
    if (lane.handle == nullptr)
        lane.handle = NewPackageHandle();
    lane.fetched.unpacker.Start(lane.fetched.bytes, entry.size);
    lane.mark = MillisecondClock();
    lane.step = LaneStep::Fetching;
    AtomicStoreFloat(&lane.downloadProgress, 0.0f);
    lane.worker =
        StartDownload(&lane.downloadProgress, urls[int32_t(urlIndex)].Text(), &lane.fetched.unpacker,
                      int32_t(entry.offset), int32_t(entry.offset + entry.size), lane.handle);
}

void Zelto3DLoader::StartLaneFinish(FileLane& lane)
{
    lane.step = LaneStep::Finishing;
    lane.worker = StartFileFinish(lane.fetched);
}

// The checked bytes stay in the lane while the file cannot be written (a folder in the way, a full disk).
void Zelto3DLoader::FinishedFile(FileLane& lane)
{
    const PackageEntry& entry = header.entries[lane.entry];
    const FetchedFile& fetched = lane.fetched;
    if (!lane.writeFailed && fetched.fileSize != fetched.packedSize)
        PrintTrace(u"[Loader] %ls unpacked: %u bytes from %u", entry.name, fetched.fileSize,
                   fetched.packedSize);
    if (!fetched.matched)
    {
        uint32_t wait = lane.backoff.Fail(MillisecondClock());
        LogError(u"[Loader] %ls does not match its digest (failure %u): fetched again in %u ms", entry.name,
                 lane.backoff.Failures(), wait);
        lane.step = LaneStep::WaitingToRefetch;
        return;
    }
    lane.backoff.Reset();
    if (!fetched.written)
    {
        if (!lane.writeFailed)
            LogError(u"[Loader] Cannot write %ls, trying again every second", entry.name);
        lane.writeFailed = true;
        lane.mark = MillisecondClock();
        lane.step = LaneStep::WaitingToWrite;
        return;
    }
    PrintTrace(u"[Loader] %ls written: %u bytes", entry.name, fetched.fileSize);
    lane.writeFailed = false;
    finishSize += int32_t(entry.size);
    lane.step = LaneStep::Idle;
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
