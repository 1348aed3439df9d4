// Where the unpacked bytes of a file go as they come: its temporary file beside the target, and its digest.
// A writer thread of its own digests and writes them, so that unpacking one piece and writing the last run
// on two cores; the pieces wait in a few rooms of fixed size, so memory stays the same for any file. A stop
// request refuses further bytes, which ends the decoder and the download within a piece.
#pragma once

#include "Common/ByteSink.h"
#include "Common/DataBuffer.h"
#include "Common/Md5.h"
#include "Common/String.h"
#include "Loader/Crypto.h"
#include "Source/Platform/ReplacingFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace Zelto
{

class FileOutput : public ByteSink
{
public:
    FileOutput() = default;
    ~FileOutput() override { Drain(); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // The temporary file is made with the first bytes; `sealed`: a SHA-256 is taken beside the MD5, for the
    // signed digest of a signed package.
    void Start(const String& target, bool sealed = false);
    // Queues the bytes for the writer; false once a stop came or the writing failed. From one thread at a
    // time.
    bool Take(const uint8_t* bytes, uint32_t count) override;
    // Waits until every byte taken is written and digested and ends the writer; false when the writing
    // failed or a stop came. The digest and the file may be used after it.
    bool Drain();
    bool Open(); // the temporary file exists (made now if no byte came); after Drain
    Md5State Digest() const { return mDigest.Finish(); } // after Drain
    Sha256Digest SealDigest() { return mSeal.Finish(); }  // after Drain, once, when started sealed
    uint64_t Length() const { return mTaken; }           // bytes taken

    ReplacingFile file;
    std::atomic<bool> stop{false}; // set by the host thread before it ends the workers

private:
    // Four rooms of 256 KiB a file: enough that the writer rarely waits for the unpacker or the other way
    // round, 1 MiB a lane.
    static constexpr uint32_t RoomBytes = 256 * 1024;
    static constexpr uint32_t RoomCount = 4;

    void Write(); // the writer thread

    std::mutex mLock;
    std::condition_variable mChanged;
    DataBuffer mRooms[RoomCount];
    uint32_t mFilled[RoomCount] = {};
    uint32_t mFirst = 0;  // the oldest queued room
    uint32_t mQueued = 0; // rooms waiting for the writer
    bool mEnding = false; // the writer ends once the queue is empty
    bool mFailed = false; // a write failed: what follows is dropped
    std::thread mWriter;

    String mTarget;
    Md5Stream mDigest; // every byte written, in order; the writer's until Drain
    bool mSealed = false;
    Sha256Stream mSeal; // likewise, when sealed
    std::atomic<uint64_t> mTaken{0};
};

} // namespace Zelto
