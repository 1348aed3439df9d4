// Signed packages: with a key set by "zoakey", a header that passed the other checks is accepted only when
// the signature file beside the package (its URL with ".sig" appended) is a manifest signed by a listed key
// that names exactly this header, has not expired and has no serial older than one accepted before. Each
// fetched file must then have its signed digest before it replaces the file on disk, and the engine module on
// disk before it is loaded. Without a key nothing here is asked for.
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Loader/ManifestCheck.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"

#include <ctime>

namespace Zelto
{

void Zelto3DLoader::SetupSigningKeys(const String& value)
{
    trust.keys.Clear();
    String error;
    if (!ParseKeyList(value, trust.keys, error))
        LogError(u"[Loader] zoakey: %ls", error.Text());
    // A key once set is never lifted: a later value replaces the keys, but every package stays checked.
    String trimmed = value;
    trimmed.TrimLeft(u" \t,");
    trust.required = trust.required || !trimmed.IsEmpty();
    if (trust.required)
        PrintTrace(u"[Loader] Signed packages only: %u listed keys", trust.keys.Length());
}

void Zelto3DLoader::CheckPackageSignature()
{
    trust.inForce = false;
    if (!trust.required)
    {
        AcceptHeader();
        return;
    }
    String url = Format(u"%ls%ls", urls[int32_t(urlIndex)].Text(), SignatureSuffix);
    // One byte more than a signature file holds, so that a longer file shows as one.
    download = StartDownload(&downloadProgress, url.Text(), &trust.signatureFile, 0,
                             int32_t(SignatureFileSize + 1), PackageHandle(), u"");
    trust.fetching = download != nullptr;
    headerStart = MillisecondClock(); // the signature file gets a time-out window of its own
    if (!trust.fetching)
        RefuseSignature(VerdictText(SignatureVerdict::NoSignatureFile), url);
}

// A signature file that does not arrive within the header's time-out (missing, refused, unreachable) is none:
// a failed download keeps its progress at 0, as a header's does.
void Zelto3DLoader::SignatureTick()
{
    float received = AtomicLoadFloat(&downloadProgress);
    if (received < 1.0f)
    {
        if (received == 0.0f && HeaderWindowPassed())
        {
            StopDownload();
            RefuseSignature(VerdictText(SignatureVerdict::NoSignatureFile),
                            Format(u"%ls%ls", urls[int32_t(urlIndex)].Text(), SignatureSuffix));
        }
        return;
    }
    StopDownload();
    JudgeSignature();
}

void Zelto3DLoader::JudgeSignature()
{
    String cacheName = PackageText(header.cacheName);
    uint64_t highest = AcceptedSerial(SerialStateFile, cacheName);
    SignatureVerdict verdict =
        CheckManifest(trust.signatureFile.Data(), trust.signatureFile.Size(), trust.keys, trust.headerDigest,
                      int64_t(std::time(nullptr)), highest, trust.manifest);
    trust.signatureFile.Reset();
    String url = Format(u"%ls%ls", urls[int32_t(urlIndex)].Text(), SignatureSuffix);
    if (verdict != SignatureVerdict::Accepted)
    {
        RefuseSignature(VerdictText(verdict), url);
        return;
    }
    if (trust.manifest.serial > highest && !RecordSerial(SerialStateFile, cacheName, trust.manifest.serial))
        LogError(u"[Loader] Cannot record serial %llu of %ls in %ls",
                 (unsigned long long)trust.manifest.serial, cacheName.Text(), SerialStateFile);
    PrintTrace(u"[Loader] Signature accepted: %ls, serial %llu", url.Text(),
               (unsigned long long)trust.manifest.serial);
    trust.inForce = true;
    AcceptHeader();
}

void Zelto3DLoader::RefuseSignature(const char16_t* verdict, const String& what)
{
    LogError(u"[Loader] Signature check failed (%ls): %ls", verdict, what.Text());
    RejectHeader();
}

ContentSeal Zelto3DLoader::SealOf(uint32_t entry) const
{
    ContentSeal seal;
    seal.required = trust.required;
    if (trust.inForce)
        for (uint32_t i = 0; i < Sha256Size; ++i)
            seal.expected.bytes[i] = trust.manifest.entrySha256[entry][i];
    return seal;
}

// A fetched file, or the engine module on disk, differs from the manifest. The files fetched before it had
// their signed digests; this one is not written (the module not loaded), and the package's run ends as a
// rejected header's would.
void Zelto3DLoader::RefuseSignedFile(const char16_t* name)
{
    String what = Format(u"%ls in %ls", name, urls[int32_t(urlIndex)].Text());
    StopFileWork();
    fileIndex = 0;
    finishSize = 0;
    trust.inForce = false;
    EnterState(HeaderDownload);
    headerStart = MillisecondClock();
    RefuseSignature(VerdictText(SignatureVerdict::FileDiffers), what);
}

bool Zelto3DLoader::ModuleVouched() const
{
    if (!trust.required)
        return true;
    Sha256Digest digest;
    return trust.inForce && FileSha256(moduleFile.Text(), digest) && EntryVouched(trust.manifest, 0, digest);
}

} // namespace Zelto
