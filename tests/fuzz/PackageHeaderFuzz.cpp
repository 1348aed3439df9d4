// The package header from outside: parsed, terminated as the loader does, checked; a parsed header of
// version 1 or 2 writes back to bytes that parse to the same header.
#include "FuzzCheck.h"
#include "Loader/PackageFormat.h"

#include <cstring>

using namespace Zelto;

namespace
{

template <uint32_t Units> void Terminate(char16_t (&text)[Units])
{
    text[Units - 1] = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DataBuffer bytes;
    bytes.Attach(data, uint32_t(size), false);
    PackageHeader header{};
    header.magic = PackageMagic;
    header.version = 1;
    ParseHeader(bytes, header);

    DataBuffer stored;
    if (SerializeHeader(header, stored))
    {
        Require(stored.Size() == PackageHeaderLength(header.version));
        PackageHeader again{};
        ParseHeader(stored, again);
        if (header.version == 1) // no key digest stored
            std::memcpy(again.keyDigest, header.keyDigest, sizeof again.keyDigest);
        Require(std::memcmp(&again, &header, sizeof header) == 0);
    }

    Terminate(header.cacheName);
    for (PackageEntry& entry : header.entries)
        Terminate(entry.name);
    IsHeaderKeyValid(header);
    UnsafeNameReason(header.cacheName);
    for (const PackageEntry& entry : header.entries)
        if (UnsafeNameReason(entry.name) == nullptr)
            Require(PackageText(entry.name).FindChar(u':') < 0);
    ExpectedPackageLength(header);
    return 0;
}
