// Package files: each file whose MD5 differs from the header's digest is fetched as a byte range of the
// package, unpacked into a temporary file beside the target as it arrives, checked, and put in the target's
// place in one step. Also the size limit of the engine's cache file. Digesting, unpacking and writing run
// beside the host thread, two files at a time (FileLane.h): a tick only starts them and takes their results.
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
// A checked file that cannot be put in place is tried again this much later.
constexpr uint32_t SaveRetryMs = 1000;
// While any file is on its way the bar stays below the files' share (40 %), which marks the files as in.
constexpr float FilesInProgress = 0.4f;
constexpr float FilesOnTheirWay = 0.399f;

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
    filesInPlace = 0;
    checkingLocalFiles = true;
    StartLocalDigests(localDigests, localDigestWorkers);
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
            ++filesInPlace;
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
            else
                ++filesInPlace;
            continue;
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
    if (fileLanes == nullptr)
        return;
    if (checkingLocalFiles)
    {
        // The record is read only once the workers say they are done and have ended.
        if (AtomicLoadFloat(&localDigests.done) < 1.0f)
            return;
        StopLocalDigests();
    }
    bool busy = false;
    uint64_t done = uint64_t(finishSize);
    for (uint32_t i = 0; i < FileLaneCount; ++i)
    {
        FileLane& lane = fileLanes[i];
        LaneTick(lane);
        if (fileLanes == nullptr)
            return; // the package was refused
        if (lane.step == LaneStep::Idle)
            SyncNextFile(lane);
        busy = busy || lane.step != LaneStep::Idle;
        done += LaneBytes(lane);
    }
    uint32_t named = 0;
    for (const PackageEntry& entry : header.entries)
        named += entry.name[0] != 0 ? 1 : 0;
    resCount = int32_t(named);
    finishCount = int32_t(filesInPlace);
    float share = resSize > 0 ? 0.3f * float(double(done) / double(resSize)) : 0.3f;
    float shown = 0.1f + (share < 0.3f ? share : 0.3f);
    ShowProgress(busy && shown > FilesOnTheirWay ? FilesOnTheirWay : shown);
    if (busy)
        return;
    ShowProgress(FilesInProgress);
    StopFileWork();
    StartEngine();
}

void Zelto3DLoader::StopLocalDigests()
{
    for (Worker*& worker : localDigestWorkers)
    {
        if (worker != nullptr)
            worker->Destroy();
        worker = nullptr;
    }
    checkingLocalFiles = false;
}

// Stopping reaches the decoders and the digests at once: a lane's output refuses any further bytes.
void Zelto3DLoader::StopFileWork()
{
    StopLocalDigests();
    if (fileLanes == nullptr)
        return;
    for (uint32_t i = 0; i < FileLaneCount; ++i)
        fileLanes[i].fetched.output.stop = true;
    // Every worker has ended before its lane's record and handle go; the temporary files go with the lanes.
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
    bool done = (lane.step == LaneStep::Fetching || lane.step == LaneStep::Finishing) &&
                AtomicLoadFloat(&lane.fetched.done) == 1.0f;
    if (done)
    {
        if (lane.worker != nullptr)
            lane.worker->Destroy();
        lane.worker = nullptr;
    }
    if (done && lane.step == LaneStep::Fetching)
    {
        const PackageEntry& entry = header.entries[lane.entry];
        if (lane.fetched.resumed != 0)
            PrintTrace(u"[Loader] %ls went on after the %u bytes kept by an earlier run", entry.name,
                       lane.fetched.resumed.load());
        PrintTrace(u"[Loader] %ls fetched: %u bytes in %u ms", entry.name, lane.fetched.packedSize,
                   now - lane.mark);
    }
    if (done)
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
    {
        uint32_t resumed = lane.fetched.resumed;
        return resumed + uint32_t(float(size - resumed) * AtomicLoadFloat(&lane.fetched.downloaded));
    }
    case LaneStep::Finishing:
    case LaneStep::WaitingToWrite:
        return size;
    default:
        return 0;
    }
}

