// Web handles: the easy handle with its header list, redirect map and optional multi handle.
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/WebTransfer.h"

#include <mutex>
#include <new>
#include <string>

namespace Zelto
{

namespace
{

// libcurl's global state, made once before the first handle by whichever thread gets here first.
bool LibraryReady()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// The trust anchors that replace the system's, for tests only; empty: the system's.
struct CertificateAuthorities
{
    std::mutex lock;
    std::string file;
};

CertificateAuthorities& TestAuthorities()
{
    static CertificateAuthorities authorities;
    return authorities;
}

// "Accept: */*" and "Connection: Keep-Alive", in that order; null when out of memory.
curl_slist* DefaultHeaders()
{
    curl_slist* first = curl_slist_append(nullptr, "Accept: */*");
    curl_slist* both = first != nullptr ? curl_slist_append(first, "Connection: Keep-Alive") : nullptr;
    if (both == nullptr)
        curl_slist_free_all(first);
    return both;
}

void FreeHandle(WebHandle* handle)
{
    TransferContext* context = ContextOf(handle);
    curl_slist_free_all(context->headers);
    for (RedirectEntry* entry = context->redirects.head; entry != nullptr;)
    {
        RedirectEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    curl_easy_cleanup(handle->easy);
    delete handle;
}

} // namespace

WireText ToWire(const char16_t* text)
{
    WireText wire;
    wire.text[0] = 0;
    if (text != nullptr)
        WideToUtf8(wire.text, WireTextBytes, text);
    return wire;
}

WebHandle* HandleOf(CURL* easy)
{
    char* handle = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &handle);
    return reinterpret_cast<WebHandle*>(handle);
}

long ResponseCode(CURL* easy)
{
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

WebHandle* CreateWebHandle(bool useMulti)
{
    if (!LibraryReady())
        return nullptr;
    auto* handle = new (std::nothrow) WebHandle;
    if (handle == nullptr)
        return nullptr;
    TransferContext* context = ContextOf(handle);
    context->headers = DefaultHeaders();
    handle->easy = context->headers != nullptr ? curl_easy_init() : nullptr;
    if (handle->easy != nullptr && useMulti)
        context->multi = curl_multi_init();
    if (handle->easy == nullptr || (useMulti && context->multi == nullptr))
    {
        FreeHandle(handle);
        return nullptr;
    }
    // libcurl counts this time-out in seconds; 5 s is what the loader means by 5000.
    curl_easy_setopt(handle->easy, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    curl_easy_setopt(handle->easy, CURLOPT_USERAGENT, WebUserAgent());
    curl_easy_setopt(handle->easy, CURLOPT_PRIVATE, handle);
    // libcurl writes why a transfer failed here (certificate, host name, connection), cleared per transfer.
    curl_easy_setopt(handle->easy, CURLOPT_ERRORBUFFER, context->errorText);
    ApplyTestAuthorities(handle->easy);
    return handle;
}

const char* WebUserAgent()
{
    // The build stamp of the download service, blanks as '_': "Zelto3DLoader/Dec_11_2026_08:30:00".
    static const std::string agent = []
    {
        std::string text = std::string("Zelto3DLoader/") + __DATE__ + "_" + __TIME__;
        for (char& unit : text)
            unit = unit == ' ' ? '_' : unit;
        return text;
    }();
    return agent.c_str();
}

void UseTestCertificateAuthorities(const char* pemFile)
{
    CertificateAuthorities& authorities = TestAuthorities();
    std::lock_guard<std::mutex> hold(authorities.lock);
    authorities.file = pemFile != nullptr ? pemFile : "";
}

void ApplyTestAuthorities(CURL* easy)
{
    CertificateAuthorities& authorities = TestAuthorities();
    std::lock_guard<std::mutex> hold(authorities.lock);
    if (!authorities.file.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, authorities.file.c_str());
}

void DestroyWebHandle(WebHandle* handle)
{
    if (handle == nullptr)
        return;
    CURL* easy = EasyOf(handle);
    TransferContext* context = ContextOf(handle);
    if (context->multi != nullptr)
    {
        curl_multi_remove_handle(context->multi, easy);
        for (CURL* post : context->posts)
        {
            if (post == nullptr)
                continue;
            curl_multi_remove_handle(context->multi, post);
            curl_easy_cleanup(post);
        }
        curl_multi_cleanup(context->multi);
    }
    if (context->waiter != nullptr)
        curl_multi_cleanup(context->waiter);
    FreeRequest(context->current);
    FreeHandle(handle);
}

void AddHeader(WebHandle* handle, const char16_t* line)
{
    if (handle == nullptr || line == nullptr || *line == 0)
        return;
    TransferContext* context = ContextOf(handle);
    // The list never starts empty, so appending keeps its head: a handle that already has it sees the line.
    curl_slist* headers = curl_slist_append(context->headers, ToWire(line).text);
    if (headers != nullptr)
        context->headers = headers;
}

void HandOverHeaders(TransferContext* context, CURL* easy)
{
    if (context->headersSet != 0)
        return;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, context->headers);
    context->headersSet = 1;
}

const String& RedirectedUrl(const TransferContext* context, const String& url)
{
    for (const RedirectEntry* entry = context->redirects.head; entry != nullptr; entry = entry->next)
        if (entry->url.Equals(url.Text()))
            return entry->targets[int32_t(entry->targets.Length() - 1)]; // an entry never lacks a target
    return url;
}

bool RecordRedirect(TransferContext* context, const String& url, const String& target)
{
    for (RedirectEntry* entry = context->redirects.head; entry != nullptr; entry = entry->next)
        if (entry->url.Equals(url.Text()))
            return entry->targets.Length() < MaxRedirectTargets && entry->targets.Add(target) >= 0;
    auto* entry = new (std::nothrow) RedirectEntry;
    if (entry == nullptr)
        return false;
    entry->url = url;
    if (entry->targets.Add(target) < 0)
    {
        delete entry;
        return false;
    }
    context->redirects.Append(entry);
    return true;
}

float DownloadSpeed(WebHandle* handle)
{
    return handle == nullptr ? 0.0f : AtomicLoadFloat(&ContextOf(handle)->speed);
}

String EndpointText(WebHandle* handle, bool local)
{
    char* address = nullptr;
    long port = 0;
    if (handle != nullptr)
    {
        curl_easy_getinfo(EasyOf(handle), local ? CURLINFO_LOCAL_IP : CURLINFO_PRIMARY_IP, &address);
        curl_easy_getinfo(EasyOf(handle), local ? CURLINFO_LOCAL_PORT : CURLINFO_PRIMARY_PORT, &port);
    }
    if (address == nullptr || *address == 0)
        return String(u"NA");
    return Format(u"%ls:%d", Utf8ToString(address).Text(), int(port));
}

} // namespace Zelto
