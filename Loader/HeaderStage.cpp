// The header stage: the first 1132 bytes of the package, fetched from the URLs in turn until one passes the
// size, key, safety and length checks (and, with a key set, the signature check: SignatureStage.cpp).
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Loader/Crypto.h"
#include "Loader/EntryNames.h"
#include "Loader/KeptPackedBytes.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/ReplacingFile.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

namespace
{

// Names are at most 31 units, whatever the bytes said.
template <uint32_t Units> void Terminate(char16_t (&text)[Units])
{
    text[Units - 1] = 0;
}

} // namespace

void Zelto3DLoader::StartHeaderDownload()
{
    urlIndex = 0;
    headerStart = MillisecondClock();
    RestartHeader();
}

void Zelto3DLoader::RestartHeader()
{
    StopDownload();
    download = StartDownload(&downloadProgress, urls[int32_t(urlIndex)].Text(), &headerBuffer, 0,
                             int32_t(PackageHeaderSize), PackageHandle(), u"");
}

void Zelto3DLoader::NextUrl()
{
    urlIndex = (urlIndex + 1) % urls.Length();
}

Backoff& Zelto3DLoader::UrlBackoff()
{
    return urlBackoffs[int32_t(urlIndex)];
}

void Zelto3DLoader::TryNextUrl(const char16_t* message)
{
    uint32_t now = MillisecondClock();
    UrlBackoff().Fail(now);
    NextUrl();
    PrintTrace(message, urls[int32_t(urlIndex)].Text());
    StopDownload();
    StopFileWork(); // the refused header's local check
    if (!UrlBackoff().Waiting(now))
        RestartHeader();
    else
        PrintTrace(u"[Loader] %ls is tried again in %u s (failure %u in a row)",
                   urls[int32_t(urlIndex)].Text(), (UrlBackoff().WaitLeft(now) + 999) / 1000,
                   UrlBackoff().Failures());
}

void Zelto3DLoader::HeaderTick()
{
    if (probingLength)
        LengthProbeTick();
    else if (trust.fetching)
        SignatureTick();
    else if (download != nullptr)
        HeaderDownloadTick();
    else if (!UrlBackoff().Waiting(MillisecondClock()))
    {
        // The URL's back-off has passed: it gets a time-out window of its own.
        headerStart = MillisecondClock();
        RestartHeader();
    }
}

// Elapsed time, so that the check stays right when the millisecond clock wraps; a negative time-out counts as
// none at all rather than as forever.
bool Zelto3DLoader::HeaderWindowPassed() const
{
    uint32_t timeout = headerTimeout > 0 ? uint32_t(headerTimeout) : 0;
    return MillisecondClock() - headerStart > timeout;
}

void Zelto3DLoader::HeaderDownloadTick()
{
    float received = AtomicLoadFloat(&downloadProgress);
    if (received == 0.0f && HeaderWindowPassed())
    {
        headerStart = MillisecondClock();
        TryNextUrl(u"Download zoa header failed, try backup url: %ls");
        return;
    }
    ShowProgress(received != 0.0f ? 0.1f * received : 0.1f * float(urlIndex + 1) / 10.0f);
    if (received < 1.0f)
        return;
    StopDownload();

    if (headerBuffer.Size() != PackageHeaderSize)
    {
        TryNextUrl(u"Zoa header size not correct, try backup url: %ls");
        return;
    }
    ParseHeader(headerBuffer, header);
    trust.headerDigest = Sha256(headerBuffer.Data(), headerBuffer.Size());
    headerBuffer.Reset();
    Terminate(header.textA);
    Terminate(header.cacheName);
    Terminate(header.sectionA.name);
    Terminate(header.sectionB.name);
    Terminate(header.textC);
    for (PackageEntry& entry : header.entries)
        Terminate(entry.name);

    if (!IsHeaderKeyValid(header))
    {
        PrintTrace(u"The Key in header is not correct: %ls", Md5Text(Md5FromBytes(header.keyDigest)).Text());
        RejectHeader();
        return;
    }
    String reason;
    if (!HeaderIsSafe(reason))
    {
        LogError(u"[Loader] Unsafe package header: %ls", reason.Text());
        RejectHeader();
        return;
    }
    // The local files are digested while the length and the signature are checked: digesting only reads
    // them, and a header refused after all stops it.
    if (uint32_t(launchMode) <= 1)
        StartLocalCheck();
    StartLengthProbe();
}

