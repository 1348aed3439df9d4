// The package-file work that runs beside the host thread: local digests, and a fetched file's digest and
// write.
#include "Loader/FileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

namespace
{

bool Stopping(Worker* worker)
{
    return worker != nullptr && worker->StopRequested();
}

int32_t DigestLocalFiles(Worker* worker, void* userData, int32_t)
{
    auto* work = static_cast<LocalDigests*>(userData);
    for (uint32_t i = 0; i < PackageEntryCount && !Stopping(worker); ++i)
        work->digests[i] = work->names[i].IsEmpty() ? Md5State{} : FileMd5(work->names[i].Text());
    AtomicStoreFloat(&work->done, 1.0f);
    return 0;
}

int32_t FinishFetchedFile(Worker* worker, void* userData, int32_t)
{
    auto* work = static_cast<FetchedFile*>(userData);
    if (!work->checked)
    {
        // A block that came short or failed to unpack fails the digest.
        work->packedSize = work->unpacker.Taken();
        bool whole = work->unpacker.Finish();
        work->fileSize = work->bytes.Size();
        work->matched = whole && Md5(work->bytes.Data(), work->bytes.Size()) == work->expected;
        work->checked = true;
    }
    work->written = work->matched && !Stopping(worker) &&
                    SaveFile(work->name.Text(), work->bytes.Data(), work->bytes.Size());
    // Only checked bytes that still wait for their write are kept. The room stays for the next file; after
    // the last one it is freed here, which spares the host thread a long free at the end.
    if (work->written || !work->matched)
        work->bytes.Resize(0);
    if (work->bytes.Size() == 0 && work->last)
    {
        work->bytes.Reset();
        work->unpacker.Release();
    }
    AtomicStoreFloat(&work->done, 1.0f);
    return 0;
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

Worker* StartLocalDigests(LocalDigests& work)
{
    return Start(DigestLocalFiles, &work, work.done);
}

Worker* StartFileFinish(FetchedFile& work)
{
    return Start(FinishFetchedFile, &work, work.done);
}

} // namespace Zelto
