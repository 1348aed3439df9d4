// Workers: jobs run in passes on the worker's own thread until the worker is stopped; a stop request ends
// the worker's waits at once.
#include "Source/Platform/Worker.h"

#include "Common/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace Zelto;

namespace
{

constexpr uint32_t OneDay = 24 * 60 * 60 * 1000;

// Polls `condition` for up to a minute; only a failing test waits that long.
template <typename Condition> bool Eventually(Condition condition)
{
    for (int i = 0; i < 60000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

// What a job saw. The plain fields are read only after Stop, which waits for the worker's thread to end.
struct Runs
{
    int32_t result = 0; // what the job returns
    std::atomic<int> count{0};
    Worker* worker = nullptr;
    int32_t word = -1;
    uint32_t threadId = 0;
    std::thread::id thread;
};

int32_t Count(Worker* worker, void* userData, int32_t word)
{
    auto* runs = static_cast<Runs*>(userData);
    runs->worker = worker;
    runs->word = word;
    runs->threadId = worker->ThreadId();
    runs->thread = std::this_thread::get_id();
    ++runs->count;
    return runs->result;
}

// A job that waits a day unless the worker is stopped, then tries to post another job.
struct Waiting
{
    std::atomic<bool> entered{false};
    bool waited = true;
    bool posted = true;
    Runs later;
};

int32_t WaitThenPost(Worker* worker, void* userData, int32_t)
{
    auto* waiting = static_cast<Waiting*>(userData);
    waiting->entered = true;
    waiting->waited = worker->WaitUnlessStopped(OneDay);
    waiting->posted = worker->Post(Count, &waiting->later);
    return 0;
}

// Job A runs every pass and posts job B in the first.
struct Order
{
    std::string jobs; // written by the worker's thread only
    std::atomic<int> passes{0};
    bool posted = false;
};

int32_t JobB(Worker*, void* userData, int32_t)
{
    static_cast<Order*>(userData)->jobs += 'B';
    return 0;
}

int32_t PostOnce(Worker* worker, void* userData, int32_t)
{
    auto* order = static_cast<Order*>(userData);
    order->jobs += 'A';
    if (order->passes == 0)
        order->posted = worker->Post(JobB, order);
    ++order->passes;
    return 1;
}

} // namespace

TEST(Worker, JobReturningZeroRunsOnceOnTheWorkersThread)
{
    Runs runs;
    Worker* worker = Worker::Create(Count, &runs);
    ASSERT_NE(worker, nullptr);
    uint32_t threadId = worker->ThreadId();
    EXPECT_NE(threadId, 0u);
    // Idle is set by the pass after the job's, which finds the queue empty.
    EXPECT_TRUE(Eventually([&] { return worker->Idle(); }));
    EXPECT_TRUE(worker->WaitUnlessStopped(1));
    EXPECT_FALSE(worker->StopRequested());
    worker->Stop();
    EXPECT_TRUE(worker->StopRequested());
    EXPECT_EQ(worker->ThreadId(), 0u);
    EXPECT_EQ(runs.count, 1);
    EXPECT_EQ(runs.worker, worker);
    EXPECT_EQ(runs.word, 0);
    EXPECT_EQ(runs.threadId, threadId);
    EXPECT_NE(runs.thread, std::this_thread::get_id());
    worker->Destroy();
}

TEST(Worker, JobReturningNonZeroRunsAgainEveryPass)
{
    Runs runs;
    runs.result = 1;
    Worker* worker = Worker::Create(Count, &runs);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(Eventually([&] { return runs.count >= 3; }));
    EXPECT_FALSE(worker->Idle());
    worker->Destroy();
    EXPECT_EQ(runs.word, 0); // kept when queued again
}

// Each pass runs the jobs queued when it began: a job posted during a pass runs in the next one, before the
// job that posted it runs again.
TEST(Worker, JobPostedByAJobRunsInTheNextPass)
{
    Order order;
    Worker* worker = Worker::Create(PostOnce, &order);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(Eventually([&] { return order.passes >= 4; }));
    worker->Destroy();
    EXPECT_TRUE(order.posted);
    EXPECT_EQ(order.jobs.substr(0, 5), "ABAAA");
}

TEST(Worker, StopEndsAWaitAtOnceAndLaterPostsAreIgnored)
{
    Waiting waiting;
    Worker* worker = Worker::Create(WaitThenPost, &waiting);
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(Eventually([&] { return waiting.entered.load(); }));
    worker->Stop(); // returns only because the day-long wait ends on the stop request
    EXPECT_FALSE(waiting.waited);
    EXPECT_FALSE(waiting.posted);
    EXPECT_FALSE(worker->Post(Count, &waiting.later));
    EXPECT_FALSE(worker->WaitUnlessStopped(OneDay));
    worker->Destroy();
    EXPECT_EQ(waiting.later.count, 0);
}

TEST(Worker, StopWithoutARunningThreadReturns)
{
    Runs runs;
    runs.result = 1;
    Worker* worker = Worker::Create(Count, &runs);
    ASSERT_NE(worker, nullptr);
    worker->Stop(); // most likely before the thread has begun
    worker->Stop(); // no thread any more
    EXPECT_EQ(worker->ThreadId(), 0u);
    worker->Destroy();

    Worker* fresh = Worker::Create(Count, &runs);
    ASSERT_NE(fresh, nullptr);
    fresh->Destroy();
}

TEST(Worker, StopFromTheWorkersOwnThreadIsReportedAndRefused)
{
    struct Reports
    {
        std::vector<std::u16string> lines;
        static int Record(const char16_t* text, void* context, int)
        {
            static_cast<Reports*>(context)->lines.emplace_back(text);
            return 0;
        }
    } reports;
    struct Attempt
    {
        std::atomic<bool> done{false};
        bool stopRequested = true;
    } attempt;
    auto stopSelf = [](Worker* worker, void* userData, int32_t) -> int32_t
    {
        auto* attempt = static_cast<Attempt*>(userData);
        worker->Stop();
        worker->Destroy();
        attempt->stopRequested = worker->StopRequested();
        attempt->done = true;
        return 0;
    };

    LogSink savedError = ErrorSink();
    LogSwitches savedSwitches = LogSettings();
    ErrorSink() = LogSink{Reports::Record, &reports};
    LogSettings().timeStamp = 0;
    Worker* worker = Worker::Create(+stopSelf, &attempt);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(Eventually([&] { return attempt.done.load(); }));
    worker->Destroy();
    ErrorSink() = savedError;
    LogSettings() = savedSwitches;

    EXPECT_FALSE(attempt.stopRequested);
    const std::u16string report =
        u"Build Date : Nov 18 2014\r\nAssertion Failed : current != threadId\r\nSource/Platform/Worker:77";
    EXPECT_EQ(reports.lines, (std::vector<std::u16string>{report, report}));
}

TEST(Worker, CounterConvertsToMilliseconds)
{
    int64_t frequency = CounterFrequency();
    ASSERT_GT(frequency, 0);
    EXPECT_EQ(CounterToMilliseconds(frequency), 1000.0);
    EXPECT_DOUBLE_EQ(CounterToMilliseconds(3 * frequency), 3000.0);
    EXPECT_EQ(CounterToMilliseconds(0), 0.0);
    int64_t before = PerformanceCounter();
    EXPECT_GE(PerformanceCounter(), before);
}
