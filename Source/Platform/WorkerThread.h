// The target's half of a worker (WorkerWin32.cpp, WorkerPosix.cpp): the thread, the lock over the job queue,
// the stop and idle words shared between threads, and the wake-up that ends waits at once on a stop request.
// The passes themselves are the same on every target (Worker.cpp).
#pragma once

#include <cstdint>

namespace Zelto
{
namespace WorkerThreads
{

struct Thread;
using Routine = void (*)(void* argument);

Thread* Make();                                              // null when the lock or an event cannot be made
void Free(Thread* thread);                                   // null is ignored; the thread must have ended
bool Start(Thread* thread, Routine routine, void* argument); // false when no thread could be started
void Join(Thread* thread);                                   // waits for the routine to return; Id is 0 after
uint32_t Id(const Thread* thread); // 0 before Start and after Join; may wait for a new thread to begin
uint32_t CurrentId();              // the calling thread's identifier

void Lock(Thread* thread); // the job queue's lock
void Unlock(Thread* thread);

void RequestStop(Thread* thread); // ends the current and every later Wait at once
bool StopRequested(const Thread* thread);
void SetIdle(Thread* thread, bool idle);
bool Idle(const Thread* thread);

bool Wait(Thread* thread, uint32_t milliseconds); // false when a stop was requested before or during the wait

} // namespace WorkerThreads
} // namespace Zelto
