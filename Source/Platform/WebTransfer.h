// Inside the web download service: the records behind a web handle and a download, and the steps shared by
// the worker job and the multi pump. Only the service's own files include this.
#pragma once

#include "Common/Array.h"
#include "Common/ByteSink.h"
#include "Common/DataBuffer.h"
#include "Common/Link.h"
#include "Common/String.h"
#include "Source/Platform/WebDownload.h"

#include <curl/curl.h>

#include <cstdint>

namespace Zelto
{

constexpr uint32_t WireTextBytes = 1024; // URLs, header lines and cookies: at most 1023 UTF-8 bytes
constexpr uint32_t MaxRedirectTargets = 8;
constexpr int AbortTransfer = 42; // what a progress callback returns to make libcurl give up

struct DownloadRequest;

// The redirects seen for one request URL, in the order they were followed.
struct RedirectEntry : LinkNode<RedirectEntry>
{
    String url;
    Array<String> targets;
};

// What a web handle keeps beside its easy handle.
struct TransferContext
{
    Link<RedirectEntry> redirects;
    curl_slist* headers = nullptr;
    int32_t headersSet = 0;               // 1 once `headers` was given to the easy handle
    CURLM* multi = nullptr;               // null for a handle without multi handle
    CURLM* waiter = nullptr;              // where a worker's blocking transfer runs (PerformUntilStopped)
    DownloadRequest* current = nullptr;   // the download added to `multi`
    Array<CURL*> posts;                   // PostRequest handles still in `multi`; null once freed
    float speed = 0.0f;                   // kB/s of the last transfer, published by the thread running it
    char errorText[CURL_ERROR_SIZE] = {}; // libcurl's reason for the last failed transfer
};

// One download, owned by the worker job or, in multi mode, by the handle's `current`.
struct DownloadRequest
{
    String url;
    DataBuffer* buffer = nullptr;
    ByteSink* sink = nullptr; // takes the body instead of `buffer`
    String cookie;
    Worker* worker = nullptr;
    float* progress = nullptr;
    int32_t received = 0; // bytes already in `buffer` (or given to `sink`) from earlier attempts
    int32_t taken = 0;    // bytes given to `sink` in all
    int32_t rangeStart = -1;
    int32_t rangeEnd = -1;
    WebHandle* handle = nullptr;
    bool ownsHandle = false; // a handle made for an attempt and kept for a redirect
    CURL* easy = nullptr;    // the handle of the running attempt
    bool overflow = false;   // the attempt delivered more than the request may hold
    bool refused = false;    // the sink refused a block: the download is over
    bool failing = false;    // the last attempt failed: its reason was logged, the streak's next are not
};

// The UTF-8 form of a text, cut to what fits.
struct WireText
{
    char text[WireTextBytes];
};
WireText ToWire(const char16_t* text);

// The easy handle's private pointer designates its WebHandle. The context is reached without asking libcurl,
// so the host thread can read it (the speed) while a worker runs a transfer on the easy handle.
struct WebHandle
{
    CURL* easy = nullptr;
    TransferContext context;
};

inline CURL* EasyOf(WebHandle* handle)
{
    return handle->easy;
}
inline TransferContext* ContextOf(WebHandle* handle)
{
    return &handle->context;
}
WebHandle* HandleOf(CURL* easy); // only on the thread that runs the easy handle's transfer

inline bool IsRedirect(long code) // the codes the redirect map follows
{
    return code >= 301 && code <= 303;
}
inline bool IsSuccess(long code)
{
    return code >= 200 && code <= 299;
}
long ResponseCode(CURL* easy);

void HandOverHeaders(TransferContext* context, CURL* easy); // once per handle
void ApplyTestAuthorities(CURL* easy);                      // the tests' trust anchors, when they set any
const String& RedirectedUrl(const TransferContext* context, const String& url); // the last target, or url
bool RecordRedirect(TransferContext* context, const String& url, const String& target);

bool PerformDownload(DownloadRequest* request); // one attempt; in multi mode it only queues the transfer
// Runs the transfer on `easy` to its end, or until `worker` (null: none) is told to stop, which it notices
// within StopPollMs even while the server sends nothing (libcurl's own blocking call looks about once a
// second). On the thread that runs the transfer; a stop gives CURLE_ABORTED_BY_CALLBACK.
constexpr long StopPollMs = 20;
CURLcode PerformUntilStopped(CURL* easy, Worker* worker);
bool FollowRedirect(TransferContext* context, DownloadRequest* request, CURL* easy);
// Moves the attempt's bytes into the buffer and publishes the outcome: 1.0 on success, 0.0 on a failure.
// With `retried` a transfer error is left to the retry and keeps the last progress. True on success.
bool FinishAttempt(DownloadRequest* request, CURLcode result, long code, bool retried);
void PublishProgress(DownloadRequest* request, float value);
// The transfer's average speed so far, for DownloadSpeed: read on the thread that runs the transfer, since a
// handle must not be asked from two threads at once.
void PublishSpeed(CURL* easy);
void FreeRequest(DownloadRequest* request);

} // namespace Zelto
