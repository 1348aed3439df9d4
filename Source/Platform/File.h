// A thin layer over the platform's file handles plus whole-file helpers. Paths are UTF-16 and may use '\' or
// '/' as separators on both targets. A File does not close itself: the whole-file helpers close what they
// open.
#pragma once

#include "Common/DataBuffer.h"
#include "Common/Md5.h"
#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

class Worker;

enum FileEncoding : int32_t
{
    EncodingAnsi = 0,
    EncodingUtf16 = 1, // the units as they are, no byte-order mark
    EncodingUtf8 = 2,
};

class File
{
public:
    bool OpenRead(const char16_t* path);      // existing file, others may read
    bool OpenReadOnce(const char16_t* path);  // the same, to be read once through: the system reads ahead
    bool OpenReadWrite(const char16_t* path); // existing file, read-only attribute cleared, others may read
    bool Create(const char16_t* path);        // missing directories made, truncated, others may read
    void Close();
    bool IsOpen() const { return mHandle != nullptr; }

    bool Seek(int64_t position);
    bool SeekEnd();
    int64_t Tell();             // 0 when closed
    bool SetSize(int64_t size); // keeps the current position
    bool Write(const void* bytes, uint32_t count, uint32_t* written = nullptr);
    bool FoundDiskFull() const { return mDiskFull; } // the last failed write found no room
    bool WriteInt(int32_t value);
    bool WriteText(const char16_t* text); // converted to `encoding`
    bool Read(void* bytes, uint32_t count, uint32_t* read);
    bool ReadAll(DataBuffer& buffer); // whole file; fails from 2 GiB on
    int64_t Size();

    int32_t encoding = EncodingAnsi;

private:
    void* mHandle = nullptr; // the platform handle, null when closed
    bool mDiskFull = false;
};

int64_t FileSize(const char16_t* path); // 0 when the file cannot be opened
bool LoadFile(DataBuffer& buffer, const char16_t* path);
bool SaveFile(const char16_t* path, const void* bytes, uint32_t count); // null bytes: only sized
bool MakeDirectories(const char16_t* path);
// All zero when the file cannot be read, or once `stopper` (may be null) is asked to stop.
Md5State FileMd5(const char16_t* path, const Worker* stopper = nullptr);
bool FileExists(const char16_t* path);
bool DirectoryExists(const char16_t* path);
bool DeleteFileAt(const char16_t* path); // clears a read-only attribute first
// Renames `from` to `to`, replacing a file there in one step: a reader sees the old file or the new, never a
// mixture.
bool MoveFileOver(const char16_t* from, const char16_t* to);

// Statistics: every File operation adds 1 to the operation counter, every read also to the read counter.
uint32_t FileOperationCount();
uint32_t FileReadCount();

// Resources of type "ZELTORES" embedded in the plug-in module (or, in tests, the executable).
bool LoadEmbeddedResource(const char16_t* name, DataBuffer& buffer);
void SetResourceModule(void* module); // the module whose resources are searched; default: the executable

} // namespace Zelto
