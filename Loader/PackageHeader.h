// The 1132-byte package header (version 2 layout) as stored at the start of a package. The engine module
// receives its address, so the layout is binding byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zelto
{

constexpr uint32_t PackageMagic = 0x0F0A0F0A;
constexpr uint32_t PackageEntryCount = 8;
constexpr uint32_t PackageTextUnits = 32;

#pragma pack(push, 1)

struct PackageEntry
{
    char16_t name[PackageTextUnits]; // file name relative to the current directory; empty: unused
    uint8_t digest[16];              // MD5 of the file's content
    uint32_t offset;                 // position of the file's bytes in the package
    uint32_t size;                   // number of bytes in the package
};

struct PackageSection
{
    char16_t name[PackageTextUnits];
    uint64_t sectionValue; // not read by the loader
    uint64_t sectionSize;  // bytes of the section in the package
    uint32_t sectionWord1; // not read by the loader
    uint32_t sectionWord2; // not read by the loader
    uint8_t digest[16];    // not read by the loader
};

struct PackageHeader
{
    uint32_t magic;                          // PackageMagic
    uint32_t version;                        // 1 or 2; version 1 has no keyDigest
    char16_t textA[PackageTextUnits];        // not read by the loader
    char16_t cacheName[PackageTextUnits];    // names the local cache folder and file
    uint32_t headerWord;                     // not read by the loader
    uint8_t keyDigest[16];                   // MD5 of the scrambled package key
    PackageEntry entries[PackageEntryCount]; // entry 0 is the engine module
    PackageSection sectionA;
    PackageSection sectionB;
    char16_t textC[PackageTextUnits]; // not read by the loader
};

#pragma pack(pop)

static_assert(sizeof(PackageEntry) == 88, "package entry layout");
static_assert(sizeof(PackageSection) == 104, "package section layout");
static_assert(offsetof(PackageSection, sectionSize) == 72, "package section layout");
static_assert(offsetof(PackageSection, digest) == 88, "package section layout");
static_assert(offsetof(PackageHeader, cacheName) == 72, "package header layout");
static_assert(offsetof(PackageHeader, keyDigest) == 140, "package header layout");
static_assert(offsetof(PackageHeader, entries) == 156, "package header layout");
static_assert(offsetof(PackageHeader, sectionA) == 860, "package header layout");
static_assert(offsetof(PackageHeader, sectionB) == 964, "package header layout");
static_assert(offsetof(PackageHeader, textC) == 1068, "package header layout");
static_assert(sizeof(PackageHeader) == 1132, "package header layout");

} // namespace Zelto
