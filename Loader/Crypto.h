// The cryptography the signed packages need, behind one small interface so that libsodium appears in one
// file (Crypto.cpp): SHA-256, Ed25519 signing and verifying, key pairs, and the base64 form of keys.
#pragma once

#include "Common/PackageManifest.h"
#include "Common/String.h"

#include <cstdint>
#include <string>

namespace Zelto
{

struct Sha256Digest
{
    uint8_t bytes[Sha256Size] = {};
    bool operator==(const Sha256Digest& other) const;
    bool operator!=(const Sha256Digest& other) const { return !(*this == other); }
};

struct PublicKey
{
    uint8_t bytes[PublicKeySize] = {};
};

// A digest fed piece by piece; Finish may be called once.
class Sha256Stream
{
public:
    Sha256Stream();
    void Update(const void* bytes, uint32_t count);
    Sha256Digest Finish();

private:
    alignas(16) uint8_t mState[128]; // libsodium's state, kept opaque here
};

Sha256Digest Sha256(const void* bytes, uint32_t count);
bool FileSha256(const char16_t* path, Sha256Digest& digest); // false when the file cannot be read whole

bool VerifySignature(const void* message, uint32_t count, const uint8_t signature[SignatureSize],
                     const PublicKey& key);
void SignMessage(const void* message, uint32_t count, const uint8_t secretKey[SecretKeySize],
                 uint8_t signature[SignatureSize]);
bool MakeKeyPair(PublicKey& publicKey, uint8_t secretKey[SecretKeySize]);

std::string Base64(const uint8_t* bytes, uint32_t count); // standard alphabet, padded
// Exactly `count` bytes from standard base64 (padded or not, blanks around it ignored); false otherwise.
bool FromBase64(const String& text, uint8_t* bytes, uint32_t count);

} // namespace Zelto
