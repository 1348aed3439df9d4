#include "tools/zoa-serve/ScriptedHttpServer.h"

#include <httplib.h>

#include <cstdio>

#include <algorithm>
#include <atomic>

namespace Zelto
{

namespace
{

constexpr int64_t BodyPiece = 16 * 1024; // bytes handed to the socket per provider call

// "bytes=a-b" or "bytes=a-" of a resource of `size` bytes; false for anything else or a range that starts
// beyond the end. The end is cut to the resource, as servers do.
bool ParseRange(const std::string& header, int64_t size, int64_t& first, int64_t& last)
{
    const std::string prefix = "bytes=";
    size_t dash = header.find('-');
    if (header.compare(0, prefix.size(), prefix) != 0 || dash == std::string::npos || dash == prefix.size())
        return false;
    std::string from = header.substr(prefix.size(), dash - prefix.size());
    std::string to = header.substr(dash + 1);
    auto digits = [](const std::string& text)
    { return text.find_first_not_of("0123456789") == std::string::npos && text.size() < 18; };
    if (!digits(from) || !digits(to))
        return false;
    first = int64_t(std::stoll(from));
    last = to.empty() ? size - 1 : std::min<int64_t>(std::stoll(to), size - 1);
    return first <= last;
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer(int port) : mServer(std::make_unique<httplib::Server>())
{
    // A client that keeps an idle connection open holds the shutdown up for this long at most.
    mServer->set_keep_alive_timeout(1);
    mServer->Get(".*", [this](const httplib::Request& in, httplib::Response& out) { Respond(in, out); });
    if (port == 0)
        mPort = mServer->bind_to_any_port("127.0.0.1");
    else
        mPort = mServer->bind_to_port("127.0.0.1", port) ? port : -1;
    if (mPort <= 0)
        return;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    mThread = std::thread(
        [this, ended]
        {
            mServer->listen_after_bind();
            *ended = true;
        });
    // stop() only works on a running server: wait until the accept loop has begun.
    while (!mServer->is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        mStopping = true;
    }
    mChanged.notify_all();
    mServer->stop();
    if (mThread.joinable())
        mThread.join();
}

std::string ScriptedHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(mPort) + path;
}

void ScriptedHttpServer::Serve(const std::string& path, std::string bytes, std::string contentType)
{
    char etag[32];
    std::snprintf(etag, sizeof etag, "\"%016llx\"", (unsigned long long)std::hash<std::string>()(bytes));
    auto resource =
        std::make_shared<const Resource>(Resource{std::move(bytes), std::move(contentType), etag});
    std::lock_guard<std::mutex> lock(mLock);
    mResources[path] = std::move(resource);
}

void ScriptedHttpServer::Script(const std::string& path, const Reply& reply, int times)
{
    if (times == 0)
        return;
    std::lock_guard<std::mutex> lock(mLock);
    mScripts[path].push_back({reply, times});
}

void ScriptedHttpServer::ReleaseStalls()
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        ++mReleases;
    }
    mChanged.notify_all();
}

std::vector<ScriptedHttpServer::Request> ScriptedHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mRequests;
}

bool ScriptedHttpServer::WaitFor(const std::function<bool(const std::vector<Request>&)>& done,
                                 std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> lock(mLock);
    return mChanged.wait_for(lock, limit, [&] { return done(mRequests); });
}

void ScriptedHttpServer::Respond(const httplib::Request& in, httplib::Response& out)
{
    // Ranges are answered below exactly as the tests expect; the library must not cut bodies again. The
    // request object is the library's own non-const local, so the cast is safe.
    const_cast<httplib::Request&>(in).ranges.clear();

    Request seen;
    seen.method = in.method;
    seen.path = in.path;
    seen.target = in.target;
    seen.range = in.get_header_value("Range");
    seen.host = in.get_header_value("Host");
    seen.cookie = in.get_header_value("Cookie");
    seen.userAgent = in.get_header_value("User-Agent");
    seen.headers.insert(in.headers.begin(), in.headers.end());

    size_t index = 0;
    Reply reply;
    std::shared_ptr<const Resource> resource;
    {
        std::lock_guard<std::mutex> lock(mLock);
        index = mRequests.size();
        mRequests.push_back(std::move(seen));
        reply = NextReply(in.path);
        auto found = mResources.find(in.path);
        if (found != mResources.end())
            resource = found->second;
    }
    mChanged.notify_all();

    if (reply.delayMs > 0 && !Pause(reply.delayMs))
        reply.status = 503;
    if (reply.status == 0 && resource == nullptr)
        reply.status = 404;
    if (reply.status == 0)
    {
        ServeResource(index, in, out, resource, reply);
        return;
    }

    out.status = reply.status;
    if (!reply.location.empty())
        out.set_header("Location", reply.location);
    std::string text = "status " + std::to_string(reply.status) + "\n";
    out.set_content(text, "text/plain");
    int64_t sent = in.method == "HEAD" ? 0 : int64_t(text.size());
    Record(index,
           [&](Request& request)
           {
               request.status = reply.status;
               request.bodySent = sent;
               request.body = Body::Complete;
           });
}

