// The target's raw file-handle calls under File: File.cpp keeps the rules (counters, checks, whole-file
// helpers) and FileWin32.cpp / FilePosix.cpp only talk to the system. A handle is null when it is not valid.
#pragma once

#include <cstdint>

namespace Zelto
{
namespace FileHandle
{

enum class Access
{
    Read,      // an existing file, read only
    ReadOnce,  // an existing file, read only, once from its start to its end: the system reads ahead
    ReadWrite, // an existing file, its read-only attribute cleared first
    Create,    // a new or truncated file, its read-only attribute cleared first
};

enum class Origin
{
    Start,
    Current,
    End,
};

void* Open(const char16_t* path, Access access); // others may read the file while it is open
void Close(void* handle);
bool Seek(void* handle, int64_t offset, Origin origin,
          int64_t* position);  // position: the new one, may be null
bool SetEndHere(void* handle); // the file ends at the position
bool Write(void* handle, const void* bytes, uint32_t count, uint32_t* written);
bool Read(void* handle, void* bytes, uint32_t count, uint32_t* read); // short only at the end of the file
int64_t Size(void* handle);                                           // -1 on failure

bool MakeDirectory(const char16_t* path); // one level; false when it exists already
// The last failed call on this thread found no room: the disk or the user's quota is full, or the file
// reached the size the process may write.
bool LastFailureWasFull();

} // namespace FileHandle
} // namespace Zelto
