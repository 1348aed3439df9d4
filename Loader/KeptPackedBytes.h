// The packed bytes of a file on its way, kept beside its temporary file ("data.bin.zelto-part") so that a
// later run goes on where this one stopped: a record of what they are (the entry's digest, offset and size
// and the package's validator, as the server gave it), then the bytes as they came. Bytes whose record names
// another entry or another package are dropped; kept bytes are unpacked again and pass the digest like any
// others, and go once the file is in place or failed its digest.
#pragma once

#include "Common/ByteSink.h"
#include "Common/String.h"
#include "Loader/PackageHeader.h"
#include "Source/Platform/File.h"

#include <atomic>
#include <cstdint>

namespace Zelto
{

extern const char16_t KeptBytesSuffix[]; // ".zelto-part"

#pragma pack(push, 1)
struct KeptBytesRecord
{
    uint8_t magic[8];       // "ZELTOKPT"
    uint8_t digest[16];     // the entry's
    uint32_t offset;        // the entry's, in the package
    uint32_t size;          // the entry's packed size
    char16_t validator[64]; // the package's ETag or Last-Modified date, cut to 63 units, NUL-padded
};
#pragma pack(pop)
static_assert(sizeof(KeptBytesRecord) == 160, "kept bytes record layout");

class PackedKeeper : public ByteSink
{
public:
    ~PackedKeeper() override { mFile.Close(); }

    // What the next bytes are, and where they go once kept; no file is touched here.
    void Start(const String& target, const PackageEntry& entry, const String& validator, ByteSink& next);
    // Opens the kept file: when its record names the same bytes, hands them to the next sink (until `stop`)
    // and returns how many; otherwise starts it anew and returns 0.
    uint32_t Resume(const std::atomic<bool>& stop);
    // Keeps the bytes (as long as the disk takes them) and hands them on.
    bool Take(const uint8_t* bytes, uint32_t count) override;
    void Close();   // the bytes stay for a later run
    void Discard(); // the bytes are of no more use

private:
    bool StartAnew();
    File mFile;
    String mPath;
    KeptBytesRecord mRecord{};
    ByteSink* mNext = nullptr;
    bool mKeeping = false; // the file is open and holds every byte so far
};

} // namespace Zelto
