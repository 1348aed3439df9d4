// The transfers the service offers: downloads on a worker or a multi handle, fire-and-forget requests, and
// the size and type probe.
#include "Source/Platform/WebDownload.h"

#include "Common/Backoff.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/System.h"
#include "Source/Platform/WebTransfer.h"
#include "Source/Platform/Worker.h"

#include <new>

namespace Zelto
{

namespace
{

// The longest a report or a length probe may take in all: neither may pile up or hold the loader.
constexpr long ReportTimeoutMs = 10000;
constexpr long ProbeTimeoutMs = 10000;

// The worker's only job: attempt until one succeeds or the worker is told to stop, then free the request.
// Failures back off; an attempt that brought bytes counts as a success of the server.
int32_t DownloadJob(Worker* worker, void* userData, int32_t)
{
    auto* request = static_cast<DownloadRequest*>(userData);
    request->worker = worker;
    Backoff backoff;
    while (!worker->StopRequested())
    {
        int32_t before = request->received;
        if (PerformDownload(request))
            break;
        if (request->received > before)
            backoff.Reset();
        if (!worker->WaitUnlessStopped(backoff.Fail(MillisecondClock())))
            break;
    }
    FreeRequest(request);
    return 0;
}

// A length probe on a worker: the caller reads `answer` once `done` reads 1.0 and the worker is destroyed.
struct QueryJobData
{
    String url;
    RemoteFile* answer;
    float* done;
};

size_t DropBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// The probe needs only the answer's headers: the first body block ends it, also when no length is announced
// (a chunked answer would otherwise be read whole on the caller's thread).
size_t StopAtBody(char*, size_t, size_t, void*)
{
    return 0;
}

// The probe needs only the announced length: give up as soon as libcurl knows it, or when the worker running
// the probe is told to stop.
int StopOnceSized(void* user, curl_off_t total, curl_off_t, curl_off_t, curl_off_t)
{
    auto* worker = static_cast<Worker*>(user);
    return total != 0 || (worker != nullptr && worker->StopRequested()) ? AbortTransfer : 0;
}

void Probe(const char16_t* url, RemoteFile& answer, Worker* worker)
{
    WebHandle* handle = CreateWebHandle(false);
    if (handle == nullptr)
        return;
    CURL* easy = EasyOf(handle);
    HandOverHeaders(ContextOf(handle), easy);
    // A fresh handle has no redirects recorded: the URL goes out as given.
    curl_easy_setopt(easy, CURLOPT_URL, ToWire(url).text);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, StopAtBody);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, StopOnceSized);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, worker);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 10L);
    // A server that trickles its headers would otherwise keep the probe for as long as it likes.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, ProbeTimeoutMs);
    PerformUntilStopped(easy, worker); // ends early by the abort once the length is known

    if (IsSuccess(ResponseCode(easy)))
    {
        char* type = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type);
        char16_t wide[WireTextBytes];
        if (type != nullptr && Utf8ToWide(wide, WireTextBytes, type) != nullptr)
            answer.contentType.Assign(wide);
        // libcurl reports -1 for a length that was not announced; 0 means unknown here.
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        answer.contentLength = length > 0 ? int64_t(length) : 0;
        // The ETag names this version of the file; without one its modification time does.
        curl_header* validator = nullptr;
        if (curl_easy_header(easy, "ETag", 0, CURLH_HEADER, -1, &validator) == CURLHE_OK ||
            curl_easy_header(easy, "Last-Modified", 0, CURLH_HEADER, -1, &validator) == CURLHE_OK)
            if (Utf8ToWide(wide, WireTextBytes, validator->value) != nullptr)
                answer.validator.Assign(wide);
    }
    DestroyWebHandle(handle);
}

int32_t QueryJob(Worker* worker, void* userData, int32_t)
{
    auto* job = static_cast<QueryJobData*>(userData);
    Probe(job->url.Text(), *job->answer, worker);
    AtomicStoreFloat(job->done, 1.0f);
    delete job;
    return 0;
}

void ReleasePost(TransferContext* context, CURL* easy)
{
    for (CURL*& post : context->posts)
        if (post == easy)
            post = nullptr;
    curl_multi_remove_handle(context->multi, easy);
    curl_easy_cleanup(easy);
}

} // namespace

