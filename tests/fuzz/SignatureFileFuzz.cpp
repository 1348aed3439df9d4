// The signature file and the "zoakey" text from outside: the manifest checks never accept a file that no
// listed key signed, whatever its bytes, and key lists parse without harm. The first byte picks which.
#include "FuzzCheck.h"
#include "Loader/ManifestCheck.h"
#include "Source/Common/StringEncoding.h"

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t* rest = data + 1;
    uint32_t count = uint32_t(size - 1);
    if (data[0] & 1)
    {
        Array<PublicKey> keys;
        String error;
        bool allKeys =
            ParseKeyList(Utf8ToString(reinterpret_cast<const char*>(rest), int32_t(count)), keys, error);
        Require(allKeys || !error.IsEmpty());
        return 0;
    }
    // A key of zeros signs nothing: no file may pass as signed by it.
    Array<PublicKey> keys;
    keys.Add(PublicKey());
    Sha256Digest header;
    PackageManifest manifest;
    SignatureVerdict verdict = CheckManifest(rest, count, keys, header, 0, 0, manifest);
    Require(verdict == SignatureVerdict::MalformedSignatureFile || verdict == SignatureVerdict::UnknownKey);
    return 0;
}
