// The checks of a signed package and the loader's serial record, shared with zoa-pack --verify.
#include "Loader/ManifestCheck.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace Zelto
{

namespace
{

// A record of more lines than this is not ours: it is read as empty rather than grown without bound.
constexpr uint32_t MaxSerialStateBytes = 1u << 20;

bool IsZero(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Calls `line(serial, name)` for each well-formed line of the record.
template <typename Visit> void ReadSerialState(const char16_t* path, Visit line)
{
    DataBuffer buffer;
    if (FileSize(path) > int64_t(MaxSerialStateBytes) || !LoadFile(buffer, path))
        return;
    std::string text(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string row = text.substr(start, end - start);
        start = end + 1;
        size_t blank = row.find(' ');
        if (blank == std::string::npos || blank == 0)
            continue;
        char* digitsEnd = nullptr;
        unsigned long long serial = std::strtoull(row.c_str(), &digitsEnd, 10);
        if (digitsEnd != row.c_str() + blank)
            continue;
        line(uint64_t(serial), row.substr(blank + 1));
    }
}

} // namespace

const char16_t* VerdictText(SignatureVerdict verdict)
{
    static const char16_t* const texts[] = {
#define ZELTO_VERDICT_TEXT(name, text) text,
        ZELTO_SIGNATURE_VERDICTS(ZELTO_VERDICT_TEXT)
#undef ZELTO_VERDICT_TEXT
    };
    return texts[uint32_t(verdict)];
}

bool ParseKeyList(const String& text, Array<PublicKey>& keys, String& error)
{
    Array<String> pieces;
    Split(text.Text(), pieces, u",", u" \t\r\n");
    bool allKeys = true;
    for (const String& piece : pieces)
    {
        if (piece.IsEmpty())
            continue;
        PublicKey key;
        if (FromBase64(piece, key.bytes, PublicKeySize))
            keys.Add(key);
        else
        {
            error = Format(u"\"%ls\" is not the base64 form of a 32-byte public key", piece.Text());
            allKeys = false;
        }
    }
    return allKeys;
}

// In the order of the table: the form, who signed it, what it names, then when and which serial.
SignatureVerdict CheckManifest(const uint8_t* bytes, uint32_t count, const Array<PublicKey>& keys,
                               const Sha256Digest& headerDigest, int64_t now, uint64_t highestSerial,
                               PackageManifest& manifest)
{
    if (bytes == nullptr)
        return SignatureVerdict::NoSignatureFile;
    if (count != SignatureFileSize)
        return SignatureVerdict::MalformedSignatureFile;
    std::memcpy(&manifest, bytes, sizeof manifest);
    if (std::memcmp(manifest.magic, ManifestMagic, sizeof ManifestMagic) != 0 ||
        manifest.formatVersion != ManifestFormatVersion)
        return SignatureVerdict::MalformedSignatureFile;
    const uint8_t* signature = bytes + sizeof manifest;
    bool signedByListedKey = false;
    for (const PublicKey& key : keys)
        signedByListedKey = signedByListedKey || VerifySignature(bytes, sizeof manifest, signature, key);
    if (!signedByListedKey)
        return SignatureVerdict::UnknownKey;
    if (std::memcmp(manifest.headerSha256, headerDigest.bytes, Sha256Size) != 0)
        return SignatureVerdict::HeaderDiffers;
    if (manifest.expires != 0 && now >= manifest.expires)
        return SignatureVerdict::Expired;
    if (manifest.serial < highestSerial)
        return SignatureVerdict::OlderSerial;
    return SignatureVerdict::Accepted;
}

// An entry the publisher left out (all zero) vouches for nothing.
bool EntryVouched(const PackageManifest& manifest, uint32_t entry, const Sha256Digest& content)
{
    const uint8_t* expected = manifest.entrySha256[entry];
    return entry < PackageEntryCount && !IsZero(expected, Sha256Size) &&
           std::memcmp(expected, content.bytes, Sha256Size) == 0;
}

uint64_t AcceptedSerial(const char16_t* path, const String& cacheName)
{
    std::string name = StringToUtf8(cacheName.Text());
    uint64_t highest = 0;
    ReadSerialState(path,
                    [&](uint64_t serial, const std::string& recorded)
                    {
                        if (recorded == name && serial > highest)
                            highest = serial;
                    });
    return highest;
}

bool RecordSerial(const char16_t* path, const String& cacheName, uint64_t serial)
{
    std::string name = StringToUtf8(cacheName.Text());
    std::string text;
    uint64_t highest = serial;
    ReadSerialState(path,
                    [&](uint64_t recordedSerial, const std::string& recorded)
                    {
                        if (recorded != name)
                            text += std::to_string(recordedSerial) + " " + recorded + "\n";
                        else if (recordedSerial > highest)
                            highest = recordedSerial;
                    });
    text += std::to_string(highest) + " " + name + "\n";
    String temporary = Format(u"%ls.new", path);
    if (!SaveFile(temporary.Text(), text.data(), uint32_t(text.size())))
        return false;
    if (MoveFileOver(temporary.Text(), path))
        return true;
    DeleteFileAt(temporary.Text());
    return false;
}

} // namespace Zelto
