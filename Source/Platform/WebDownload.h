// The web download service: HTTP transfers over libcurl into DataBuffers.
//
// A download runs either on a worker thread of its own (a blocking transfer, retried after a pause, resuming
// after the bytes already received, until it succeeds or the worker is stopped) or, on a handle made with a
// multi handle, inside PumpTransfers on the caller's thread. Progress goes to the caller's float, read with
// AtomicLoadFloat (Source/Platform/AtomicFloat.h): below 1.0 while running, exactly 1.0 on success, 0.0 on a
// failure that a retry will not mend by itself. The buffer belongs to the download until 1.0 has been read
// and the worker destroyed (worker mode) or PumpTransfers has returned 1 (multi mode).
//
// A worker's failed attempts back off (Common/Backoff.h); an attempt that brought bytes resets that. The
// first failure of a streak logs the transport's own reason (certificate not trusted, name mismatch, refused
// connection, time-out) or the HTTP status, with the URL; the streak's later failures do not.
//
// A download succeeds with a 2xx answer whose body arrived whole; a range whose every byte arrived is done
// even when the connection breaks afterwards. A ranged download accepts at most the
// range's size, a whole one at most MaxWholeDownload bytes; more fails the attempt. Redirects 301 to 303 are
// followed through the handle's redirect map, at most 8 targets per request URL; one more fails.
#pragma once

#include "Common/ByteSink.h"
#include "Common/DataBuffer.h"
#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

class Worker;
struct WebHandle; // a libcurl easy handle with its transfer context; made and freed only here

constexpr uint32_t MaxWholeDownload = 64u << 20; // bytes of a download without range end

// Null when libcurl cannot make a handle. With `useMulti` the handle runs its transfers in PumpTransfers.
WebHandle* CreateWebHandle(bool useMulti);
void DestroyWebHandle(WebHandle* handle); // also drops its unfinished multi transfers; null is ignored
// Appends a request header line ("Host: cdn.example") for every later transfer on the handle.
void AddHeader(WebHandle* handle, const char16_t* line);

// Starts fetching `url` into `buffer` (reset here; null: the body is dropped). `rangeStart` (-1: 0) and
// `rangeEnd` (one past the last byte, -1: to the end) choose the bytes. `handle` (null: a handle per
// attempt) carries the headers and the redirect map. Returns the worker running the download, which the
// caller stops and destroys; null when it could not start, and always for a multi handle.
Worker* StartDownload(float* progress, const char16_t* url, DataBuffer* buffer, int32_t rangeStart,
                      int32_t rangeEnd, WebHandle* handle, const char16_t* cookie);

// The same for a range whose bytes go to `sink` as they arrive, in order, from the thread running the
// transfer; the sink belongs to the download as the buffer does. A retry asks for the bytes after those the
// sink has taken. When the sink refuses bytes the download ends at once with progress 1.0: the sink knows
// whether its bytes are whole.
Worker* StartDownload(float* progress, const char16_t* url, ByteSink* sink, int32_t rangeStart,
                      int32_t rangeEnd, WebHandle* handle);

// The same transfer run on the calling worker's own thread: returns once the range has arrived, the sink
// refused bytes (progress 1.0 either way) or `worker` was told to stop; false only when it could not start.
// For work that does more around its download on one worker.
bool RunDownload(Worker* worker, float* progress, const char16_t* url, ByteSink* sink, int32_t rangeStart,
                 int32_t rangeEnd, WebHandle* handle);
// Moves the multi transfers on without blocking: 1 when the download has ended or nothing runs, 0 while one
// runs; 0 for a handle without multi handle.
int32_t PumpTransfers(WebHandle* handle);
// A fire-and-forget GET on a multi handle; its answer is dropped and PumpTransfers frees it. A request
// that has not ended within a bounded time is given up.
void PostRequest(WebHandle* handle, const char16_t* url);

// What a server announces of a remote file.
struct RemoteFile
{
    String contentType;
    int64_t contentLength = 0; // 0: not announced
    String validator;          // its ETag, else its Last-Modified date; empty when the server gives neither
};
// The content type, length and validator of a 2xx answer, read without fetching the body, within a bounded
// total time. Both are left untouched for any other answer.
void QueryRemoteFile(const char16_t* url, RemoteFile& answer);
// The same on a worker of its own, so that the caller's thread never waits on the network: `answer` may be
// read once `done` reads 1.0 and the worker has been destroyed. Null when the worker cannot start.
Worker* StartQuery(float* done, const char16_t* url, RemoteFile* answer);

// Every request names us with the build stamp: "Zelto3DLoader/<date>_<time>".
const char* WebUserAgent();
// Tests only: certificates are checked against the authorities in this PEM file instead of the system's (null
// or empty: the system's again). Handles made afterwards use it; verification itself is never turned off.
void UseTestCertificateAuthorities(const char* pemFile);

float DownloadSpeed(WebHandle* handle);             // kilobytes per second of the last transfer; 0 for null
String EndpointText(WebHandle* handle, bool local); // "address:port" of the last connection, else "NA"

} // namespace Zelto
