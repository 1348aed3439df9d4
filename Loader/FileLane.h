// One package file on its way in: its download, whose bytes unpack into a temporary file as they arrive,
// then its digest check and the replace beside the host thread (FileWork.h). The loader runs two lanes, so
// that while one file is checked and written, or its bytes are still on the network, the next one is fetched
// and unpacked on another core.
#pragma once

#include "Common/Backoff.h"
#include "Loader/FileWork.h"

#include <cstdint>

namespace Zelto
{

class Worker;
struct WebHandle;

constexpr uint32_t FileLaneCount = 2;

enum class LaneStep : uint8_t
{
    Idle,
    Fetching,         // `worker` unpacks the kept bytes, downloads the rest, checks and replaces the file
    Finishing,        // `worker` tries again to put the checked file in place, or under another name
    WaitingToWrite,   // the checked file could not be put in place: tried again a second after `mark`
    WaitingToRefetch, // the file failed (digest, memory, disk): fetched again once `backoff` has passed
};

struct FileLane
{
    LaneStep step = LaneStep::Idle;
    uint32_t entry = 0;       // the package entry, unless idle
    Worker* worker = nullptr; // the file's work, whichever step runs
    FetchedFile fetched;
    WebHandle* handle = nullptr; // two transfers cannot share a handle: each lane has its own
    Backoff backoff;
    uint32_t mark = 0;        // when the download started, or the last replace was tried
    bool writeFailed = false; // the checked file waits for its replace
};

} // namespace Zelto
