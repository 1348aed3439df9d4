#include "Loader/KeptPackedBytes.h"

#include "Common/DataBuffer.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

const uint8_t KeptMagic[8] = {'Z', 'E', 'L', 'T', 'O', 'K', 'P', 'T'};
constexpr uint32_t ReplayPieceBytes = 256 * 1024; // kept bytes are read back in pieces of this size
constexpr uint32_t ValidatorUnits = sizeof(KeptBytesRecord::validator) / sizeof(char16_t);

} // namespace

const char16_t KeptBytesSuffix[] = u".zelto-part";

void PackedKeeper::Start(const String& target, const PackageEntry& entry, const String& validator,
                         ByteSink& next)
{
    Close();
    mPath = Format(u"%ls%ls", target.Text(), KeptBytesSuffix);
    mNext = &next;
    Memory::Set(&mRecord, 0, sizeof mRecord);
    Memory::Copy(mRecord.magic, KeptMagic, sizeof KeptMagic);
    Memory::Copy(mRecord.digest, entry.digest, sizeof mRecord.digest);
    mRecord.offset = entry.offset;
    mRecord.size = entry.size;
    for (uint32_t i = 0; i < ValidatorUnits - 1 && i < validator.Length(); ++i)
        mRecord.validator[i] = validator[i];
}

uint32_t PackedKeeper::Resume(const std::atomic<bool>& stop)
{
    KeptBytesRecord found{};
    uint32_t read = 0;
    bool same = mFile.OpenReadWrite(mPath.Text()) && mFile.Read(&found, sizeof found, &read) &&
                read == sizeof found && Memory::Compare(&found, &mRecord, sizeof found);
    int64_t kept = same ? mFile.Size() - int64_t(sizeof found) : 0;
    if (!same || kept <= 0)
    {
        StartAnew();
        return 0;
    }
    if (kept > int64_t(mRecord.size))
        kept = mRecord.size;
    DataBuffer piece;
    if (!piece.Allocate(ReplayPieceBytes))
    {
        StartAnew();
        return 0;
    }
    uint32_t given = 0;
    while (given < uint32_t(kept) && !stop)
    {
        uint32_t want = uint32_t(kept) - given < ReplayPieceBytes ? uint32_t(kept) - given : ReplayPieceBytes;
        if (!mFile.Read(piece.Data(), want, &read) || read != want)
            break;
        if (!mNext->Take(piece.Data(), read))
            break; // the unpacker knows why; the digest decides
        given += read;
    }
    // What follows is appended behind the bytes given.
    mKeeping = mFile.Seek(int64_t(sizeof found) + given) && mFile.SetSize(int64_t(sizeof found) + given);
    return given;
}

bool PackedKeeper::StartAnew()
{
    mKeeping = mFile.Create(mPath.Text()) && mFile.Write(&mRecord, sizeof mRecord);
    return mKeeping;
}

bool PackedKeeper::Take(const uint8_t* bytes, uint32_t count)
{
    // A byte that cannot be kept leaves the kept bytes short, which the next run would take as all there is:
    // they go instead, and this run goes on without keeping.
    if (mKeeping && !mFile.Write(bytes, count))
    {
        mKeeping = false;
        Discard();
    }
    return mNext->Take(bytes, count);
}

void PackedKeeper::Close()
{
    mFile.Close();
    mKeeping = false;
}

void PackedKeeper::Discard()
{
    Close();
    if (!mPath.IsEmpty())
        DeleteFileAt(mPath.Text());
}

} // namespace Zelto
