// One download attempt: the options of the transfer, the write and progress callbacks, redirects, and moving
// the received bytes into the caller's buffer.
#include "Source/Platform/WebTransfer.h"

#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/Worker.h"

#include <string>

namespace Zelto
{

namespace
{

constexpr float RunningCeiling = 0.9999f; // progress stays below 1.0 until the transfer has ended

int64_t FirstByte(const DownloadRequest* request)
{
    return request->rangeStart < 0 ? 0 : request->rangeStart;
}

bool IsWhole(const DownloadRequest* request)
{
    return request->rangeEnd < 0;
}

// What a request may hold in its buffer: its range's size, or MaxWholeDownload without range end.
uint64_t Capacity(const DownloadRequest* request)
{
    if (IsWhole(request))
        return MaxWholeDownload;
    int64_t size = int64_t(request->rangeEnd) - FirstByte(request);
    return size > 0 ? uint64_t(size) : 0;
}

// Bytes of the body held so far: in the buffer, or given to the sink.
uint64_t Held(const DownloadRequest* request)
{
    if (request->sink != nullptr)
        return uint64_t(request->taken);
    return request->buffer != nullptr ? request->buffer->Size() : 0;
}

// Each block goes straight into the caller's buffer, which a ranged download sizes for its whole range at
// once, or to the caller's sink: one copy of each byte and no regrowing. Only a 2xx answer carries the wanted
// bytes; an error page's or a redirect's body is dropped.
size_t KeepBlock(char* data, size_t size, size_t count, void* user)
{
    auto* request = static_cast<DownloadRequest*>(user);
    size_t bytes = size * count;
    DataBuffer* buffer = request->buffer;
    if ((buffer == nullptr && request->sink == nullptr) || bytes == 0 ||
        !IsSuccess(ResponseCode(request->easy)))
        return bytes;
    if (Held(request) + uint64_t(bytes) > Capacity(request))
    {
        request->overflow = true;
        return 0; // libcurl ends the transfer with a write error
    }
    if (request->sink != nullptr)
    {
        if (!request->sink->Take(reinterpret_cast<const uint8_t*>(data), uint32_t(bytes)))
        {
            request->refused = true;
            return 0;
        }
        request->taken += int32_t(bytes);
        return bytes;
    }
    if ((!IsWhole(request) && !buffer->Reserve(uint32_t(Capacity(request)))) ||
        !buffer->Append(data, uint32_t(bytes)))
        return 0; // a lost block would corrupt the body: give the attempt up instead
    return bytes;
}

int ReportProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
{
    auto* request = static_cast<DownloadRequest*>(user);
    // An error page's bytes are no progress of the download.
    if (total != 0 && IsSuccess(ResponseCode(request->easy)))
    {
        double received = request->received;
        double share = (received + double(now)) / (double(total) + received);
        PublishProgress(request, share < RunningCeiling ? float(share) : RunningCeiling);
    }
    PublishSpeed(request->easy);
    Worker* worker = request->worker;
    if (worker != nullptr && worker->StopRequested())
    {
        PrintTrace(u"[WS] Web download aborted at thread %d", int(worker->ThreadId()));
        return AbortTransfer;
    }
    return 0;
}

// The attempt's bytes become part of the body, or, when the attempt cannot count, are taken back out. A sink
// cannot give bytes back: what it took counts, and a retry asks for what follows.
bool KeepAttempt(DownloadRequest* request, bool keep)
{
    if (request->sink != nullptr)
    {
        request->received = request->taken;
        return keep;
    }
    DataBuffer* buffer = request->buffer;
    if (buffer == nullptr)
        return keep;
    if (keep)
        request->received = int32_t(buffer->Size());
    else
        buffer->Resize(uint32_t(request->received));
    return keep;
}

// Once per failure streak: why the transfer failed, in libcurl's words when it has them.
void LogFailure(DownloadRequest* request, CURLcode result, long code, bool overflow)
{
    // A transfer ended by its worker's stop did not fail.
    if (request->failing || (request->worker != nullptr && request->worker->StopRequested()))
        return;
    request->failing = true;
    String reason;
    if (overflow)
        reason = u"the answer brought more bytes than were asked for";
    else if (result != CURLE_OK)
    {
        const char* text = ContextOf(HandleOf(request->easy))->errorText;
        reason = Utf8ToString(*text != 0 ? text : curl_easy_strerror(result));
    }
    else
        reason = Format(u"HTTP status %d", int(code));
    LogError(u"[WS] Download failed: %ls: %ls", request->url.Text(), reason.Text());
}

void SetUpAttempt(TransferContext* context, CURL* easy, DownloadRequest* request)
{
    request->easy = easy;
    HandOverHeaders(context, easy);
    curl_easy_setopt(easy, CURLOPT_URL, ToWire(RedirectedUrl(context, request->url).Text()).text);
    // The cookie and the range are set on every attempt, also when unused: a handle that serves several
    // downloads must not carry them over from the previous one.
    WireText cookie = ToWire(request->cookie.Text());
    curl_easy_setopt(easy, CURLOPT_COOKIE, cookie.text[0] != 0 ? cookie.text : nullptr);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, request);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, KeepBlock);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 10L);
    bool watched = request->progress != nullptr || request->worker != nullptr;
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, watched ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, request);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, ReportProgress);

    // A retry asks only for what the earlier attempts did not bring.
    int64_t start = FirstByte(request) + request->received;
    std::string range;
    if (!IsWhole(request) && start < request->rangeEnd)
        range = std::to_string(start) + "-" + std::to_string(int64_t(request->rangeEnd) - 1);
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, curl_off_t(IsWhole(request) ? start : 0));
    curl_easy_setopt(easy, CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
}

