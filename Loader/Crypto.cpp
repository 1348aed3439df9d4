// The one file that calls libsodium.
#include "Loader/Crypto.h"

#include "Common/DataBuffer.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/File.h"

#include <sodium.h>

#include <cstring>

namespace Zelto
{

namespace
{

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "the opaque state must hold libsodium's");
static_assert(crypto_sign_PUBLICKEYBYTES == PublicKeySize, "Ed25519 public key");
static_assert(crypto_sign_SECRETKEYBYTES == SecretKeySize, "Ed25519 secret key");
static_assert(crypto_sign_BYTES == SignatureSize, "Ed25519 signature");
static_assert(crypto_hash_sha256_BYTES == Sha256Size, "SHA-256");

constexpr uint32_t FileChunkBytes = 64 * 1024; // one read of a file being digested

// libsodium picks its implementations once; sodium_init may be called from any thread, any number of times.
bool Ready()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

crypto_hash_sha256_state* StateOf(uint8_t* storage)
{
    return reinterpret_cast<crypto_hash_sha256_state*>(storage);
}

} // namespace

bool Sha256Digest::operator==(const Sha256Digest& other) const
{
    return std::memcmp(bytes, other.bytes, Sha256Size) == 0;
}

Sha256Stream::Sha256Stream()
{
    Ready();
    crypto_hash_sha256_init(StateOf(mState));
}

void Sha256Stream::Update(const void* bytes, uint32_t count)
{
    if (count != 0)
        crypto_hash_sha256_update(StateOf(mState), static_cast<const unsigned char*>(bytes), count);
}

Sha256Digest Sha256Stream::Finish()
{
    Sha256Digest digest;
    crypto_hash_sha256_final(StateOf(mState), digest.bytes);
    return digest;
}

Sha256Digest Sha256(const void* bytes, uint32_t count)
{
    Sha256Stream stream;
    stream.Update(bytes, count);
    return stream.Finish();
}

bool FileSha256(const char16_t* path, Sha256Digest& digest)
{
    File file;
    DataBuffer chunk;
    Sha256Stream stream;
    uint32_t read = 0;
    bool succeeded = file.OpenReadOnce(path) && chunk.Allocate(FileChunkBytes);
    while (succeeded && (succeeded = file.Read(chunk.Data(), FileChunkBytes, &read)) && read != 0)
        stream.Update(chunk.Data(), read);
    file.Close(); // a file left open could not be replaced on Windows
    if (succeeded)
        digest = stream.Finish();
    return succeeded;
}

bool VerifySignature(const void* message, uint32_t count, const uint8_t signature[SignatureSize],
                     const PublicKey& key)
{
    return Ready() && crypto_sign_verify_detached(signature, static_cast<const unsigned char*>(message),
                                                  count, key.bytes) == 0;
}

void SignMessage(const void* message, uint32_t count, const uint8_t secretKey[SecretKeySize],
                 uint8_t signature[SignatureSize])
{
    Ready();
    crypto_sign_detached(signature, nullptr, static_cast<const unsigned char*>(message), count, secretKey);
}

bool MakeKeyPair(PublicKey& publicKey, uint8_t secretKey[SecretKeySize])
{
    return Ready() && crypto_sign_keypair(publicKey.bytes, secretKey) == 0;
}

std::string Base64(const uint8_t* bytes, uint32_t count)
{
    Ready();
    std::string text(sodium_base64_encoded_len(count, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), bytes, count, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool FromBase64(const String& text, uint8_t* bytes, uint32_t count)
{
    std::string narrow = StringToUtf8(text.Text());
    size_t first = narrow.find_first_not_of(" \t\r\n");
    size_t last = narrow.find_last_not_of(" \t\r\n");
    if (first == std::string::npos || !Ready())
        return false;
    narrow = narrow.substr(first, last - first + 1);
    size_t decoded = 0;
    const char* end = nullptr;
    // Padding is optional: the unpadded variant accepts "=" only through the ignore set.
    if (sodium_base642bin(bytes, count, narrow.c_str(), narrow.size(), "=", &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL_NO_PADDING) != 0)
        return false;
    return decoded == count && end == narrow.c_str() + narrow.size();
}

} // namespace Zelto
