// The package format shared by the loader and the tools that make packages: the package key and its digest,
// the header as stored (version 1 is 16 bytes shorter: it has no key digest), the package length the header
// announces, and the 20-byte header of a packed block. All stored numbers are little-endian, as on both
// targets.
#pragma once

#include "Common/DataBuffer.h"
#include "Common/Md5.h"
#include "Common/String.h"
#include "Loader/PackageHeader.h"

#include <cstdint>

namespace Zelto
{

// -- Package key
// ---------------------------------------------------------------------------------------------

// A version 2 header proves it was made for this loader by carrying ExpectedKeyDigest().
extern const char16_t PackageKey[]; // "Koalaa6e117d0d8a0472205175ff9f10d7684"

void KeyScramble(const char16_t* key, uint8_t out[16]); // key: at least one unit before its NUL
Md5State ExpectedKeyDigest();                           // Md5 of the 16 bytes KeyScramble makes of PackageKey
// The header check: magic right and, for version 2 only, the key digest equal to ExpectedKeyDigest().
bool IsHeaderKeyValid(const PackageHeader& header);

// -- Header as stored
// ----------------------------------------------------------------------------------------

constexpr uint32_t PackageHeaderSizeV1 = 1116;
constexpr uint32_t PackageHeaderSize = 1132; // version 2, and the bytes the loader fetches of any package
static_assert(PackageHeaderSize == sizeof(PackageHeader), "version 2 is the in-memory layout");

uint32_t PackageHeaderLength(uint32_t version); // 1116 for version 1, 1132 otherwise

// A stored text up to its NUL, never beyond its 32 units (a header from outside may lack the NUL).
String PackageText(const char16_t (&field)[PackageTextUnits]);

// Names in a header come from the network and name files below the loader's current directory. Null for a
// name that stays there (an empty name too); otherwise why not: absolute, a drive or stream, or a ".." step.
const char16_t* UnsafeNameReason(const char16_t* name);

// Reads the fields in file order from the buffer's first byte. A field is copied only when all its bytes
// remain, otherwise it keeps its value and the cursor stays; the key digest is read only when the version
// just read is 2.
void ParseHeader(const DataBuffer& buffer, PackageHeader& header);
// The stored form of `header`: PackageHeaderLength(header.version) bytes, the exact inverse of ParseHeader.
bool SerializeHeader(const PackageHeader& header, DataBuffer& out);

// -- Package length
// ------------------------------------------------------------------------------------------

// The files' bytes are counted in the 32-bit signed figures the engine and the loading screens read
// (`resSize`, `finishSize`) and fetched as 32-bit ranges: a header whose entries add up to more is refused.
constexpr uint64_t PackageFilesLimit = 0x7FFFFFFF;

uint64_t PackageEntriesSize(const PackageHeader& header); // the eight entry sizes summed in 64 bits
// What the whole package must measure: header length + entries + both sections, in 64 bits.
uint64_t ExpectedPackageLength(const PackageHeader& header);

} // namespace Zelto
