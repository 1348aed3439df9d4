// zoa-pack's signing tools: a key file readable by its owner only and never replaced, a signature file that
// the loader's checks accept with the key file's public key, dates as UTC, the digests that `sha256sum`
// prints, and key lists as "zoakey" gives them.
#include "tools/zoa-pack/PackageSigner.h"

#include "Loader/Crypto.h"
#include "Loader/ManifestCheck.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "support/TempDirectory.h"
#include "support/Text.h"
#include "tools/zoa-pack/PackageWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

using namespace Zelto;

namespace
{

std::string Hex(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest.bytes)
        text += std::string{digits[byte >> 4], digits[byte & 15]};
    return text;
}

} // namespace

TEST(PackageSigner, KeyFileSignatureAndVerifyAgree)
{
    TempDirectory folder;
    std::string publicKey;
    String error;
    ASSERT_TRUE(MakeKeyFile(folder.Path(u"secret.key").Text(), publicKey, error))
        << StringToUtf8(error.Text());
    PublicKey decoded;
    EXPECT_TRUE(FromBase64(Utf8ToString(publicKey.c_str()), decoded.bytes, PublicKeySize)) << publicKey;
#ifndef _WIN32
    std::filesystem::perms perms = std::filesystem::status(folder.Native(u"secret.key")).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    // A second key never replaces the first.
    std::string secret = folder.ReadBytes(u"secret.key");
    std::string otherKey;
    EXPECT_FALSE(MakeKeyFile(folder.Path(u"secret.key").Text(), otherKey, error));
    EXPECT_EQ(folder.ReadBytes(u"secret.key"), secret);

    folder.WriteBytes(u"engine.bin", std::string(3000, 'e'));
    PackagePlan plan;
    plan.cacheName = u"demo";
    plan.inputs.push_back({folder.Path(u"engine.bin"), u"zelto3d.zob", Packing::Lzma});
    ASSERT_TRUE(WritePackage(plan, folder.Path(u"game.zoa").Text(), error)) << StringToUtf8(error.Text());
    ASSERT_TRUE(SignPackage(folder.Path(u"game.zoa").Text(), folder.Path(u"secret.key").Text(), 12, 0, error))
        << StringToUtf8(error.Text());
    std::string signature = folder.ReadBytes(u"game.zoa.sig");
    ASSERT_EQ(signature.size(), SignatureFileSize);
    PackageManifest manifest;
    std::memcpy(&manifest, signature.data(), sizeof manifest);
    EXPECT_EQ(manifest.serial, 12u);
    // Entry 0 is vouched for by the digest of its unpacked bytes, as `sha256sum` prints it.
    Sha256Digest entry;
    std::memcpy(entry.bytes, manifest.entrySha256[0], Sha256Size);
    EXPECT_EQ(Hex(entry), "138988658ac3ce47c78ceef9c9fa534360fcb5ecc798e5e36d5d976d9ba9a164");

    String detail;
    EXPECT_EQ(VerifyPackage(Utf8ToString(publicKey.c_str()), folder.Path(u"game.zoa").Text(),
                            int64_t(std::time(nullptr)), nullptr, detail),
              SignatureVerdict::Accepted)
        << StringToUtf8(detail.Text());
}

TEST(PackageSigner, UtcDates)
{
    struct Case
    {
        const char* text;
        bool valid;
        int64_t seconds;
    } cases[] = {
        {"1970-01-01", true, 0},
        {"2020-01-01", true, 1577836800},
        {"2024-02-29T12:30:15Z", true, 1709209815},
        {"2027-06-30T12:00", true, 1814356800},
        {"2027-13-01", false, 0},
        {"2027-06-30X", false, 0},
        {"tomorrow", false, 0},
        {"1969-12-31", false, 0},
    };
    for (const Case& c : cases)
    {
        int64_t seconds = -1;
        EXPECT_EQ(ParseUtcDate(c.text, seconds), c.valid) << c.text;
        if (c.valid)
        {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(PackageSigner, KeyListsAsZoakeyGivesThem)
{
    PublicKey first;
    PublicKey second;
    uint8_t secret[SecretKeySize];
    ASSERT_TRUE(MakeKeyPair(first, secret));
    ASSERT_TRUE(MakeKeyPair(second, secret));
    std::string a = Base64(first.bytes, PublicKeySize);
    std::string b = Base64(second.bytes, PublicKeySize);
    struct Case
    {
        std::string text;
        bool allKeys;
        uint32_t keys;
    } cases[] = {
        {a, true, 1},
        {" " + a + " , " + b + " ", true, 2},
        {a + ",", true, 1},
        {a.substr(0, a.size() - 1), true, 1}, // without its padding
        {a.substr(0, 40), false, 0},          // too short
        {a + "," + a + "AAAA", false, 1},     // too long
        {"not base64!", false, 0},
    };
    for (const Case& c : cases)
    {
        Array<PublicKey> keys;
        String error;
        EXPECT_EQ(ParseKeyList(Utf8ToString(c.text.c_str()), keys, error), c.allKeys) << c.text;
        EXPECT_EQ(keys.Length(), c.keys) << c.text;
    }
}
