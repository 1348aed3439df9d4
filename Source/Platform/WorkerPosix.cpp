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
    std::atomic<uint32_t> id{0};      // the kernel's thread identifier, set by the thread itself
    std::atomic<bool> started{false}; // from Start to Join: `id` is or will be set
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

// The new thread is not waited for: with every core busy it may take a while to be scheduled, and the caller
// (the host thread, say) must not stall on that. Whoever asks for its identifier earlier waits instead.
bool Start(Thread* thread, Routine routine, void* argument)
{
    thread->routine = routine;
    thread->argument = argument;
    thread->started = true; // before the thread exists, so that it reads its own Id
    if (pthread_create(&thread->handle, nullptr, ThreadMain, thread) == 0)
        return true;
    thread->started = false;
    return false;
}

void Join(Thread* thread)
{
    pthread_join(thread->handle, nullptr);
    thread->id = 0;
    thread->started = false;
}

uint32_t Id(const Thread* thread)
{
    if (!thread->started)
        return 0;
    auto* running = const_cast<Thread*>(thread); // waiting takes the wake-up's lock
    std::unique_lock<std::mutex> lock(running->wakeLock);
    running->wake.wait(lock, [running] { return running->id != 0; });
    return running->id;
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
