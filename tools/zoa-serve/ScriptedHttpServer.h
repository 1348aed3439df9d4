// An HTTP/1.1 server on 127.0.0.1 (own thread) for zoa-serve and the download tests, in the manner of curl's
// test server: it serves in-memory resources with their length, byte ranges (206 with Content-Range)
// and HEAD, an ETag that changes with the bytes, follows per-path scripts (redirect, status, delay, stall
// mid-body, drop after N body bytes), and records every request it saw. Started by the constructor, stopped
// by the destructor; a stalled or delayed answer never holds the shutdown up. All members are safe to call
// from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib
{
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace Zelto
{

class ScriptedHttpServer
{
public:
    // One answer of a script. With `status` 0 the resource is served (200, or 206 for a range).
    struct Reply
    {
        int status = 0;              // any other status is answered with a short text body
        std::string location;        // the Location header of a redirect status
        int delayMs = 0;             // wait before answering
        int64_t dropAfter = -1;      // close the connection after this many body bytes
        int64_t stallAfter = -1;     // send nothing more after this many body bytes until ReleaseStalls()
        bool ignoreRange = false;    // serve the whole resource with 200 even when asked for a range
        int64_t announceLength = -1; // announce this body length instead (the body ends with the resource)
    };

    // How the body of an answer ended.
    enum class Body
    {
        Sending,  // still going (or stalled)
        Complete, // every byte was written
        Dropped,  // the script closed the connection
        Lost,     // the client went away first
    };

    struct Request
    {
        std::string method;
        std::string path;   // without the query
        std::string target; // as sent: path and query
        std::string range;  // the Range header, empty without one
        std::string host;
        std::string cookie;
        std::string userAgent;
        std::multimap<std::string, std::string> headers; // every header, names as sent
        int status = 0;                                  // what the server answered
        int64_t bodySent = 0;                            // body bytes written so far
        Body body = Body::Sending;
    };

    static constexpr int Always = -1;

    explicit ScriptedHttpServer(int port = 0); // 0: an ephemeral port
    bool IsListening() const { return mPort > 0; }
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::string Url(const std::string& path) const; // "http://127.0.0.1:<port><path>"

    void Serve(const std::string& path, std::string bytes,
               std::string contentType = "application/octet-stream");
    // The next `times` requests for `path` get `reply` (Always: every one), after earlier scripts ran out.
    void Script(const std::string& path, const Reply& reply, int times = Always);
    void ReleaseStalls(); // stalled answers go on; later stalls stall again

    std::vector<Request> Requests() const;
    // Waits until `done` holds for the recorded requests or `limit` passes; the result of the last check.
    bool WaitFor(const std::function<bool(const std::vector<Request>&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    struct Resource
    {
        std::string bytes;
        std::string contentType;
        std::string etag; // a quoted hash of the bytes: a changed resource has another
    };
    struct Scripted
    {
        Reply reply;
        int times;
    };

    void Respond(const httplib::Request& in, httplib::Response& out);
    void ServeResource(size_t index, const httplib::Request& in, httplib::Response& out,
                       const std::shared_ptr<const Resource>& resource, Reply reply);
    Reply NextReply(const std::string& path); // under mLock
    void Record(size_t index, const std::function<void(Request&)>& change);
    bool Pause(int milliseconds); // false when the server stops first
    // Holds a body until ReleaseStalls(); false when the client goes away or the server stops first.
    bool Stall(size_t index, const std::function<bool()>& clientAlive);

    std::unique_ptr<httplib::Server> mServer;
    std::thread mThread;
    int mPort = 0;

    mutable std::mutex mLock;
    mutable std::condition_variable mChanged;
    std::map<std::string, std::shared_ptr<const Resource>> mResources;
    std::map<std::string, std::deque<Scripted>> mScripts;
    std::vector<Request> mRequests;
    uint64_t mReleases = 0; // counts ReleaseStalls() calls
    bool mStopping = false;
};

} // namespace Zelto