namespace
{

// Runs a request made by StartDownload: on the handle's multi handle, or on a worker of its own.
Worker* Launch(DownloadRequest* request)
{
    WebHandle* handle = request->handle;
    if (handle != nullptr && ContextOf(handle)->multi != nullptr)
    {
        if (!PerformDownload(request))
        {
            PublishProgress(request, 0.0f);
            FreeRequest(request);
        }
        return nullptr;
    }
    Worker* worker = Worker::Create(DownloadJob, request);
    if (worker == nullptr)
        FreeRequest(request);
    return worker;
}

DownloadRequest* MakeRequest(float* progress, const char16_t* url, int32_t rangeStart, int32_t rangeEnd,
                             WebHandle* handle)
{
    auto* request = new (std::nothrow) DownloadRequest;
    if (request == nullptr)
        return nullptr;
    request->url.Assign(url);
    request->progress = progress;
    request->rangeStart = rangeStart;
    request->rangeEnd = rangeEnd;
    request->handle = handle;
    return request;
}

} // namespace

Worker* StartDownload(float* progress, const char16_t* url, DataBuffer* buffer, int32_t rangeStart,
                      int32_t rangeEnd, WebHandle* handle, const char16_t* cookie)
{
    DownloadRequest* request = MakeRequest(progress, url, rangeStart, rangeEnd, handle);
    if (request == nullptr)
        return nullptr;
    request->buffer = buffer;
    request->cookie.Assign(cookie);
    if (buffer != nullptr)
        buffer->Reset();
    return Launch(request);
}

Worker* StartDownload(float* progress, const char16_t* url, ByteSink* sink, int32_t rangeStart,
                      int32_t rangeEnd, WebHandle* handle)
{
    DownloadRequest* request = MakeRequest(progress, url, rangeStart, rangeEnd, handle);
    if (request == nullptr)
        return nullptr;
    request->sink = sink;
    return Launch(request);
}

bool RunDownload(Worker* worker, float* progress, const char16_t* url, ByteSink* sink, int32_t rangeStart,
                 int32_t rangeEnd, WebHandle* handle)
{
    DownloadRequest* request = MakeRequest(progress, url, rangeStart, rangeEnd, handle);
    if (request == nullptr)
        return false;
    request->sink = sink;
    DownloadJob(worker, request, 0); // frees the request
    return true;
}

int32_t PumpTransfers(WebHandle* handle)
{
    TransferContext* context = handle != nullptr ? ContextOf(handle) : nullptr;
    if (context == nullptr || context->multi == nullptr)
        return 0;
    int running = 0;
    curl_multi_perform(context->multi, &running);

    CURL* easy = EasyOf(handle);
    bool ended = false;
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(context->multi, &queued))
    {
        if (message->msg != CURLMSG_DONE)
            continue;
        if (message->easy_handle == easy)
        {
            ended = true;
            result = message->data.result;
        }
        else
            ReleasePost(context, message->easy_handle);
    }
    if (running == 0)
        context->posts.Clear(); // every post has ended and was released above

    DownloadRequest* request = context->current;
    if (request == nullptr)
        return running == 0 ? 1 : 0;
    if (!ended)
        return 0;
    long code = ResponseCode(easy);
    if (result == CURLE_OK && IsRedirect(code) && FollowRedirect(context, request, easy) &&
        PerformDownload(request))
        return 0;
    FinishAttempt(request, result, code, false);
    context->current = nullptr;
    FreeRequest(request);
    return 1;
}

void PostRequest(WebHandle* handle, const char16_t* url)
{
    TransferContext* context = handle != nullptr ? ContextOf(handle) : nullptr;
    if (context == nullptr || context->multi == nullptr)
        return;
    CURL* easy = curl_easy_init();
    if (easy == nullptr)
        return;
    curl_easy_setopt(easy, CURLOPT_URL, ToWire(url).text);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, WebUserAgent());
    ApplyTestAuthorities(easy);
    // The answer is of no interest; without this libcurl would print it to the host's standard output.
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DropBody);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, ReportTimeoutMs);
    if (context->posts.Add(easy) < 0)
    {
        curl_easy_cleanup(easy);
        return;
    }
    if (curl_multi_add_handle(context->multi, easy) != CURLM_OK)
        ReleasePost(context, easy);
}

void QueryRemoteFile(const char16_t* url, RemoteFile& answer)
{
    Probe(url, answer, nullptr);
}

Worker* StartQuery(float* done, const char16_t* url, RemoteFile* answer)
{
    auto* job = new (std::nothrow) QueryJobData{String(url), answer, done};
    if (job == nullptr)
        return nullptr;
    AtomicStoreFloat(done, 0.0f);
    Worker* worker = Worker::Create(QueryJob, job);
    if (worker == nullptr)
        delete job;
    return worker;
}

} // namespace Zelto