// The bytes unpack on the download's thread as they arrive and go straight to the temporary file, so
// neither the packed nor the unpacked copy is ever kept whole. Packed bytes an earlier run kept of the same
// entry come first, unpacked again; the download asks only for the rest. The whole way runs on the lane's
// worker, the check and the replace included.
void Zelto3DLoader::FetchLaneFile(FileLane& lane)
{
    const PackageEntry& entry = header.entries[lane.entry];
    FetchedFile& fetched = lane.fetched;
    fetched.name.Assign(entry.name);
    fetched.expected = Md5FromBytes(entry.digest);
    fetched.seal = SealOf(lane.entry);
    fetched.output.Start(fetched.name, fetched.seal.required);
    fetched.unpacker.Start(fetched.output, entry.size);
    fetched.kept.Start(fetched.name, entry, announcement.validator, fetched.unpacker);
    fetched.url = urls[int32_t(urlIndex)];
    if (lane.handle == nullptr)
        lane.handle = NewPackageHandle();
    fetched.handle = lane.handle;
    fetched.offset = entry.offset;
    fetched.end = entry.offset + entry.size;
    fetched.resumed = 0;
    fetched.last = fileIndex == PackageEntryCount; // every entry is taken: the lane is done after this
    PrintTrace(u"[Loader] Fetching %ls: %u bytes at %u", entry.name, entry.size, entry.offset);
    lane.mark = MillisecondClock();
    lane.step = LaneStep::Fetching;
    lane.worker = StartFileFetch(fetched);
}

void Zelto3DLoader::StartLaneFinish(FileLane& lane)
{
    lane.step = LaneStep::Finishing;
    lane.worker = StartFileFinish(lane.fetched);
}

void Zelto3DLoader::RefetchLater(FileLane& lane, const char16_t* why)
{
    uint32_t wait = lane.backoff.Fail(MillisecondClock());
    LogError(u"[Loader] %ls %ls (failure %u): fetched again in %u ms", header.entries[lane.entry].name, why,
             lane.backoff.Failures(), wait);
    lane.step = LaneStep::WaitingToRefetch;
}

// A file held by a running process cannot be replaced: it comes in under a name of our own instead.
void Zelto3DLoader::UsePerProcessName(FileLane& lane)
{
    PackageEntry& entry = header.entries[lane.entry];
    String copy = PerProcessName(String(entry.name));
    PrintTrace(u"[Loader] %ls is held by another process: written as %ls", entry.name, copy.Text());
    CopyName(entry.name, copy);
    if (lane.entry == 0)
    {
        moduleFile = String(entry.name);
        moduleCopyPath = Format(u"%ls\\%ls", CurrentDirectory().Text(), entry.name);
    }
    lane.fetched.name.Assign(entry.name);
    StartLaneFinish(lane);
}

// The checked file stays in its temporary file while it cannot be put in place (a folder in the way).
void Zelto3DLoader::FinishedFile(FileLane& lane)
{
    const PackageEntry& entry = header.entries[lane.entry];
    const FetchedFile& fetched = lane.fetched;
    if (!lane.writeFailed && fetched.fileSize != fetched.packedSize &&
        fetched.outcome != FileOutcome::Damaged)
        PrintTrace(u"[Loader] %ls unpacked: %llu bytes from %u", entry.name,
                   (unsigned long long)fetched.fileSize, fetched.packedSize);
    if (fetched.seal.broken)
    {
        RefuseSignedFile(entry.name); // ends every lane: nothing of this lane may be touched after it
        return;
    }
    switch (fetched.outcome)
    {
    case FileOutcome::Replaced:
        break;
    case FileOutcome::Damaged:
    case FileOutcome::Stopped:
        RefetchLater(lane, u"does not match its digest");
        return;
    case FileOutcome::OutOfMemory:
        RefetchLater(lane, u"cannot be unpacked: out of memory");
        return;
    case FileOutcome::DiskFull:
        RefetchLater(lane, u"cannot be written: the disk is full");
        return;
    case FileOutcome::CannotWrite:
        RefetchLater(lane, u"cannot be written");
        return;
    case FileOutcome::Held:
        if (String(entry.name).Equals(PerProcessName(localDigests.names[lane.entry]).Text()))
            break; // the per-process copy is held too: waits as any file that cannot be put in place
        UsePerProcessName(lane);
        return;
    case FileOutcome::NotReplaced:
        break;
    }
    lane.backoff.Reset();
    if (fetched.outcome != FileOutcome::Replaced)
    {
        if (!lane.writeFailed)
            LogError(u"[Loader] Cannot write %ls, trying again every second", entry.name);
        lane.writeFailed = true;
        lane.mark = MillisecondClock();
        lane.step = LaneStep::WaitingToWrite;
        return;
    }
    PrintTrace(u"[Loader] %ls written: %llu bytes", entry.name, (unsigned long long)fetched.fileSize);
    lane.writeFailed = false;
    finishSize += int32_t(entry.size);
    ++filesInPlace;
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
