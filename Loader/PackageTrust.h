// What the signature check keeps for the loader (SignatureStage.cpp): the keys from "zoakey", the header's
// digest and the signature file as fetched, and the manifest that vouches for the package being
// synchronised; and the seal a fetched file must bear before it may replace the file on disk.
#pragma once

#include "Common/Array.h"
#include "Common/DataBuffer.h"
#include "Common/PackageManifest.h"
#include "Loader/Crypto.h"

#include <cstdint>

namespace Zelto
{

struct PackageTrust
{
    Array<PublicKey> keys;
    bool required = false;     // a key was set: no package is taken unsigned, whatever the keys parsed to
    Sha256Digest headerDigest; // of the header bytes just fetched
    DataBuffer signatureFile;
    bool fetching = false; // `download` is the signature file
    bool inForce = false;  // `manifest` is accepted for the package being synchronised
    PackageManifest manifest{};
};

// The signed digest a fetched file's unpacked bytes must have; with `required` unset any bytes pass.
struct ContentSeal
{
    bool required = false;
    Sha256Digest expected;
    bool broken = false; // set by the fetched file's check: the bytes differ from the signed digest
};

} // namespace Zelto
