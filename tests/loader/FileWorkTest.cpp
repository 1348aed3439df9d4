// Finishing a fetched file beside the host thread: a block is unpacked into a temporary file beside the
// target as it comes, digested on the way, and only a file whose digest matched ever replaces the target, in
// one step. On a real worker, with real files.
#include "Loader/FileWork.h"

#include "AwaitFileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/File.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Worker.h"
#include "support/TempDirectory.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <string>

using namespace Zelto;

namespace
{

const std::string Content(5000, 'z');
const std::string OldContent = "the copy before the fetch";

void Pack(DataBuffer& block, const std::string& content, bool packed)
{
    String error;
    if (packed)
        EXPECT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(content.data()), uint32_t(content.size()),
                              PackedZlib, block, error));
    else
        EXPECT_TRUE(block.Attach(content.data(), uint32_t(content.size()), true));
}

// The record as the loader sets it up for `target`, then the block as a download gives it: in pieces.
// `stopped`: the host thread asks the work to stop before the first piece.
bool Arrive(FetchedFile& work, const String& target, const std::string& content, const DataBuffer& block,
            bool stopped = false)
{
    work.name = target;
    work.expected = Md5(content.data(), uint32_t(content.size()));
    work.output.Start(target);
    work.output.stop = stopped;
    work.unpacker.Start(work.output, block.Size());
    bool taken = true;
    for (uint32_t at = 0; at < block.Size() && taken; at += 1000)
        taken = work.unpacker.Take(block.Data() + at, block.Size() - at < 1000 ? block.Size() - at : 1000);
    return taken;
}

// A packed block of `unpacked` zero bytes: a few hundred kilobytes that unpack to far more.
void ZlibBomb(DataBuffer& block, uint32_t unpacked)
{
    const std::string zeros(1 << 20, '\0');
    std::string packed(PackedBlockHeaderSize, '\0');
    WritePackedBlockHeader(reinterpret_cast<uint8_t*>(&packed[0]), PackedZlib, nullptr, unpacked);
    z_stream stream{};
    ASSERT_EQ(deflateInit(&stream, Z_BEST_COMPRESSION), Z_OK);
    char out[65536];
    for (uint32_t left = unpacked; left != 0 || stream.avail_in != 0;)
    {
        if (stream.avail_in == 0)
        {
            uint32_t piece = left < zeros.size() ? left : uint32_t(zeros.size());
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
            stream.avail_in = piece;
            left -= piece;
        }
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        deflate(&stream, Z_NO_FLUSH);
        packed.append(out, sizeof out - stream.avail_out);
    }
    int result = Z_OK;
    while (result != Z_STREAM_END)
    {
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        result = deflate(&stream, Z_FINISH);
        packed.append(out, sizeof out - stream.avail_out);
    }
    deflateEnd(&stream);
    ASSERT_TRUE(block.Attach(packed.data(), uint32_t(packed.size()), true));
}

bool Exists(const TempDirectory& folder, const char16_t* name)
{
    return std::filesystem::exists(folder.Native(name));
}

} // namespace

TEST(FileWork, OnlyAFileThatMatchesItsDigestReplacesTheTarget)
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
        DataBuffer block;
        Pack(block, Content, c.packed);
        if (c.damaged)
            block.Data()[block.Size() - 1] ^= 1;
        Arrive(work, folder.Path(u"file.bin"), Content, block);
        EXPECT_EQ(folder.ReadBytes(u"file.bin"), OldContent) << "the target is untouched until the end";

        Finish(work);
        EXPECT_EQ(work.outcome, c.damaged ? FileOutcome::Damaged : FileOutcome::Replaced);
        EXPECT_EQ(folder.ReadBytes(u"file.bin"), c.damaged ? OldContent : Content);
        EXPECT_FALSE(Exists(folder, u"file.bin.zelto-new"));
    }
}

