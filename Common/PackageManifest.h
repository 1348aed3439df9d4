// The signed manifest: what a package's publisher vouches for, read by the loader and written by zoa-pack.
// The signature file, fetched from the package URL with ".sig" appended, is the manifest's 312 bytes followed
// by the 64-byte Ed25519 signature of exactly those bytes (docs/signing-format.md). All numbers are
// little-endian, as on every target.
#pragma once

#include "Loader/PackageHeader.h"

#include <cstddef>
#include <cstdint>

namespace Zelto
{

constexpr uint8_t ManifestMagic[4] = {'Z', 'S', 'I', 'G'};
constexpr uint32_t ManifestFormatVersion = 1;
constexpr uint32_t Sha256Size = 32;
constexpr uint32_t SignatureSize = 64; // Ed25519, detached
constexpr uint32_t PublicKeySize = 32; // Ed25519
constexpr uint32_t SecretKeySize = 64; // libsodium's form: the seed, then the public key
constexpr char16_t SignatureSuffix[] = u".sig";

#pragma pack(push, 1)

struct PackageManifest
{
    uint8_t magic[4];                 // ManifestMagic
    uint32_t formatVersion;           // ManifestFormatVersion
    uint64_t serial;                  // only ever goes up for one cache name
    int64_t expires;                  // seconds since 1970-01-01 UTC; 0: never
    uint8_t headerSha256[Sha256Size]; // of the package's first 1132 bytes, as the loader fetches
    uint8_t entrySha256[PackageEntryCount]
                       [Sha256Size]; // of each used entry's unpacked content; zero if unused
};

#pragma pack(pop)

static_assert(offsetof(PackageManifest, serial) == 8, "manifest layout");
static_assert(offsetof(PackageManifest, headerSha256) == 24, "manifest layout");
static_assert(offsetof(PackageManifest, entrySha256) == 56, "manifest layout");
static_assert(sizeof(PackageManifest) == 312, "manifest layout");

constexpr uint32_t SignatureFileSize = sizeof(PackageManifest) + SignatureSize; // 376

} // namespace Zelto