// Names and byte ranges come from the network: they must stay below the current directory and inside the
// 32-bit ranges the download service takes.
bool Zelto3DLoader::HeaderIsSafe(String& reason) const
{
    if (const char16_t* why = UnsafeNameReason(header.cacheName))
    {
        reason = Format(u"cache name %ls: %ls", header.cacheName, why);
        return false;
    }
    for (const PackageEntry& entry : header.entries)
    {
        if (const char16_t* why = UnsafeNameReason(entry.name))
        {
            reason = Format(u"file name %ls: %ls", entry.name, why);
            return false;
        }
        if (NameEndsIn(entry.name, TemporaryFileSuffix) || NameEndsIn(entry.name, KeptBytesSuffix))
        {
            reason = Format(u"file name %ls: it ends as the loader's temporary files do", entry.name);
            return false;
        }
        if (uint64_t(entry.offset) + entry.size > uint64_t(INT32_MAX))
        {
            reason = Format(u"byte range of %ls", entry.name);
            return false;
        }
    }
    if (PackageEntriesSize(header) > PackageFilesLimit)
    {
        reason = Format(u"the files add up to %llu bytes", (unsigned long long)PackageEntriesSize(header));
        return false;
    }
    // A later entry that names a checked file again would replace it unchecked.
    for (uint32_t i = 0; i < PackageEntryCount; ++i)
        for (uint32_t j = i + 1; j < PackageEntryCount; ++j)
        {
            const char16_t* first = header.entries[i].name;
            const char16_t* second = header.entries[j].name;
            if (*first != 0 && *second != 0 && EntryNameKey(first).Equals(EntryNameKey(second).Text()))
            {
                reason = Format(u"file names %ls and %ls name the same file", first, second);
                return false;
            }
        }
    return true;
}

// The announced length is learned on a worker: a slow server must not hold the host's thread.
void Zelto3DLoader::StartLengthProbe()
{
    announcement = RemoteFile();
    download = StartQuery(&downloadProgress, urls[int32_t(urlIndex)].Text(), &announcement);
    probingLength = download != nullptr;
    if (!probingLength)
        CheckPackageSignature(); // no probe, no length known
}

// An unknown length (0) passes; otherwise the announced length must be the header's own, in 64 bits.
void Zelto3DLoader::LengthProbeTick()
{
    if (AtomicLoadFloat(&downloadProgress) < 1.0f)
        return;
    StopDownload();
    int64_t length = announcement.contentLength;
    if (length == 0 || uint64_t(length) == ExpectedPackageLength(header))
        CheckPackageSignature();
    else
    {
        PrintTrace(u"[Loader] The package is announced with %lld bytes, its header makes %llu",
                   (long long)length, (unsigned long long)ExpectedPackageLength(header));
        RejectHeader();
    }
}

void Zelto3DLoader::RejectHeader()
{
    TryNextUrl(u"Zoa not correct, try backup url: %ls");
}

void Zelto3DLoader::AcceptHeader()
{
    UrlBackoff().Reset();
    resSize = int32_t(PackageEntriesSize(header)); // within PackageFilesLimit (HeaderIsSafe)
    PrintTrace(u"[Loader] Header accepted from %ls: version %u, %llu bytes in the files",
               urls[int32_t(urlIndex)].Text(), header.version,
               (unsigned long long)PackageEntriesSize(header));
    EnterState(FileSync);
    if (uint32_t(launchMode) > 1)
    {
        moduleFile = u"zelto3d.zob";
        StartEngine();
    }
    else if (fileLanes == nullptr) // else its local check runs already
        StartLocalCheck();
}

} // namespace Zelto
