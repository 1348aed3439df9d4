// Package-file work that the host thread must not wait for, each piece on a worker of its own: digesting the
// local copies of the files, and finishing a fetched file, whose bytes were unpacked into a temporary file
// beside the target as they came. The host thread hands a record over when it starts the worker and touches
// it again only once its `done` reads 1.0 and the worker has been destroyed.
#pragma once

#include "Common/Md5.h"
#include "Common/String.h"
#include "Loader/FileOutput.h"
#include "Loader/KeptPackedBytes.h"
#include "Loader/PackageHeader.h"
#include "Loader/PackageTrust.h"
#include "Source/Platform/Decompress.h"

#include <atomic>
#include <cstdint>

namespace Zelto
{

class Worker;
struct WebHandle;

// The local files are digested on this many workers at once, one file each: one per core of the machines
// we run on.
constexpr uint32_t LocalDigestWorkers = 2;

struct LocalDigests
{
    String names[PackageEntryCount];     // empty names are not read
    Md5State digests[PackageEntryCount]; // all zero where a file cannot be read
    std::atomic<uint32_t> next{0};       // the next entry a worker takes
    std::atomic<uint32_t> running{0};    // workers not yet through; the last one sets `done`
    float done = 0.0f;
};

// How a fetched file's finishing ended.
enum class FileOutcome : uint8_t
{
    Replaced,    // the checked file is in place under `name`
    Damaged,     // came short, did not unpack, or failed its digest: fetched again
    OutOfMemory, // no memory for the decoder or its room: fetched again
    DiskFull,    // no room for the file: fetched again
    CannotWrite, // the temporary file could not be written: fetched again
    Held,        // checked, but another process holds the target: the host thread chooses another name
    NotReplaced, // checked, but it could not be put in place (a folder in the way): tried again
    Stopped,     // a stop came first
};

struct FetchedFile
{
    String name;           // where the bytes go once they match
    Md5State expected;     // the header's digest
    ContentSeal seal;      // the signed digest, when a signed manifest is in force
    PackedKeeper kept;     // the download's sink: keeps the packed bytes for a later run, hands them on
    UnpackStream unpacker; // unpacks into `output` as the bytes arrive
    FileOutput output;
    String url;                       // the package, whose bytes from `offset` to `end` are the file's
    WebHandle* handle = nullptr;      // the lane's, for the download
    uint32_t offset = 0, end = 0;     // the entry's range, `end` one past its last byte
    float downloaded = 0.0f;          // the download's progress, read with AtomicLoadFloat
    std::atomic<uint32_t> resumed{0}; // packed bytes an earlier run kept, unpacked again before the download
    uint32_t packedSize = 0;          // as fetched
    uint64_t fileSize = 0;            // as unpacked and digested
    bool last = false;    // no file follows in this record: its decoders are freed once the file is done
    bool checked = false; // unpacked and digested already: a further run only replaces
    FileOutcome outcome = FileOutcome::Damaged;
    float done = 0.0f;
};

// A file's whole way in on one worker, so that no step waits for the host thread: unpacks again the packed
// bytes an earlier run kept of it, if they are the same entry's of the same package (`resumed` tells how
// many), downloads the rest, then finishes the file as StartFileFinish does.
Worker* StartFileFetch(FetchedFile& work);
// Starts the workers (null where one cannot start; its share is done at once by the caller's thread).
void StartLocalDigests(LocalDigests& work, Worker* (&workers)[LocalDigestWorkers]);
// Ends the unpacking and compares the digest (the first time), then puts the temporary file in place when it
// matches; a file that does not match is removed, with its kept packed bytes. Run it again to retry a replace
// that failed; a stop requested before the replace leaves the target alone.
Worker* StartFileFinish(FetchedFile& work);

} // namespace Zelto
