// A file written under a temporary name beside its target and put in the target's place in one step
// (MoveFileOver), so that whoever reads the target, even after a crash, finds the old file or the whole new
// one, never a torn mixture. A temporary file that is not put in place is removed.
#pragma once

#include "Common/String.h"
#include "Source/Platform/File.h"

#include <cstdint>

namespace Zelto
{

// Names a new file beside its target ("data.bin" becomes "data.bin.zelto-new"). The header check refuses
// entry names that end in it, so that no target is ever another's temporary file.
extern const char16_t TemporaryFileSuffix[];
String TemporaryPathFor(const char16_t* target);
bool NameEndsIn(const char16_t* name, const char16_t* suffix); // ignoring case

enum class WriteFault : uint8_t
{
    None,
    DiskFull,    // no room on the disk (or in the quota, or under the process's file-size limit)
    CannotWrite, // anything else: a folder in the way, no rights, a device error
};

class ReplacingFile
{
public:
    ReplacingFile() = default;
    ~ReplacingFile() { Abandon(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates (or empties) the temporary file of `target`, making missing folders.
    bool Begin(const char16_t* target);
    bool Write(const void* bytes, uint32_t count);
    bool Close(); // every byte written is in the temporary file
    // Closes the temporary file and puts it in place of `target` (the Begin target or another name beside
    // it); false leaves the temporary file for another try.
    bool Replace(const char16_t* target);
    void Abandon(); // closes and removes the temporary file, if any
    WriteFault Fault() const { return mFault; }
    bool Begun() const { return !mTemporary.IsEmpty(); }

private:
    bool Failed(bool full); // false, the fault recorded
    File mFile;
    String mTemporary; // the temporary file's path; empty once it is replaced or removed
    WriteFault mFault = WriteFault::None;
};

} // namespace Zelto
