// The checks of a signed package, shared by the loader and `zoa-pack --verify` so that both come to the same
// verdict: the signature file's form, its signature by one of the listed keys, the header's digest, the
// expiry, the serial against the highest accepted before, and each file's content.
#pragma once

#include "Common/Array.h"
#include "Common/PackageManifest.h"
#include "Common/String.h"
#include "Loader/Crypto.h"

#include <cstdint>

namespace Zelto
{

// One row per verdict: its name and the text that names the failed check in every message.
#define ZELTO_SIGNATURE_VERDICTS(X)                                                                          \
    X(Accepted, u"accepted")                                                                                 \
    X(NoSignatureFile, u"no signature file")                                                                 \
    X(MalformedSignatureFile, u"the signature file is not a signed manifest")                                \
    X(UnknownKey, u"not signed by any listed key")                                                           \
    X(HeaderDiffers, u"the header differs from the signed manifest")                                         \
    X(Expired, u"the signed manifest has expired")                                                           \
    X(OlderSerial, u"its serial is lower than one accepted before")                                          \
    X(FileDiffers, u"a file differs from the signed manifest")

enum class SignatureVerdict : uint8_t
{
#define ZELTO_VERDICT_ENUM(name, text) name,
    ZELTO_SIGNATURE_VERDICTS(ZELTO_VERDICT_ENUM)
#undef ZELTO_VERDICT_ENUM
};

const char16_t* VerdictText(SignatureVerdict verdict);

// "zoakey": base64 public keys separated by ",". False when any piece is not a key; the good ones are kept.
bool ParseKeyList(const String& text, Array<PublicKey>& keys, String& error);

// The signature file as fetched (`bytes` null: there was none) against the listed keys, the digest of the
// header bytes fetched, the time now (seconds since 1970 UTC) and the highest serial accepted before for the
// package's cache name. On acceptance `manifest` holds what the publisher signed.
SignatureVerdict CheckManifest(const uint8_t* bytes, uint32_t count, const Array<PublicKey>& keys,
                               const Sha256Digest& headerDigest, int64_t now, uint64_t highestSerial,
                               PackageManifest& manifest);

// One entry's unpacked content against an accepted manifest.
bool EntryVouched(const PackageManifest& manifest, uint32_t entry, const Sha256Digest& content);

// -- The serial state
// ---------------------------------------------------------------------------------------------

// The loader's record of the highest serial it accepted per cache name, in its current directory: one line
// "<serial> <cache name>" each, UTF-8.
constexpr char16_t SerialStateFile[] = u"zelto-serials.txt";

uint64_t AcceptedSerial(const char16_t* path, const String& cacheName); // 0 when none is recorded
// Raises the record of `cacheName` to `serial` (never lowers it), replacing the file in one step.
bool RecordSerial(const char16_t* path, const String& cacheName, uint64_t serial);

} // namespace Zelto