// Multi mode: the transfer starts over inside the multi handle and PumpTransfers carries it on. A handle
// runs one download at a time, so a new one replaces the one before.
bool QueueTransfer(TransferContext* context, CURL* easy, DownloadRequest* request)
{
    if (context->current != request)
    {
        FreeRequest(context->current);
        context->current = nullptr;
    }
    curl_multi_remove_handle(context->multi, easy);
    if (curl_multi_add_handle(context->multi, easy) != CURLM_OK)
        return false;
    context->current = request;
    return true;
}

} // namespace

void PublishProgress(DownloadRequest* request, float value)
{
    if (request->progress != nullptr)
        AtomicStoreFloat(request->progress, value);
}

bool PerformDownload(DownloadRequest* request)
{
    WebHandle* handle = request->handle != nullptr ? request->handle : CreateWebHandle(false);
    if (handle == nullptr)
        return false;
    CURL* easy = EasyOf(handle);
    TransferContext* context = ContextOf(handle);
    CURLcode result;
    long code;
    do
    {
        SetUpAttempt(context, easy, request);
        if (context->multi != nullptr)
            return QueueTransfer(context, easy, request);
        result = PerformUntilStopped(easy, request->worker);
        code = ResponseCode(easy);
    } while (result == CURLE_OK && IsRedirect(code) && FollowRedirect(context, request, easy));

    bool succeeded = FinishAttempt(request, result, code, true);
    if (request->handle != handle) // made for this attempt and not kept by a redirect
    {
        PrintTrace(u"[WS] Web download finish : %ls <-> %ls (%d)", EndpointText(handle, true).Text(),
                   EndpointText(handle, false).Text(), int(code));
        DestroyWebHandle(handle);
    }
    return succeeded;
}

// The easy handle runs in a multi handle of its context's, whose wait wakes every StopPollMs to look at the
// stop; the multi handle stays with the context and keeps its connections for the next transfer.
CURLcode PerformUntilStopped(CURL* easy, Worker* worker)
{
    if (worker == nullptr)
        return curl_easy_perform(easy);
    TransferContext* context = ContextOf(HandleOf(easy));
    if (context->waiter == nullptr)
        context->waiter = curl_multi_init();
    if (context->waiter == nullptr || curl_multi_add_handle(context->waiter, easy) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (running != 0 && !worker->StopRequested())
    {
        if (curl_multi_perform(context->waiter, &running) != CURLM_OK)
        {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (running != 0)
            curl_multi_poll(context->waiter, nullptr, 0, StopPollMs, nullptr);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(context->waiter, &queued))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            result = message->data.result;
    curl_multi_remove_handle(context->waiter, easy);
    return result;
}

bool FollowRedirect(TransferContext* context, DownloadRequest* request, CURL* easy)
{
    char* target = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &target);
    char16_t wide[WireTextBytes];
    if (target == nullptr || *target == 0 || Utf8ToWide(wide, WireTextBytes, target) == nullptr ||
        !RecordRedirect(context, request->url, String(wide)))
        return false;
    request->overflow = false;
    // A redirect's body is dropped, so a sink has only what earlier answers brought: the target is asked for
    // what follows. A buffer starts over.
    if (request->buffer != nullptr)
        request->buffer->Reset();
    if (request->sink == nullptr)
        request->received = 0;
    // The following attempts go through this handle and its redirect map.
    WebHandle* handle = HandleOf(easy);
    if (request->handle != handle)
    {
        request->handle = handle;
        request->ownsHandle = true;
    }
    return true;
}

void PublishSpeed(CURL* easy)
{
    curl_off_t speed = 0;
    if (curl_easy_getinfo(easy, CURLINFO_SPEED_DOWNLOAD_T, &speed) == CURLE_OK)
        AtomicStoreFloat(&ContextOf(HandleOf(easy))->speed, float(double(speed) * 0.001));
}

bool FinishAttempt(DownloadRequest* request, CURLcode result, long code, bool retried)
{
    // Only a 2xx answer carries the wanted bytes; an error page or an unfollowed redirect must not become
    // part of the body that the next attempt resumes.
    PublishSpeed(request->easy);
    if (request->refused)
    {
        // The sink has its verdict and wants no more: no retry.
        PublishProgress(request, 1.0f);
        return true;
    }
    bool overflow = request->overflow;
    request->overflow = false;
    bool kept = KeepAttempt(request, !overflow && IsSuccess(code));
    // A connection that breaks after the last wanted byte still delivered the whole range; a retry would
    // have nothing left to ask for.
    bool answered =
        result == CURLE_OK || (kept && !IsWhole(request) && uint64_t(request->received) == Capacity(request));
    bool succeeded = answered && kept;
    if (!succeeded)
        LogFailure(request, result, code, overflow);
    else
        request->failing = false;
    if (succeeded)
        PublishProgress(request, 1.0f);
    else if (answered || overflow || !retried)
        PublishProgress(request, 0.0f);
    return succeeded;
}

void FreeRequest(DownloadRequest* request)
{
    if (request == nullptr)
        return;
    if (request->ownsHandle)
        DestroyWebHandle(request->handle);
    delete request;
}

} // namespace Zelto
