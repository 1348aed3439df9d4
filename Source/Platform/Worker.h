// A worker: one platform thread that runs a queue of jobs in passes. The download service starts one per
// download with a single job; the loader stops and destroys the workers it no longer needs.
//
// A job returns non-zero to run again in the next pass; jobs posted during a pass run in the next one.
// Between passes the thread waits 100 ms (1000 ms with an empty queue); a stop request ends that wait, and
// any WaitUnlessStopped, at once. A running job is never interrupted: long jobs poll StopRequested() (the
// download job does, through libcurl's progress callback). Jobs still queued when the thread ends are
// dropped.
#pragma once

#include "Common/Queue.h"

#include <cstdint>

namespace Zelto
{

class Worker;

using JobFunction = int32_t (*)(Worker* worker, void* userData, int32_t word);

namespace WorkerThreads
{
struct Thread;
}

class Worker
{
public:
    // Makes the worker, posts the first job and starts the thread; null when the thread cannot start.
    static Worker* Create(JobFunction function, void* userData);
    // Stop() and free everything. From the worker's own thread it reports a failed check and does nothing.
    void Destroy();

    bool Post(JobFunction function, void* userData); // false once a stop was requested, or out of memory
    void Stop(); // requests the stop and waits for the thread to end; never from the worker's own thread
    bool StopRequested() const; // true from the stop request on
    uint32_t ThreadId() const;  // the platform's thread identifier, 0 when none
    bool Idle() const;          // the last pass found the queue empty

    // Waits up to `milliseconds`, returning early (false) when a stop is requested; true otherwise.
    bool WaitUnlessStopped(uint32_t milliseconds);

private:
    struct Job
    {
        JobFunction function;
        void* userData;
        int32_t word; // 0 when posted, kept when the job runs again
    };

    Worker() = default;
    ~Worker() = default;
    bool EndThread(); // false when called from the worker's own thread
    static void RunPasses(void* worker);

    WorkerThreads::Thread* mThread =
        nullptr;                         // the thread, the lock over mJobs, the shared words, the wake-up
    Queue<Job, FreeSlots::Zeroed> mJobs; // taken only under the lock
};

int64_t PerformanceCounter();                // the platform's high-resolution counter
int64_t CounterFrequency();                  // counts per second, 0 when the platform reports none
double CounterToMilliseconds(int64_t delta); // 0 when the platform reports no frequency

} // namespace Zelto
