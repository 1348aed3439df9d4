#include "Loader/FileOutput.h"

#include <algorithm>
#include <system_error>

namespace Zelto
{

void FileOutput::Start(const String& target, bool sealed)
{
    Drain();
    file.Abandon();
    mTarget = target;
    mDigest = Md5Stream();
    mSealed = sealed;
    if (sealed)
        mSeal = Sha256Stream();
    mTaken = 0;
    mFailed = false;
    stop = false;
}

bool FileOutput::Open()
{
    return file.Begun() || file.Begin(mTarget.Text());
}

bool FileOutput::Take(const uint8_t* bytes, uint32_t count)
{
    if (!mWriter.joinable())
    {
        try
        {
            mWriter = std::thread(&FileOutput::Write, this);
        }
        catch (const std::system_error&)
        {
            return false; // no thread: the file cannot be written
        }
    }
    while (count != 0)
    {
        uint32_t room = 0;
        {
            std::unique_lock<std::mutex> lock(mLock);
            mChanged.wait(lock, [&] { return mQueued < RoomCount || mFailed || stop; });
            if (mFailed || stop)
                return false;
            room = (mFirst + mQueued) % RoomCount;
        }
        // The writer does not touch a room until it is queued; only this thread fills rooms.
        uint32_t piece = count < RoomBytes ? count : RoomBytes;
        if (mRooms[room].Size() < RoomBytes && !mRooms[room].Resize(RoomBytes))
            return false;
        std::copy(bytes, bytes + piece, mRooms[room].Data());
        mFilled[room] = piece;
        {
            std::lock_guard<std::mutex> lock(mLock);
            ++mQueued;
        }
        mChanged.notify_all();
        mTaken += piece;
        bytes += piece;
        count -= piece;
    }
    return true;
}

void FileOutput::Write()
{
    for (;;)
    {
        uint32_t room = 0;
        bool failed = false;
        {
            std::unique_lock<std::mutex> lock(mLock);
            mChanged.wait(lock, [&] { return mQueued != 0 || mEnding; });
            if (mQueued == 0)
                return;
            room = mFirst;
            failed = mFailed;
        }
        // After a failure or a stop the queue only empties.
        bool written = !failed && !stop && Open() && file.Write(mRooms[room].Data(), mFilled[room]);
        if (written)
            mDigest.Add(mRooms[room].Data(), mFilled[room]);
        if (written && mSealed)
            mSeal.Update(mRooms[room].Data(), mFilled[room]);
        {
            std::lock_guard<std::mutex> lock(mLock);
            mFailed = mFailed || !written;
            mFirst = (mFirst + 1) % RoomCount;
            --mQueued;
        }
        mChanged.notify_all();
    }
}

bool FileOutput::Drain()
{
    if (mWriter.joinable())
    {
        {
            std::lock_guard<std::mutex> lock(mLock);
            mEnding = true;
        }
        mChanged.notify_all();
        mWriter.join();
        mEnding = false;
    }
    return !mFailed && !stop;
}

} // namespace Zelto