void ScriptedHttpServer::ServeResource(size_t index, const httplib::Request& in, httplib::Response& out,
                                       const std::shared_ptr<const Resource>& resource, Reply reply)
{
    const int64_t size = int64_t(resource->bytes.size());
    int64_t first = 0;
    int64_t last = size - 1;
    std::string range = reply.ignoreRange ? std::string() : in.get_header_value("Range");
    out.set_header("Accept-Ranges", "bytes");
    out.set_header("ETag", resource->etag);
    if (range.empty())
        out.status = 200;
    else if (ParseRange(range, size, first, last))
    {
        out.status = 206;
        out.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                            std::to_string(size));
    }
    else
    {
        out.status = 416;
        out.set_header("Content-Range", "bytes */" + std::to_string(size));
        first = 0;
        last = -1;
    }
    const int64_t length = last - first + 1;
    const int status = out.status;
    bool bodiless = length == 0 || in.method == "HEAD";
    Record(index,
           [&](Request& request)
           {
               request.status = status;
               if (bodiless)
                   request.body = Body::Complete;
           });
    if (length == 0)
    {
        out.set_content("", resource->contentType.c_str());
        return;
    }

    // The provider is called with the offset reached so far until the body is out or it returns false,
    // which closes the connection.
    const int64_t announced = reply.announceLength >= 0 ? reply.announceLength : length;
    out.set_content_provider(
        size_t(announced), resource->contentType.c_str(),
        [this, resource, index, first, length, reply](size_t offset, size_t, httplib::DataSink& sink) mutable
        {
            const int64_t sent = int64_t(offset);
            if ((reply.dropAfter >= 0 && sent >= reply.dropAfter) || sent >= length)
            {
                Record(index, [](Request& request) { request.body = Body::Dropped; });
                return false;
            }
            if (reply.stallAfter >= 0 && sent >= reply.stallAfter)
            {
                reply.stallAfter = -1;
                if (!Stall(index, [&sink] { return sink.is_writable(); }))
                    return false;
            }
            int64_t end = std::min(length, sent + BodyPiece);
            for (int64_t mark : {reply.dropAfter, reply.stallAfter})
                if (mark > sent)
                    end = std::min(end, mark);
            if (!sink.write(resource->bytes.data() + first + sent, size_t(end - sent)))
            {
                Record(index, [](Request& request) { request.body = Body::Lost; });
                return false;
            }
            Record(index,
                   [&](Request& request)
                   {
                       request.bodySent = end;
                       if (end == length)
                           request.body = Body::Complete;
                   });
            return true;
        });
}

ScriptedHttpServer::Reply ScriptedHttpServer::NextReply(const std::string& path)
{
    auto found = mScripts.find(path);
    if (found == mScripts.end() || found->second.empty())
        return Reply();
    Scripted& next = found->second.front();
    Reply reply = next.reply;
    if (next.times != Always && --next.times == 0)
        found->second.pop_front();
    return reply;
}

void ScriptedHttpServer::Record(size_t index, const std::function<void(Request&)>& change)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        change(mRequests[index]);
    }
    mChanged.notify_all();
}

bool ScriptedHttpServer::Pause(int milliseconds)
{
    std::unique_lock<std::mutex> lock(mLock);
    return !mChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return mStopping; });
}

bool ScriptedHttpServer::Stall(size_t index, const std::function<bool()>& clientAlive)
{
    std::unique_lock<std::mutex> lock(mLock);
    const uint64_t releases = mReleases;
    while (!mStopping && mReleases == releases)
    {
        lock.unlock();
        bool alive = clientAlive();
        lock.lock();
        if (!alive)
        {
            mRequests[index].body = Body::Lost;
            mChanged.notify_all();
            return false;
        }
        mChanged.wait_for(lock, std::chrono::milliseconds(10));
    }
    return !mStopping;
}

} // namespace Zelto
