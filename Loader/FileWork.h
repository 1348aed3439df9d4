// Package-file work that the host thread must not wait for, each piece on a worker of its own: digesting the
// local copies of the files, and checking and writing a fetched file, whose bytes were unpacked as they came.
// The host thread hands a record over when it starts the worker and touches it again only once its `done`
// reads 1.0 and the worker has been destroyed.
#pragma once

#include "Common/DataBuffer.h"
#include "Common/Md5.h"
#include "Common/String.h"
#include "Loader/PackageHeader.h"
#include "Source/Platform/Decompress.h"

#include <cstdint>

namespace Zelto
{

class Worker;

struct LocalDigests
{
    String names[PackageEntryCount];     // empty names are not read
    Md5State digests[PackageEntryCount]; // all zero where a file cannot be read
    float done = 0.0f;
};

struct FetchedFile
{
    String name;           // where the bytes go once they match
    Md5State expected;     // the header's digest
    UnpackStream unpacker; // the download's sink: unpacks into `bytes` as the bytes arrive
    DataBuffer bytes;      // the unpacked bytes; emptied once written or refused, its room kept for the next
    uint32_t packedSize = 0; // as fetched
    uint32_t fileSize = 0;   // as unpacked and digested
    bool last = false;       // no file follows in this record: its buffers are freed once the file is done
    bool checked = false;    // unpacked and digested already: a further run only writes
    bool matched = false;    // the unpacked bytes have the expected digest
    bool written = false;    // and are in the file
    float done = 0.0f;
};

// Each starts its worker, or does the work at once when no thread can start; null then.
Worker* StartLocalDigests(LocalDigests& work);
// Ends the unpacking and digests the bytes (the first time), then writes them when they match. Run it again
// to retry a write that failed; a stop requested before the write leaves the file alone.
Worker* StartFileFinish(FetchedFile& work);

} // namespace Zelto
