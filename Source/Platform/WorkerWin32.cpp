// The worker's thread on Windows: a thread created suspended, a critical section, a manual-reset event for
// the wake-up and interlocked words.
#include "Source/Platform/Worker.h"
#include "Source/Platform/WorkerThread.h"

#include "Source/Common/Memory.h"

#include <windows.h>

#include <new>

namespace Zelto
{
namespace WorkerThreads
{

// The words are written with interlocked exchanges and read plainly (aligned 32-bit reads are atomic).
struct Thread
{
    HANDLE handle = nullptr;
    volatile LONG id = 0;
    CRITICAL_SECTION jobs;
    HANDLE wake = nullptr; // manual-reset: once the stop is requested, every wait ends at once
    volatile LONG stop = 0;
    volatile LONG idle = 0;
    Routine routine = nullptr;
    void* argument = nullptr;
};

namespace
{

// Closes the event `handle` held, if any, and makes a new unnamed one, not signalled.
bool MakeEvent(HANDLE& handle, bool manualReset)
{
    if (handle != nullptr)
        CloseHandle(handle);
    handle = CreateEventW(nullptr, manualReset, FALSE, nullptr);
    return handle != nullptr;
}

DWORD WINAPI ThreadMain(LPVOID argument)
{
    auto* thread = static_cast<Thread*>(argument);
    thread->routine(thread->argument);
    return 0;
}

} // namespace

Thread* Make()
{
    void* block = Memory::Alloc(sizeof(Thread));
    if (block == nullptr)
        return nullptr;
    auto* thread = new (block) Thread();
    InitializeCriticalSection(&thread->jobs);
    if (!MakeEvent(thread->wake, true))
    {
        Free(thread);
        return nullptr;
    }
    return thread;
}

void Free(Thread* thread)
{
    if (thread == nullptr)
        return;
    if (thread->wake != nullptr)
        CloseHandle(thread->wake);
    DeleteCriticalSection(&thread->jobs);
    thread->~Thread();
    Memory::Free(thread);
}

bool Start(Thread* thread, Routine routine, void* argument)
{
    thread->routine = routine;
    thread->argument = argument;
    // Suspended until the handle and identifier are stored, so that the routine's jobs can read them.
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, ThreadMain, thread, CREATE_SUSPENDED, &id);
    if (handle == nullptr)
        return false;
    thread->handle = handle;
    InterlockedExchange(&thread->id, LONG(id));
    if (ResumeThread(handle) != DWORD(-1))
        return true;
    TerminateThread(handle, 0); // it never ran: nothing of ours is on its stack
    CloseHandle(handle);
    thread->handle = nullptr;
    InterlockedExchange(&thread->id, 0);
    return false;
}

// Waits for the thread itself rather than for an event it signals: once this returns, none of its code runs
// any more, so the plug-in may be unloaded right after. (Hence never from DllMain: an ending thread waits for
// the loader lock.)
void Join(Thread* thread)
{
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    thread->handle = nullptr;
    InterlockedExchange(&thread->id, 0);
}

uint32_t Id(const Thread* thread)
{
    return uint32_t(thread->id);
}

uint32_t CurrentId()
{
    return GetCurrentThreadId();
}

void Lock(Thread* thread)
{
    EnterCriticalSection(&thread->jobs);
}

void Unlock(Thread* thread)
{
    LeaveCriticalSection(&thread->jobs);
}

void RequestStop(Thread* thread)
{
    InterlockedExchange(&thread->stop, 1);
    SetEvent(thread->wake);
}

bool StopRequested(const Thread* thread)
{
    return thread->stop != 0;
}

void SetIdle(Thread* thread, bool idle)
{
    InterlockedExchange(&thread->idle, idle ? 1 : 0);
}

bool Idle(const Thread* thread)
{
    return thread->idle != 0;
}

// Alertable, so that calls queued to the thread still run while it waits.
bool Wait(Thread* thread, uint32_t milliseconds)
{
    WaitForSingleObjectEx(thread->wake, milliseconds, TRUE);
    return !StopRequested(thread);
}

} // namespace WorkerThreads

int64_t PerformanceCounter()
{
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

int64_t CounterFrequency()
{
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
}

} // namespace Zelto
