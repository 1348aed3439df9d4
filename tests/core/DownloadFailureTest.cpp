// A failing download logs its reason with the URL for the first failure of a streak only, however often the
// worker retries.
#include "TlsDownload.h"
#include "tools/zoa-serve/ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <string>

using namespace Zelto;

// The worker retries a failing download; its reason is logged for the first failure of the streak only.
TEST(DownloadFailure, ReasonIsLoggedOncePerFailureStreak)
{
    ScriptedHttpServer server;
    server.Serve("/package", std::string(100, 'p'));
    ScriptedHttpServer::Reply notFound;
    notFound.status = 404;
    server.Script("/package", notFound, 2);
    ErrorLines errors;
    float progress = 0.0f;
    DataBuffer buffer;
    WorkerPtr worker(
        StartDownload(&progress, Wide(server.Url("/package")).c_str(), &buffer, 0, -1, nullptr, u""));
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(Eventually([&] { return AtomicLoadFloat(&progress) == 1.0f; }));
    worker.reset();
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(errors.All(), "[WS] Download failed: " + server.Url("/package") + ": HTTP status 404\n");
}
