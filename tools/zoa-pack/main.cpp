// zoa-pack: builds a package from files (header version 2 with the key digest unless told otherwise, each
// file stored plain, zlib-packed or LZMA-packed, two optional sections) and signs it, lists a package's
// header, makes a signing key, or checks a package against its signature file as the loader would.
// Exit status: 0 done, 1 failed (or the listed or verified package would be rejected), 2 wrong arguments.
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "tools/zoa-pack/PackageListing.h"
#include "tools/zoa-pack/PackageSigner.h"
#include "tools/zoa-pack/PackageWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

using namespace Zelto;

namespace
{

void PrintUsage()
{
    std::fputs(
        "usage: zoa-pack [--version 1|2] [--cache-name NAME] [--section-a NAME:FILE]"
        " [--section-b NAME:FILE]\n"
        "                -o OUT.zoa FILE[:plain|zlib|lzma][@NAME] ...   (1 to 8 files; the first is the"
        " engine module)\n"
        "                [--sign KEYFILE --serial N [--expires YYYY-MM-DD[THH:MM[:SS]Z]]]\n"
        "       zoa-pack --list PACKAGE\n"
        "       zoa-pack --keygen KEYFILE   (prints the public key last)\n"
        "       zoa-pack --verify PUBLICKEY[,PUBLICKEY...] PACKAGE\n",
        stderr);
}

void Print(std::FILE* stream, const String& text)
{
    std::fputs(StringToAnsi(text.Text()).c_str(), stream);
}

int Fail(const String& error)
{
    Print(stderr, Format(u"zoa-pack: %ls\n", error.Text()));
    return 1;
}

int List(const char* path)
{
    String text;
    bool sound = ListPackage(AnsiToString(path).Text(), text);
    Print(stdout, text);
    return sound ? 0 : 1;
}

int KeyGen(const char* path)
{
    std::string publicKey;
    String error;
    if (!MakeKeyFile(AnsiToString(path).Text(), publicKey, error))
        return Fail(error);
    std::printf("secret key written to %s (keep it offline; never publish it)\npublic key:\n%s\n", path,
                publicKey.c_str());
    return 0;
}

// The loader's checks, with the serials it recorded in the current directory, if any.
int Verify(const char* keys, const char* package)
{
    String detail;
    SignatureVerdict verdict = VerifyPackage(AnsiToString(keys), AnsiToString(package).Text(),
                                             int64_t(std::time(nullptr)), SerialStateFile, detail);
    if (verdict == SignatureVerdict::Accepted)
    {
        std::printf("signature check passed: %s\n", package);
        return 0;
    }
    Print(stdout, Format(u"signature check failed (%ls): %ls\n", VerdictText(verdict), detail.Text()));
    return 1;
}

struct Signing
{
    String keyFile; // empty: the package is not signed
    bool serialGiven = false;
    uint64_t serial = 0;
    int64_t expires = 0;
};

// The options of signing; false when `argument` is none of them. `error` says what was wrong with a value.
bool ParseSigningOption(const String& argument, const char* value, Signing& signing, String& error)
{
    if (argument.Equals(u"--sign"))
        signing.keyFile = AnsiToString(value);
    else if (argument.Equals(u"--serial"))
    {
        char* end = nullptr;
        signing.serial = std::strtoull(value, &end, 10);
        signing.serialGiven = *value >= '0' && *value <= '9' && *end == 0;
        if (!signing.serialGiven)
            error = Format(u"--serial takes a whole number, not \"%ls\"", AnsiToString(value).Text());
    }
    else if (argument.Equals(u"--expires"))
    {
        if (!ParseUtcDate(value, signing.expires))
            error =
                Format(u"--expires takes a UTC date such as 2027-06-30 or 2027-06-30T12:00:00Z, not \"%ls\"",
                       AnsiToString(value).Text());
    }
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return List(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--keygen") == 0)
        return KeyGen(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--verify") == 0)
        return Verify(argv[2], argv[3]);

    PackagePlan plan;
    Signing signing;
    String out;
    String error;
    bool cacheNameGiven = false;
    for (int i = 1; i < argc && error.IsEmpty(); ++i)
    {
        String argument = AnsiToString(argv[i]);
        bool hasValue = i + 1 < argc;
        if (argument[0] != u'-')
        {
            PackageInput input;
            if (ParseInputArgument(argument.Text(), input, error))
                plan.inputs.push_back(input);
            continue;
        }
        if (!hasValue)
        {
            PrintUsage();
            return 2;
        }
        String value = AnsiToString(argv[++i]);
        if (ParseSigningOption(argument, argv[i], signing, error))
            continue;
        if (argument.Equals(u"-o"))
            out = value;
        else if (argument.Equals(u"--version"))
            plan.version = uint32_t(value.ToInt());
        else if (argument.Equals(u"--cache-name"))
        {
            plan.cacheName = value;
            cacheNameGiven = true;
        }
        else if (argument.Equals(u"--section-a"))
            ParseSectionArgument(value.Text(), plan.sectionA, error);
        else if (argument.Equals(u"--section-b"))
            ParseSectionArgument(value.Text(), plan.sectionB, error);
        else
        {
            PrintUsage();
            return 2;
        }
    }
    if (!error.IsEmpty())
        return Fail(error);
    if (out.IsEmpty() || plan.inputs.empty() || signing.keyFile.IsEmpty() == signing.serialGiven)
    {
        PrintUsage();
        return 2;
    }
    if (!cacheNameGiven)
        plan.cacheName = PathFileName(out.Text(), false, false);
    if (!WritePackage(plan, out.Text(), error))
        return Fail(error);
    if (!signing.keyFile.IsEmpty() &&
        !SignPackage(out.Text(), signing.keyFile.Text(), signing.serial, signing.expires, error))
    {
        DeleteFileAt(out.Text()); // an unsigned package where a signed one was asked for would be refused
        return Fail(error);
    }
    String listing;
    ListPackage(out.Text(), listing);
    if (!signing.keyFile.IsEmpty())
        listing.Append(Format(u"signature file: %ls%ls (serial %llu)\n", out.Text(), SignatureSuffix,
                              (unsigned long long)signing.serial)
                           .Text());
    Print(stdout, listing);
    return 0;
}
