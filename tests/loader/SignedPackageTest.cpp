// Signed packages through the plug-in's exports with a real server and the sample engine: with a key set by
// "zoakey" only a package whose signature file passes every check runs, each refusal logs the check that
// failed and leaves the files on disk alone; zoa-pack --verify reaches the same verdict on every case.
#include "LoaderRoadFixture.h"

#include "Common/Md5.h"
#include "Loader/Crypto.h"
#include "Loader/ManifestCheck.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/File.h"
#include "support/Text.h"
#include "tools/zoa-pack/PackageSigner.h"

#include <cstring>
#include <ctime>
#include <functional>
#include <ostream>
#include <utility>

using namespace Zelto;

namespace
{

struct KeyPair
{
    PublicKey publicKey;
    uint8_t secretKey[SecretKeySize];
    KeyPair() { MakeKeyPair(publicKey, secretKey); }
    std::string Base64Public() const { return Base64(publicKey.bytes, PublicKeySize); }
};

// What the server hands out and what the game folder holds before the loader starts.
struct Publication
{
    std::string package;   // as served
    std::string signature; // the signature file as served
    bool serveSignature = true;
    std::string serialState;   // the loader's serial record before the run
    bool moduleOnDisk = false; // the engine module is already current beside the host
};

// How a case signs the package it is given (the package file at `path`) and what it changes afterwards.
struct SigningPlan
{
    const KeyPair* signer;
    uint64_t serial = 5;
    int64_t expires = 0;
    std::function<void(PackageManifest&)> changeManifest;
};

PackageHeader& HeaderOf(std::string& package)
{
    return *reinterpret_cast<PackageHeader*>(&package[0]);
}

std::string SignatureFileOf(const char16_t* path, const SigningPlan& plan)
{
    PackageManifest manifest;
    String error;
    EXPECT_TRUE(MakeManifest(path, plan.serial, plan.expires, manifest, error)) << StringToUtf8(error.Text());
    if (plan.changeManifest)
        plan.changeManifest(manifest);
    std::string file(reinterpret_cast<const char*>(&manifest), sizeof manifest);
    uint8_t signature[SignatureSize];
    SignMessage(&manifest, sizeof manifest, plan.signer->secretKey, signature);
    return file + std::string(reinterpret_cast<const char*>(signature), SignatureSize);
}

const KeyPair& FirstKey()
{
    static const KeyPair key;
    return key;
}

const KeyPair& SecondKey()
{
    static const KeyPair key;
    return key;
}

SigningPlan Plan(const KeyPair& signer, uint64_t serial = 5, int64_t expires = 0,
                 std::function<void(PackageManifest&)> changeManifest = nullptr)
{
    return SigningPlan{&signer, serial, expires, std::move(changeManifest)};
}

const char* const OldContent = "the file as it was before the run";

struct SignatureCase
{
    const char* name;
    std::function<std::string()> keys; // the "zoakey" value; empty: no key set
    SigningPlan signing;
    std::function<void(Publication&)> change; // after signing
    const char16_t* verdict;                  // null: the engine runs
    const char16_t* keptFile; // the file that differs (null: the header was refused, empty: none)
};

// Cases print by name.
void PrintTo(const SignatureCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string First()
{
    return FirstKey().Base64Public();
}

const SignatureCase signatureCases[] = {
    {"signed", First, Plan(FirstKey()), nullptr, nullptr, nullptr},
    {"rotated", [] { return SecondKey().Base64Public() + ", " + First(); }, Plan(FirstKey()), nullptr,
     nullptr, nullptr},
    {"unsignedWithoutKey", [] { return std::string(); }, Plan(FirstKey()),
     [](Publication& p) { p.serveSignature = false; }, nullptr, nullptr},
    {"noSignatureFile", First, Plan(FirstKey()), [](Publication& p) { p.serveSignature = false; },
     u"no signature file", nullptr},
    {"wrongKey", First, Plan(SecondKey()), nullptr, u"not signed by any listed key", nullptr},
    {"badKeyText", [] { return std::string("not-a-key"); }, Plan(FirstKey()), nullptr,
     u"not signed by any listed key", nullptr},
    {"truncated", First, Plan(FirstKey()), [](Publication& p) { p.signature.resize(100); },
     u"the signature file is not a signed manifest", nullptr},
    {"fileAndItsMd5Changed", First, Plan(FirstKey()),
     [](Publication& p)
     {
         // The plain entry's first byte, and the header's MD5 made to match it.
         PackageEntry& entry = HeaderOf(p.package).entries[3];
         p.package[entry.offset] ^= 1;
         Md5ToBytes(Md5(&p.package[entry.offset], entry.size), entry.digest);
     },
     u"the header differs from the signed manifest", nullptr},
    {"headerByteChanged", First, Plan(FirstKey()), [](Publication& p) { HeaderOf(p.package).textA[0] ^= 1; },
     u"the header differs from the signed manifest", nullptr},
    {"expired", First, Plan(FirstKey(), 5, 1577836800 /* 2020-01-01 */), nullptr,
     u"the signed manifest has expired", nullptr},
    {"olderSerial", First, Plan(FirstKey(), 4), [](Publication& p) { p.serialState = "5 demo\n"; },
     u"its serial is lower than one accepted before", nullptr},
    {"sameSerialAgain", First, Plan(FirstKey(), 5), [](Publication& p) { p.serialState = "5 demo\n"; },
     nullptr, nullptr},
    {"otherNameHigherSerial", First, Plan(FirstKey(), 1), [](Publication& p) { p.serialState = "9 other\n"; },
     nullptr, nullptr},
    {"fileDiffersFromManifest", First,
     Plan(FirstKey(), 5, 0, [](PackageManifest& m) { m.entrySha256[3][0] ^= 1; }), nullptr,
     u"a file differs from the signed manifest", u"plain.cfg"},
    {"currentModuleDiffersFromManifest", First,
     Plan(FirstKey(), 5, 0, [](PackageManifest& m) { m.entrySha256[0][0] ^= 1; }),
     [](Publication& p) { p.moduleOnDisk = true; }, u"a file differs from the signed manifest", u""},
};

class SignedPackage : public LoaderRoad, public ::testing::WithParamInterface<SignatureCase>
{
protected:
    // The demo package signed as the case says; the served copy and its signature are also written to
    // stage\served.zoa(.sig) for zoa-pack --verify.
    Publication Publish(const SignatureCase& c)
    {
        Publication publication;
        publication.package = BuildPackage(DemoFiles());
        publication.signature = SignatureFileOf(folder.Path(u"stage\\game.zoa").Text(), c.signing);
        if (c.change)
            c.change(publication);
        folder.WriteBytes(u"stage\\served.zoa", publication.package);
        if (publication.serveSignature)
            folder.WriteBytes(u"stage\\served.zoa.sig", publication.signature);
        return publication;
    }
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_P(SignedPackage, LoaderAndVerifyReachOneVerdict)
{
    const SignatureCase& c = GetParam();
    Publication publication = Publish(c);
    server.Serve("/game.zoa", publication.package);
    if (publication.serveSignature)
        server.Serve("/game.zoa.sig", publication.signature);
    ASSERT_TRUE(MakeDirectories(folder.Path(Game(u"levels").c_str()).Text()));
    for (const PackageFile& file : DemoFiles())
        folder.WriteBytes(Game(file.name.c_str()).c_str(), OldContent);
    if (!publication.serialState.empty())
        folder.WriteBytes(Game(SerialStateFile).c_str(), publication.serialState);
    if (publication.moduleOnDisk)
        folder.WriteBytes(Game(u"zelto3d.zob").c_str(), folder.ReadBytes(EngineModulePath().Text()));

    // zoa-pack --verify, with the serials the loader recorded before the run.
    std::string keys = c.keys();
    String detail;
    SignatureVerdict verdict =
        VerifyPackage(Utf8ToString(keys.c_str()), folder.Path(u"stage\\served.zoa").Text(),
                      int64_t(std::time(nullptr)), folder.Path(Game(SerialStateFile).c_str()).Text(), detail);

    Create();
    Setup(u"zoatimeout", "300");
    if (!keys.empty())
        Setup(u"zoakey", keys);
    Setup(u"zoaurl", server.Url("/game.zoa"));
    if (c.verdict == nullptr)
    {
        ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog() << ErrorLog();
        for (const PackageFile& file : DemoFiles())
            EXPECT_EQ(GameFile(file.name.c_str()), file.bytes);
        if (!keys.empty())
            EXPECT_EQ(verdict, SignatureVerdict::Accepted) << StringToUtf8(VerdictText(verdict));
        else
            EXPECT_TRUE(RequestsFor("/game.zoa.sig").empty()); // without a key nothing changes
        return;
    }
    std::string expected = "Signature check failed (" + StringToUtf8(c.verdict) + ")";
    ASSERT_TRUE(TickUntil([&] { return Contains(ErrorLog(), expected); })) << TraceLog() << ErrorLog();
    // Refused, then tried again on the next URL (here the same one), and refused again the same way.
    ASSERT_TRUE(TickUntil(
        [&] { return Contains(TraceLog(), "Zoa not correct, try backup url: " + server.Url("/game.zoa")); }))
        << TraceLog();
    EXPECT_FALSE(Running());
    EXPECT_EQ(EngineCalls(), "") << "the engine never runs";
    // A refusal at the header leaves every file as it was; the file that differs is never written (the file
    // stage deletes a stale copy before it fetches the new one).
    for (const PackageFile& file : DemoFiles())
    {
        std::string now = GameFile(file.name.c_str());
        if (c.keptFile == nullptr)
        {
            EXPECT_EQ(now, OldContent) << StringToUtf8(file.name.c_str());
        }
        else if (file.name == c.keptFile)
        {
            EXPECT_NE(now, file.bytes) << StringToUtf8(file.name.c_str());
        }
    }
    EXPECT_EQ(Text(VerdictText(verdict)), Text(c.verdict)) << StringToUtf8(detail.Text());
}

INSTANTIATE_TEST_SUITE_P(Cases, SignedPackage, ::testing::ValuesIn(signatureCases),
                         [](const ::testing::TestParamInfo<SignatureCase>& info) { return info.param.name; });

// The serial accepted is recorded beside the host: a later run of an older package of the same cache name is
// refused.
TEST_F(LoaderRoad, OlderSerialAfterANewerOneIsRefused)
{
    std::string package = BuildPackage(DemoFiles());
    const char16_t* packagePath = u"stage\\game.zoa";
    server.Serve("/game.zoa", package);
    server.Serve("/game.zoa.sig", SignatureFileOf(folder.Path(packagePath).Text(), Plan(FirstKey(), 7)));
    Create();
    Setup(u"zoakey", First());
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << TraceLog() << ErrorLog();
    EXPECT_EQ(GameFile(SerialStateFile), "7 demo\n");
    Delete();

    server.Serve("/game.zoa.sig", SignatureFileOf(folder.Path(packagePath).Text(), Plan(FirstKey(), 6)));
    Create();
    Setup(u"zoatimeout", "300");
    Setup(u"zoakey", First());
    Setup(u"zoaurl", server.Url("/game.zoa"));
    ASSERT_TRUE(TickUntil(
        [&] {
            return Contains(ErrorLog(),
                            "Signature check failed (its serial is lower than one accepted before)");
        }))
        << ErrorLog();
    EXPECT_FALSE(Running());
    EXPECT_EQ(GameFile(SerialStateFile), "7 demo\n");
}
