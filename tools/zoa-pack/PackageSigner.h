// zoa-pack's signing: key files, the signature file beside a package, and the check of a package against its
// signature file with the loader's own checks (Loader/ManifestCheck.h), so that both reach one verdict.
#pragma once

#include "Common/PackageManifest.h"
#include "Common/String.h"
#include "Loader/ManifestCheck.h"

#include <cstdint>
#include <string>

namespace Zelto
{

// Writes a new secret key (base64 of libsodium's 64 bytes, one line) to `path`, readable by its owner only
// where the platform allows, and gives the public key in base64. An existing file is never replaced.
bool MakeKeyFile(const char16_t* path, std::string& publicKey, String& error);

// "2027-06-30" or "2027-06-30T12:00:00Z" (UTC; seconds and the Z optional) as seconds since 1970.
bool ParseUtcDate(const char* text, int64_t& seconds);

// The manifest of the package at `path`: its first 1132 bytes' digest and each used entry's unpacked
// content's, with `serial` and `expires` (0: never).
bool MakeManifest(const char16_t* path, uint64_t serial, int64_t expires, PackageManifest& manifest,
                  String& error);

// Signs the package at `packagePath` with the key file's key into packagePath + ".sig", replaced in one step.
bool SignPackage(const char16_t* packagePath, const char16_t* keyPath, uint64_t serial, int64_t expires,
                 String& error);

// The loader's verdict on the package at `packagePath` and its signature file, for the public keys `keys`
// ("zoakey" form), the time `now` and the serials the loader recorded in `serialState` (null: none).
// `detail` names what the verdict concerns (the signature file, or the file that differs).
SignatureVerdict VerifyPackage(const String& keys, const char16_t* packagePath, int64_t now,
                               const char16_t* serialState, String& detail);

} // namespace Zelto
