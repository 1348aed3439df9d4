// Configuration keys and the server list.
#include "Loader/Zelto3DLoader.h"

#include "Common/Log.h"
#include "Loader/ServerList.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

namespace Zelto
{

namespace
{

const char16_t ListDivision[] = u"|";
const char16_t ListTrim[] = u" \t";

// The host name of a URL: the first piece between slashes that is not empty and does not start with "http",
// up to its first ':'.
String HostOfUrl(const String& url)
{
    Array<String> pieces;
    Split(url.Text(), pieces, u"/", ListTrim);
    for (const String& piece : pieces)
    {
        if (piece.IsEmpty() || piece.StartsWith(u"http"))
            continue;
        int32_t colon = piece.FindChar(u':');
        return colon < 0 ? piece : String(piece.Text(), colon);
    }
    return String();
}

} // namespace

void Zelto3DLoader::Setup(const String& key, const String& value)
{
    using Apply = void (*)(Zelto3DLoader & loader, const String& value);
    struct Key
    {
        const char16_t* name;
        Apply apply;
    };
    // Compared in this order, ignoring the case of A to Z; unknown keys are ignored.
    static const Key keys[] = {
        {u"zoaurl", [](Zelto3DLoader& l, const String& v) { l.SetupPackageUrls(v); }},
        {u"zoaparam", [](Zelto3DLoader& l, const String& v) { l.AppendEngineParams(v); }},
        {u"commonzoaparam", [](Zelto3DLoader& l, const String& v) { l.AppendEngineParams(v); }},
        {u"serverdataurl", [](Zelto3DLoader& l, const String& v) { l.SetupServerDataUrl(v); }},
        {u"serverdata", [](Zelto3DLoader& l, const String& v) { l.ParseServerList(v); }},
        {u"selectedserver",
         [](Zelto3DLoader& l, const String& v)
         {
             if (!l.reportUrl.IsEmpty())
                 l.SendReport(Format(u"%ls%ls", l.reportUrl.Text(), v.Text()));
         }},
        {u"reporturl", [](Zelto3DLoader& l, const String& v) { l.reportUrl = v; }},
        {u"appversion", [](Zelto3DLoader& l, const String& v) { l.appVersion = v; }},
        {u"flashversion", [](Zelto3DLoader& l, const String& v) { l.flashVersion = v; }},
        {u"delay", [](Zelto3DLoader& l, const String& v) { l.releaseDelay = v.ToInt(); }},
        {u"errurl", [](Zelto3DLoader& l, const String& v) { l.errUrl = v; }},
        {u"tickurl", [](Zelto3DLoader& l, const String& v) { l.BuildTickUrl(v); }},
        {u"tickinterval", [](Zelto3DLoader& l, const String& v) { l.tickInterval = v.ToInt(); }},
        {u"zoatimeout", [](Zelto3DLoader& l, const String& v) { l.headerTimeout = v.ToInt(); }},
        {u"zoakey", [](Zelto3DLoader& l, const String& v) { l.SetupSigningKeys(v); }},
        {u"cdnip",
         [](Zelto3DLoader& l, const String& v) { Split(v.Text(), l.cdnIps, ListDivision, ListTrim); }},
    };
    for (const Key& candidate : keys)
        if (key.EqualsNoCase(candidate.name))
        {
            candidate.apply(*this, value);
            return;
        }
}

void Zelto3DLoader::AppendEngineParams(const String& value)
{
    if (!engineParams.IsEmpty() && engineParams[engineParams.Length() - 1] != u'|')
        engineParams.Append(u"|");
    engineParams.Append(value.Text());
}

// Once the engine is loaded, a new package would load and create it a second time over the running one.
bool Zelto3DLoader::EngineLoaded(const char16_t* key) const
{
    if (engine.module == nullptr)
        return false;
    LogError(u"[Loader] %ls ignored: the engine is already loaded", key);
    return true;
}

// "zoaurl": the URLs, their CDN variants, then the header download from the first URL ever given.
void Zelto3DLoader::SetupPackageUrls(const String& value)
{
    if (EngineLoaded(u"zoaurl"))
        return;
    // Empty pieces are no URLs; a value without any URL changes nothing.
    Array<String> pieces;
    Split(value.Text(), pieces, ListDivision, ListTrim);
    uint32_t before = urls.Length();
    for (const String& piece : pieces)
        if (!piece.IsEmpty())
            AddPackageUrl(piece);
    if (urls.Length() == before)
    {
        LogError(u"[Loader] zoaurl without any URL ignored: %ls", value.Text());
        return;
    }
    BeginPackageRun();
    if (cdnIps.Length() != 0)
    {
        // The first URL never changes, so the host is set once; a handle made before it lacks the Host line.
        String host = HostOfUrl(urls[0]);
        if (!host.Equals(cdnHost.Text()))
        {
            ReleasePackageHandle();
            cdnHost = host;
        }
        for (const String& address : cdnIps)
        {
            if (address.IsEmpty())
                continue;
            String variant = urls[0];
            variant.Replace(cdnHost.Text(), address.Text());
            AddPackageUrl(variant);
        }
    }
    StartHeaderDownload();
    EnterState(HeaderDownload);
}

// Each URL has its back-off: urlBackoffs is never shorter than urls.
void Zelto3DLoader::AddPackageUrl(const String& url)
{
    if (urlBackoffs.Length() > urls.Length() || urlBackoffs.Add(Backoff()) >= 0)
        urls.Add(url);
}

void Zelto3DLoader::SetupServerDataUrl(const String& value)
{
    if (EngineLoaded(u"serverdataurl"))
        return;
    BeginPackageRun();
    download = StartDownload(&downloadProgress, value.Text(), &serverDataBuffer, 0, -1, PackageHandle(), u"");
    EnterState(ServerList);
}

// The server list has arrived: its text goes through Setup("serverdata"), where a movie may take it.
void Zelto3DLoader::ServerListTick()
{
    if (AtomicLoadFloat(&downloadProgress) < 1.0f)
        return;
    StopDownload();
    EnterState(ServerListReady);
    // Decoding stops at the end of the bytes or at a NUL among them.
    String text = Utf8ToString(reinterpret_cast<const char*>(serverDataBuffer.Data()),
                               int32_t(serverDataBuffer.Size()));
    serverDataBuffer.Reset();
    Setup(String(u"serverdata"), text);
}

// Picks the default server's package URL (item 5) and host pair (items 7 and 6) out of the list.
void Zelto3DLoader::ParseServerList(const String& text)
{
    ServerChoice choice;
    if (!ReadServerList(text, choice))
        return;
    if (!choice.packageUrl.IsEmpty())
        Setup(String(u"zoaurl"), choice.packageUrl);
    if (!choice.engineParam.IsEmpty())
        Setup(String(u"zoaparam"), choice.engineParam);
}

} // namespace Zelto
