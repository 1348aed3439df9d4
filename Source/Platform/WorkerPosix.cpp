// The worker's thread on POSIX: a pthread, standard mutexes and a condition variable for the wake-up.
#include "Source/Platform/Worker.h"
#include "Source/Platform/WorkerThread.h"

#include "Source/Common/Memory.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <new>
#include <pthread.h>
#include <unistd.h>

namespace Zelto
{
namespace WorkerThreads
{

struct Thread
{
    pthread_t handle{};
    std::atomic<uint32_t> id{0}; // the kernel's thread identifier, set by the thread itself
    std::mutex jobs;
    std::mutex wakeLock;          // held while `id` or `stop` changes, so that no waiter misses the change
    std::condition_variable wake; // the thread has published its identifier, or a stop was requested
    std::atomic<bool> stop{false};
    std::atomic<bool> idle{false};
    Routine routine = nullptr;
    void* argument = nullptr;
};

namespace
{

void* ThreadMain(void* argument)
{
    auto* thread = static_cast<Thread*>(argument);
    {
        std::lock_guard<std::mutex> guard(thread->wakeLock);
        thread->id = uint32_t(gettid());
    }
    thread->wake.notify_all();
    thread->routine(thread->argument);
    return nullptr;
}

} // namespace

Thread* Make()
{
    void* block = Memory::Alloc(sizeof(Thread));
    return block != nullptr ? new (block) Thread() : nullptr;
}

void Free(Thread* thread)
{
    if (thread == nullptr)
        return;
    thread->~Thread();
    Memory::Free(thread);
}

bool Start(Thread* thread, Routine routine, void* argument)
{
    thread->routine = routine;
    thread->argument = argument;
    if (pthread_create(&thread->handle, nullptr, ThreadMain, thread) != 0)
        return false;
    // Only the thread knows its kernel identifier: wait for it, so that Id() holds it from here on as it does
    // on Windows, where thread creation returns it.
    std::unique_lock<std::mutex> lock(thread->wakeLock);
    thread->wake.wait(lock, [thread] { return thread->id != 0; });
    return true;
}

void Join(Thread* thread)
{
    pthread_join(thread->handle, nullptr);
    thread->id = 0;
}

uint32_t Id(const Thread* thread)
{
    return thread->id;
}

uint32_t CurrentId()
{
    return uint32_t(gettid());
}

void Lock(Thread* thread)
{
    thread->jobs.lock();
}

void Unlock(Thread* thread)
{
    thread->jobs.unlock();
}

void RequestStop(Thread* thread)
{
    {
        std::lock_guard<std::mutex> guard(thread->wakeLock);
        thread->stop = true;
    }
    thread->wake.notify_all();
}

bool StopRequested(const Thread* thread)
{
    return thread->stop;
}

void SetIdle(Thread* thread, bool idle)
{
    thread->idle = idle;
}

bool Idle(const Thread* thread)
{
    return thread->idle;
}

bool Wait(Thread* thread, uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(thread->wakeLock);
    return !thread->wake.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [thread] { return thread->stop.load(); });
}

} // namespace WorkerThreads

int64_t PerformanceCounter()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t CounterFrequency()
{
    return 1000000000; // the monotonic clock counts nanoseconds
}

} // namespace Zelto
