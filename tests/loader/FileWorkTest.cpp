// Finishing a fetched file beside the host thread: a block unpacked as it came is digested first, only bytes
// whose digest matched are ever written, and checked bytes that cannot be written yet are kept for the next
// run. On a real worker, with real files.
#include "Loader/FileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Worker.h"
#include "support/TempDirectory.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace Zelto;

namespace
{

const std::string Content(5000, 'z');
const std::string OldContent = "the copy before the fetch";

// Waits for the work to say it is done, then ends its worker, as the loader's tick does.
void AwaitWork(Worker* worker, const float& done)
{
    while (AtomicLoadFloat(&done) < 1.0f)
        HostSleep(1);
    if (worker != nullptr)
        worker->Destroy();
}

void Finish(FetchedFile& work)
{
    AwaitWork(StartFileFinish(work), work.done);
}

// The block arrives as a download gives it: in pieces, through the file's unpacker.
void Arrive(FetchedFile& work, const DataBuffer& block)
{
    work.unpacker.Start(work.bytes, block.Size());
    for (uint32_t at = 0; at < block.Size(); at += 1000)
        work.unpacker.Take(block.Data() + at, block.Size() - at < 1000 ? block.Size() - at : 1000);
}

} // namespace

TEST(FileWork, OnlyBytesThatMatchTheirDigestAreWritten)
{
    struct Case
    {
        const char* name;
        bool packed;
        bool damaged;
    };
    const Case cases[] = {
        {"plain", false, false},
        {"zlib", true, false},
        {"damaged plain", false, true},
        {"damaged zlib", true, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDirectory folder;
        folder.WriteBytes(u"file.bin", OldContent);
        FetchedFile work;
        work.name = folder.Path(u"file.bin");
        work.expected = Md5(Content.data(), uint32_t(Content.size()));
        String error;
        DataBuffer block;
        if (c.packed)
            ASSERT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(Content.data()), uint32_t(Content.size()),
                                  PackedZlib, block, error));
        else
            ASSERT_TRUE(block.Attach(Content.data(), uint32_t(Content.size()), true));
        if (c.damaged)
            block.Data()[block.Size() - 1] ^= 1;
        Arrive(work, block);

        Finish(work);
        EXPECT_EQ(work.matched, !c.damaged);
        EXPECT_EQ(work.written, !c.damaged);
        EXPECT_EQ(folder.ReadBytes(u"file.bin"), c.damaged ? OldContent : Content);
        EXPECT_EQ(work.bytes.Size(), 0u) << "written or refused bytes are freed on the worker";
    }
}

TEST(FileWork, CheckedBytesWaitForTheirWrite)
{
    TempDirectory folder;
    // A folder in the way: the checked bytes cannot be written until it goes.
    std::filesystem::create_directory(folder.Native(u"file.bin"));
    FetchedFile work;
    work.name = folder.Path(u"file.bin");
    work.expected = Md5(Content.data(), uint32_t(Content.size()));
    String error;
    DataBuffer block;
    ASSERT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(Content.data()), uint32_t(Content.size()),
                          PackedZlib, block, error));
    Arrive(work, block);
    Finish(work);
    EXPECT_TRUE(work.matched);
    EXPECT_FALSE(work.written);
    EXPECT_EQ(work.bytes.Size(), Content.size()) << "kept unpacked for the next try";

    std::filesystem::remove(folder.Native(u"file.bin"));
    Finish(work);
    EXPECT_TRUE(work.written);
    EXPECT_EQ(folder.ReadBytes(u"file.bin"), Content);
}

// A record that takes file after file keeps its room for the next one; after the last file it is freed.
TEST(FileWork, RoomIsKeptForTheNextFileAndFreedAfterTheLast)
{
    for (bool last : {false, true})
    {
        SCOPED_TRACE(last ? "last" : "more to come");
        TempDirectory folder;
        FetchedFile work;
        work.name = folder.Path(u"file.bin");
        work.expected = Md5(Content.data(), uint32_t(Content.size()));
        work.last = last;
        DataBuffer block;
        String error;
        ASSERT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(Content.data()), uint32_t(Content.size()),
                              PackedZlib, block, error));
        Arrive(work, block);
        Finish(work);
        EXPECT_TRUE(work.written);
        EXPECT_EQ(work.bytes.Size(), 0u);
        EXPECT_EQ(work.bytes.Capacity() >= Content.size(), !last);
    }
}

TEST(FileWork, LocalDigestsOfPresentMissingAndUnnamedFiles)
{
    TempDirectory folder;
    folder.WriteBytes(u"present.bin", Content);
    LocalDigests work;
    work.names[0] = folder.Path(u"present.bin");
    work.names[1] = folder.Path(u"missing.bin");
    AwaitWork(StartLocalDigests(work), work.done);
    EXPECT_EQ(work.digests[0], Md5(Content.data(), uint32_t(Content.size())));
    EXPECT_EQ(work.digests[1], Md5State{});
    EXPECT_EQ(work.digests[2], Md5State{});
}
