// What the HTTPS download tests of both platforms share: the error channel recorded from any thread, the test
// CA put in force for a scope, and one case run: a download that succeeds with the body, or fails and logs
// its reason once.
#pragma once

#include "Common/DataBuffer.h"
#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/WebDownload.h"
#include "Source/Platform/Worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Zelto
{

// The error channel's lines, written from the download threads.
class ErrorLines
{
public:
    ErrorLines() : saved(ErrorSink()) { ErrorSink() = LogSink{Record, this}; }
    ~ErrorLines() { ErrorSink() = saved; }

    // How many lines contain `part`.
    size_t Count(const std::string& part)
    {
        std::lock_guard<std::mutex> hold(lock);
        size_t count = 0;
        for (const std::string& line : lines)
            count += line.find(part) != std::string::npos ? 1 : 0;
        return count;
    }
    std::string All()
    {
        std::lock_guard<std::mutex> hold(lock);
        std::string all;
        for (const std::string& line : lines)
            all += line + "\n";
        return all;
    }

private:
    // A printed line is two calls: its time stamp, then its text with the line break.
    static int Record(const char16_t* text, void* context, int lineBreak)
    {
        auto* self = static_cast<ErrorLines*>(context);
        std::lock_guard<std::mutex> hold(self->lock);
        if (lineBreak != 0)
            self->lines.push_back(StringToUtf8(text));
        return 0;
    }

    LogSink saved;
    std::mutex lock;
    std::vector<std::string> lines;
};

inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::seconds limit = std::chrono::seconds(10))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

struct WorkerStop
{
    void operator()(Worker* worker) const
    {
        if (worker != nullptr)
            worker->Destroy();
    }
};
using WorkerPtr = std::unique_ptr<Worker, WorkerStop>;

inline std::u16string Wide(const std::string& text)
{
    String wide = Utf8ToString(text.c_str());
    return std::u16string(wide.Text(), wide.Length());
}

// The test CA stays in force only while this lives.
struct TrustedTestCa
{
    explicit TrustedTestCa(const std::string& file) { UseTestCertificateAuthorities(file.c_str()); }
    ~TrustedTestCa() { UseTestCertificateAuthorities(nullptr); }
};

// Downloads `url` whole on a worker: with `reason` null it must bring `body` and log nothing; otherwise it
// must fail, and the error channel must show "[WS] Download failed: <url>: " with `reason` in it, once.
inline void CheckTlsDownload(const std::string& url, const char* reason, const std::string& body)
{
    ErrorLines errors;
    float progress = 0.0f;
    DataBuffer buffer;
    WorkerPtr worker(StartDownload(&progress, Wide(url).c_str(), &buffer, 0, -1, nullptr, u""));
    ASSERT_NE(worker, nullptr);
    if (reason == nullptr)
    {
        EXPECT_TRUE(Eventually([&] { return AtomicLoadFloat(&progress) == 1.0f; })) << errors.All();
        worker.reset();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()), body);
        EXPECT_EQ(errors.All(), "");
        return;
    }
    std::string expected = "[WS] Download failed: " + url + ": ";
    EXPECT_TRUE(Eventually([&] { return errors.Count(expected) != 0; })) << errors.All();
    EXPECT_EQ(errors.Count(reason), 1u) << errors.All();
    worker.reset();
    EXPECT_NE(AtomicLoadFloat(&progress), 1.0f);
}

} // namespace Zelto
