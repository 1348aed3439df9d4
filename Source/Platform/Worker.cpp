// The worker's passes and its queue, the same on every target; the thread, lock and waits are the target's
// (WorkerThread.h).
#include "Source/Platform/Worker.h"

#include "Common/Assert.h"
#include "Source/Common/Memory.h"
#include "Source/Platform/WorkerThread.h"

#include <new>

namespace Zelto
{

namespace
{

constexpr uint32_t PassInterval = 100; // ms between passes while jobs are queued; 10 x that with none

class JobsLock
{
public:
    explicit JobsLock(WorkerThreads::Thread* thread) : mThread(thread) { WorkerThreads::Lock(mThread); }
    ~JobsLock() { WorkerThreads::Unlock(mThread); }
    JobsLock(const JobsLock&) = delete;
    JobsLock& operator=(const JobsLock&) = delete;

private:
    WorkerThreads::Thread* mThread;
};

} // namespace

Worker* Worker::Create(JobFunction function, void* userData)
{
    void* block = Memory::Alloc(sizeof(Worker));
    if (block == nullptr)
        return nullptr;
    auto* worker = new (block) Worker();
    worker->mThread = WorkerThreads::Make();
    if (worker->mThread == nullptr || !worker->Post(function, userData) ||
        !WorkerThreads::Start(worker->mThread, RunPasses, worker))
    {
        worker->Destroy();
        return nullptr;
    }
    return worker;
}

void Worker::Destroy()
{
    if (!EndThread())
        return; // the thread still runs on this record
    WorkerThreads::Free(mThread);
    this->~Worker();
    Memory::Free(this);
}

bool Worker::Post(JobFunction function, void* userData)
{
    // The request is checked under the lock that Stop requests it under: once Stop has begun, nothing joins.
    JobsLock lock(mThread);
    return !WorkerThreads::StopRequested(mThread) && mJobs.Push(Job{function, userData, 0});
}

void Worker::Stop()
{
    EndThread();
}

bool Worker::EndThread()
{
    uint32_t threadId = mThread != nullptr ? WorkerThreads::Id(mThread) : 0;
    if (threadId == 0)
        return true; // never started, or stopped already
    // Stop waits for the thread to end, which it never would while waiting for itself.
    uint32_t current = WorkerThreads::CurrentId();
    if (!ZELTO_CHECK(current != threadId, "Source/Platform/Worker", 77))
        return false;
    {
        JobsLock lock(mThread);
        WorkerThreads::RequestStop(mThread);
    }
    WorkerThreads::Join(mThread);
    JobsLock lock(mThread);
    mJobs.Clear();
    return true;
}

bool Worker::StopRequested() const
{
    return WorkerThreads::StopRequested(mThread);
}

uint32_t Worker::ThreadId() const
{
    return WorkerThreads::Id(mThread);
}

bool Worker::Idle() const
{
    return WorkerThreads::Idle(mThread);
}

bool Worker::WaitUnlessStopped(uint32_t milliseconds)
{
    return WorkerThreads::Wait(mThread, milliseconds);
}

// The thread routine. Each pass runs the jobs that were queued when it began; jobs posted during the pass and
// jobs that ask to run again wait for the next one. Unlike a plain sleep, the wait between passes ends as
// soon as a stop is requested, so that Stop returns promptly.
void Worker::RunPasses(void* argument)
{
    auto* worker = static_cast<Worker*>(argument);
    WorkerThreads::Thread* thread = worker->mThread;
    Queue<Job, FreeSlots::Zeroed>& jobs = worker->mJobs;
    auto queuedJobs = [&]
    {
        JobsLock lock(thread);
        return jobs.Length();
    };
    for (;;)
    {
        uint32_t queued = queuedJobs();
        WorkerThreads::SetIdle(thread, queued == 0);
        // Only this thread takes jobs out while it runs, so the `queued` jobs are all there.
        for (uint32_t i = 0; i < queued; ++i)
        {
            Job job;
            {
                JobsLock lock(thread);
                job = jobs.Front();
                jobs.Pop();
            }
            // Without the lock: the job may post further jobs.
            if (job.function != nullptr && job.function(worker, job.userData, job.word) != 0)
            {
                JobsLock lock(thread);
                jobs.Push(job);
            }
            if (WorkerThreads::StopRequested(thread))
                return;
        }
        if (!WorkerThreads::Wait(thread, queuedJobs() != 0 ? PassInterval : 10 * PassInterval))
            return;
    }
}

double CounterToMilliseconds(int64_t delta)
{
    int64_t frequency = CounterFrequency();
    return frequency != 0 ? double(delta) / double(frequency) * 1000.0 : 0.0;
}

} // namespace Zelto