// More bytes than the unpacker's room: the file passes through it piece by piece.
TEST(FileWork, AFileLargerThanTheRoomIsStreamed)
{
    std::string content;
    for (uint32_t line = 0; content.size() < (1u << 20); ++line) // four rooms' worth
        content += "line " + std::to_string(line * 7919u % 100003u) + "\n";
    TempDirectory folder;
    FetchedFile work;
    DataBuffer block;
    Pack(block, content, true);
    Arrive(work, folder.Path(u"big.bin"), content, block);
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::Replaced);
    EXPECT_EQ(work.fileSize, content.size());
    EXPECT_TRUE(folder.ReadBytes(u"big.bin") == content);
}

TEST(FileWork, CheckedFileWaitsForItsReplace)
{
    TempDirectory folder;
    // A folder in the way: the checked file cannot be put in place until it goes.
    std::filesystem::create_directory(folder.Native(u"file.bin"));
    FetchedFile work;
    DataBuffer block;
    Pack(block, Content, true);
    Arrive(work, folder.Path(u"file.bin"), Content, block);
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::NotReplaced);
    EXPECT_EQ(folder.ReadBytes(u"file.bin.zelto-new"), Content) << "kept for the next try";

    std::filesystem::remove(folder.Native(u"file.bin"));
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::Replaced);
    EXPECT_EQ(folder.ReadBytes(u"file.bin"), Content);
}

// The host thread's stop reaches the decoder: the next piece is refused, and nothing replaces the target.
TEST(FileWork, AStopRefusesFurtherBytes)
{
    TempDirectory folder;
    folder.WriteBytes(u"file.bin", OldContent);
    FetchedFile work;
    DataBuffer block;
    Pack(block, Content, true);
    Arrive(work, folder.Path(u"file.bin"), Content, block, true);
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::Stopped);
    EXPECT_EQ(folder.ReadBytes(u"file.bin"), OldContent);
    EXPECT_FALSE(Exists(folder, u"file.bin.zelto-new"));
}

// A block that unpacks to far more than it weighs (64 MiB from about 64 kB): a stop ends the decoder within
// its first room, whatever the piece it was given would unpack to.
TEST(FileWork, AStopReachesTheDecoderOfABomb)
{
    TempDirectory folder;
    DataBuffer block;
    ZlibBomb(block, 64u << 20);
    FetchedFile work;
    work.output.Start(folder.Path(u"bomb.bin"));
    work.unpacker.Start(work.output, block.Size());
    ASSERT_TRUE(work.unpacker.Take(block.Data(), 4096));
    uint64_t before = work.output.Length();
    work.output.stop = true;
    EXPECT_FALSE(work.unpacker.Take(block.Data() + 4096, block.Size() - 4096));
    EXPECT_EQ(work.output.Length(), before) << "nothing unpacked after the stop was taken";
    EXPECT_EQ(work.unpacker.Failure(), UnpackFailure::Refused);
}

TEST(FileWork, LocalDigestsOfPresentMissingAndUnnamedFiles)
{
    TempDirectory folder;
    folder.WriteBytes(u"present.bin", Content);
    folder.WriteBytes(u"present.bin.zelto-new", OldContent); // an earlier run's, never checked
    LocalDigests work;
    work.names[0] = folder.Path(u"present.bin");
    work.names[1] = folder.Path(u"missing.bin");
    work.names[5] = folder.Path(u"present.bin"); // taken by either worker
    Worker* workers[LocalDigestWorkers] = {};
    StartLocalDigests(work, workers);
    while (AtomicLoadFloat(&work.done) < 1.0f)
        HostSleep(1);
    for (Worker* worker : workers)
        if (worker != nullptr)
            worker->Destroy();
    EXPECT_EQ(work.digests[0], Md5(Content.data(), uint32_t(Content.size())));
    EXPECT_EQ(work.digests[1], Md5State{});
    EXPECT_EQ(work.digests[2], Md5State{});
    EXPECT_EQ(work.digests[5], work.digests[0]);
    EXPECT_FALSE(Exists(folder, u"present.bin.zelto-new"));
}
