// The package-file work that runs beside the host thread: local digests, and a fetched file's check and
// replace.
#include "Loader/FileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

namespace
{

bool Stopping(Worker* worker)
{
    return worker != nullptr && worker->StopRequested();
}

// Each worker takes the next entry not yet taken, so that two large files are read at once.
int32_t DigestLocalFiles(Worker* worker, void* userData, int32_t)
{
    auto* work = static_cast<LocalDigests*>(userData);
    for (uint32_t i = work->next++; i < PackageEntryCount && !Stopping(worker); i = work->next++)
    {
        work->digests[i] = work->names[i].IsEmpty() ? Md5State{} : FileMd5(work->names[i].Text(), worker);
        // A temporary file an earlier run left is never loaded: its bytes were not checked.
        if (!work->names[i].IsEmpty())
            DeleteFileAt(TemporaryPathFor(work->names[i].Text()).Text());
    }
    if (--work->running == 0)
        AtomicStoreFloat(&work->done, 1.0f);
    return 0;
}

FileOutcome WriteFaultOutcome(const FetchedFile& work)
{
    return work.output.file.Fault() == WriteFault::DiskFull ? FileOutcome::DiskFull
                                                            : FileOutcome::CannotWrite;
}

FileOutcome UnpackFailureOutcome(const FetchedFile& work)
{
    switch (work.unpacker.Failure())
    {
    case UnpackFailure::OutOfMemory:
        return FileOutcome::OutOfMemory;
    case UnpackFailure::Refused:
        return work.output.stop ? FileOutcome::Stopped : WriteFaultOutcome(work);
    default:
        return FileOutcome::Damaged;
    }
}

// The digest is final here, before anything replaces the target: a further check of the content belongs
// beside this one.
FileOutcome CheckFetchedFile(FetchedFile& work)
{
    work.packedSize = work.unpacker.Taken();
    bool whole = work.unpacker.Finish();
    bool written = work.output.Drain();
    work.fileSize = work.output.Length();
    if (!whole)
        return UnpackFailureOutcome(work);
    if (work.output.stop)
        return FileOutcome::Stopped;
    if (!written || !work.output.Open() || !work.output.file.Close())
        return WriteFaultOutcome(work);
    if (work.output.Digest() != work.expected)
        return FileOutcome::Damaged;
    // The signed digest is the last word before the bytes may replace the file.
    work.seal.broken = work.seal.required && work.output.SealDigest() != work.seal.expected;
    return work.seal.broken ? FileOutcome::Damaged : FileOutcome::Replaced;
}

int32_t FinishFetchedFile(Worker* worker, void* userData, int32_t)
{
    auto* work = static_cast<FetchedFile*>(userData);
    if (!work->checked)
    {
        work->outcome = CheckFetchedFile(*work);
        work->checked = work->outcome == FileOutcome::Replaced;
        if (!work->checked)
            work->output.file.Abandon();
        // Bytes that made a whole file, or a damaged one, are of no more use; others may serve a later run.
        if (work->checked || work->outcome == FileOutcome::Damaged)
            work->kept.Discard();
        else
            work->kept.Close();
    }
    if (work->checked)
    {
        if (Stopping(worker) || work->output.stop)
            work->outcome = FileOutcome::Stopped;
        else if (work->output.file.Replace(work->name.Text()))
            work->outcome = FileOutcome::Replaced;
        else
            work->outcome = FileExists(work->name.Text()) ? FileOutcome::Held : FileOutcome::NotReplaced;
    }
    // The decoders go after the last file, which spares the host thread a long free at the end.
    if (work->last && work->outcome != FileOutcome::Held && work->outcome != FileOutcome::NotReplaced)
        work->unpacker.Release();
    AtomicStoreFloat(&work->done, 1.0f);
    return 0;
}

int32_t FetchFile(Worker* worker, void* userData, int32_t word)
{
    auto* work = static_cast<FetchedFile*>(userData);
    uint32_t resumed = work->kept.Resume(work->output.stop);
    work->resumed = resumed;
    bool whole = work->offset + resumed == work->end;
    AtomicStoreFloat(&work->downloaded, whole ? 1.0f : 0.0f);
    // Without a thread of its own the download could not be stopped: the file comes out short then, and is
    // fetched again later, as when the download cannot start.
    if (!whole && worker != nullptr)
        RunDownload(worker, &work->downloaded, work->url.Text(), &work->kept, int32_t(work->offset + resumed),
                    int32_t(work->end), work->handle);
    if (Stopping(worker) || work->output.stop)
    {
        // The bytes kept so far are left for a later run.
        work->outcome = FileOutcome::Stopped;
        AtomicStoreFloat(&work->done, 1.0f);
        return 0;
    }
    work->checked = false;
    return FinishFetchedFile(worker, userData, word);
}

Worker* Start(JobFunction job, void* work, float& done)
{
    AtomicStoreFloat(&done, 0.0f);
    Worker* worker = Worker::Create(job, work);
    if (worker == nullptr)
        job(nullptr, work, 0);
    return worker;
}

} // namespace

void StartLocalDigests(LocalDigests& work, Worker* (&workers)[LocalDigestWorkers])
{
    work.next = 0;
    work.running = LocalDigestWorkers;
    AtomicStoreFloat(&work.done, 0.0f);
    for (Worker*& worker : workers)
    {
        worker = Worker::Create(DigestLocalFiles, &work);
        if (worker == nullptr)
            DigestLocalFiles(nullptr, &work, 0);
    }
}

Worker* StartFileFetch(FetchedFile& work)
{
    return Start(FetchFile, &work, work.done);
}

Worker* StartFileFinish(FetchedFile& work)
{
    return Start(FinishFetchedFile, &work, work.done);
}

} // namespace Zelto
