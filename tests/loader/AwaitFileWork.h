// The file work's tests wait for a worker as the loader's tick does: until its record says it is done, then
// the worker is ended.
#pragma once

#include "Loader/FileWork.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

inline void AwaitWork(Worker* worker, const float& done)
{
    while (AtomicLoadFloat(&done) < 1.0f)
        HostSleep(1);
    if (worker != nullptr)
        worker->Destroy();
}

// Checks a fetched file and puts it in place, as the lane's finishing step does.
inline void Finish(FetchedFile& work)
{
    AwaitWork(StartFileFinish(work), work.done);
}

} // namespace Zelto
