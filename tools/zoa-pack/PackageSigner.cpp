#include "tools/zoa-pack/PackageSigner.h"

#include "Common/ByteSink.h"
#include "Loader/Crypto.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Platform/FileAccess.h"

#include <cstdio>
#include <cstring>

namespace Zelto
{

namespace
{

// The header bytes and each used entry's unpacked content of a package file, as the loader sees them.
struct PackageDigests
{
    PackageHeader header{};
    Sha256Digest headerDigest;
    Sha256Digest entries[PackageEntryCount];
};

bool ReadBytes(File& file, uint64_t offset, uint32_t count, DataBuffer& bytes)
{
    uint32_t read = 0;
    return bytes.Resize(count) && file.Seek(int64_t(offset)) &&
           (count == 0 || (file.Read(bytes.Data(), count, &read) && read == count));
}

constexpr uint32_t ReadPieceBytes = 1u << 20; // an entry is read in pieces of this size

// Reads `count` bytes of `file` from `offset` in pieces and hands each to `take`; false when they cannot be
// read.
template <typename Take> bool ReadPieces(File& file, uint64_t offset, uint32_t count, Take take)
{
    DataBuffer piece;
    if (!piece.Allocate(ReadPieceBytes) || !file.Seek(int64_t(offset)))
        return false;
    for (uint32_t left = count; left != 0;)
    {
        uint32_t want = left < ReadPieceBytes ? left : ReadPieceBytes;
        uint32_t read = 0;
        if (!file.Read(piece.Data(), want, &read) || read != want)
            return false;
        take(piece.Data(), read);
        left -= read;
    }
    return true;
}

// Bytes that go into a SHA-256 as they come.
class Sha256Sink : public ByteSink
{
public:
    bool Take(const uint8_t* bytes, uint32_t count) override
    {
        digest.Update(bytes, count);
        return true;
    }
    Sha256Stream digest;
};

// The SHA-256 of an entry's content as the loader unpacks it, in fixed memory whatever its size. A block that
// does not unpack is digested as it is, and matches nothing signed.
bool DigestEntry(File& file, const PackageEntry& entry, Sha256Digest& digest)
{
    UnpackStream unpacker;
    Sha256Sink unpacked;
    unpacker.Start(unpacked, entry.size);
    bool unpacking = true;
    if (!ReadPieces(file, entry.offset, entry.size,
                    [&](const uint8_t* bytes, uint32_t count)
                    { unpacking = unpacking && unpacker.Take(bytes, count); }))
        return false;
    if (unpacking && unpacker.Finish())
    {
        digest = unpacked.digest.Finish();
        return true;
    }
    Sha256Sink packed;
    bool read = ReadPieces(file, entry.offset, entry.size,
                           [&](const uint8_t* bytes, uint32_t count) { packed.Take(bytes, count); });
    digest = packed.digest.Finish();
    return read;
}

bool DigestHeaderAndEntries(File& file, const char16_t* path, PackageDigests& digests, String& error)
{
    DataBuffer bytes;
    if (!ReadBytes(file, 0, PackageHeaderSize, bytes))
    {
        error = Format(u"cannot read the %u header bytes of \"%ls\"", PackageHeaderSize, path);
        return false;
    }
    digests.headerDigest = Sha256(bytes.Data(), bytes.Size());
    ParseHeader(bytes, digests.header);
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
    {
        const PackageEntry& entry = digests.header.entries[i];
        if (entry.name[0] != 0 && !DigestEntry(file, entry, digests.entries[i]))
        {
            error = Format(u"cannot read entry %u of \"%ls\"", i, path);
            return false;
        }
    }
    return true;
}

bool DigestPackage(const char16_t* path, PackageDigests& digests, String& error)
{
    File file;
    if (!file.OpenRead(path))
    {
        error = Format(u"cannot read the %u header bytes of \"%ls\"", PackageHeaderSize, path);
        return false;
    }
    bool digested = DigestHeaderAndEntries(file, path, digests, error);
    file.Close();
    return digested;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = unsigned(year - era * 400);
    unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + int64_t(dayOfEra) - 719468;
}

bool LoadSecretKey(const char16_t* path, uint8_t secretKey[SecretKeySize], String& error)
{
    DataBuffer bytes;
    if (!LoadFile(bytes, path) ||
        !FromBase64(Utf8ToString(reinterpret_cast<const char*>(bytes.Data()), int32_t(bytes.Size())),
                    secretKey, SecretKeySize))
    {
        error = Format(u"\"%ls\" is not a secret key file of zoa-pack --keygen", path);
        return false;
    }
    return true;
}

} // namespace

bool MakeKeyFile(const char16_t* path, std::string& publicKey, String& error)
{
    if (FileExists(path))
    {
        error = Format(u"\"%ls\" exists: a key file is never replaced", path);
        return false;
    }
    PublicKey key;
    uint8_t secretKey[SecretKeySize];
    if (!MakeKeyPair(key, secretKey))
    {
        error = u"cannot make a key pair";
        return false;
    }
    std::string text = Base64(secretKey, SecretKeySize) + "\n";
    std::memset(secretKey, 0, sizeof secretKey);
    // The file is restricted while still empty, so the key is never readable by others.
    File file;
    bool written =
        file.Create(path) && RestrictToOwner(path) && file.Write(text.data(), uint32_t(text.size()));
    file.Close();
    if (!written)
    {
        DeleteFileAt(path);
        error = Format(u"cannot write the key file \"%ls\"", path);
        return false;
    }
    publicKey = Base64(key.bytes, PublicKeySize);
    return true;
}

bool ParseUtcDate(const char* text, int64_t& seconds)
{
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    if (std::sscanf(text, "%4u-%2u-%2u%n", &year, &month, &day, &used) != 3)
        return false;
    const char* rest = text + used;
    if (*rest == 'T' || *rest == ' ')
    {
        int more = 0;
        if (std::sscanf(rest + 1, "%2u:%2u%n", &hour, &minute, &more) != 2)
            return false;
        rest += 1 + more;
        if (*rest == ':' && std::sscanf(rest + 1, "%2u%n", &second, &more) == 1)
            rest += 1 + more;
        if (*rest == 'Z')
            ++rest;
    }
    if (*rest != 0 || year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

bool MakeManifest(const char16_t* path, uint64_t serial, int64_t expires, PackageManifest& manifest,
                  String& error)
{
    PackageDigests digests;
    if (!DigestPackage(path, digests, error))
        return false;
    std::memset(&manifest, 0, sizeof manifest);
    std::memcpy(manifest.magic, ManifestMagic, sizeof ManifestMagic);
    manifest.formatVersion = ManifestFormatVersion;
    manifest.serial = serial;
    manifest.expires = expires;
    std::memcpy(manifest.headerSha256, digests.headerDigest.bytes, Sha256Size);
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
        if (digests.header.entries[i].name[0] != 0)
            std::memcpy(manifest.entrySha256[i], digests.entries[i].bytes, Sha256Size);
    return true;
}

bool SignPackage(const char16_t* packagePath, const char16_t* keyPath, uint64_t serial, int64_t expires,
                 String& error)
{
    uint8_t secretKey[SecretKeySize];
    PackageManifest manifest;
    if (!LoadSecretKey(keyPath, secretKey, error) ||
        !MakeManifest(packagePath, serial, expires, manifest, error))
        return false;
    uint8_t signatureFile[SignatureFileSize];
    std::memcpy(signatureFile, &manifest, sizeof manifest);
    SignMessage(&manifest, sizeof manifest, secretKey, signatureFile + sizeof manifest);
    std::memset(secretKey, 0, sizeof secretKey);
    String path = Format(u"%ls%ls", packagePath, SignatureSuffix);
    String temporary = Format(u"%ls.new", path.Text());
    if (!SaveFile(temporary.Text(), signatureFile, SignatureFileSize) ||
        !MoveFileOver(temporary.Text(), path.Text()))
    {
        DeleteFileAt(temporary.Text());
        error = Format(u"cannot write \"%ls\"", path.Text());
        return false;
    }
    return true;
}

SignatureVerdict VerifyPackage(const String& keys, const char16_t* packagePath, int64_t now,
                               const char16_t* serialState, String& detail)
{
    Array<PublicKey> keyList;
    String keyError;
    ParseKeyList(keys, keyList, keyError); // a bad key is no listed key, as in the loader
    PackageDigests digests;
    String signaturePath = Format(u"%ls%ls", packagePath, SignatureSuffix);
    detail = signaturePath;
    if (!DigestPackage(packagePath, digests, detail))
        return SignatureVerdict::HeaderDiffers;
    DataBuffer signatureFile;
    bool present = LoadFile(signatureFile, signaturePath.Text());
    uint64_t highest =
        serialState != nullptr ? AcceptedSerial(serialState, PackageText(digests.header.cacheName)) : 0;
    PackageManifest manifest;
    SignatureVerdict verdict = CheckManifest(present ? signatureFile.Data() : nullptr, signatureFile.Size(),
                                             keyList, digests.headerDigest, now, highest, manifest);
    for (uint32_t i = 0; i < PackageEntryCount && verdict == SignatureVerdict::Accepted; ++i)
    {
        const PackageEntry& entry = digests.header.entries[i];
        if (entry.name[0] != 0 && !EntryVouched(manifest, i, digests.entries[i]))
        {
            detail = PackageText(entry.name);
            verdict = SignatureVerdict::FileDiffers;
        }
    }
    return verdict;
}

} // namespace Zelto
