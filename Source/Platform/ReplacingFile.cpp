#include "Source/Platform/ReplacingFile.h"

#include "Source/Common/StringFormatter.h"

namespace Zelto
{

const char16_t TemporaryFileSuffix[] = u".zelto-new";

String TemporaryPathFor(const char16_t* target)
{
    return Format(u"%ls%ls", target, TemporaryFileSuffix);
}

bool NameEndsIn(const char16_t* name, const char16_t* suffix)
{
    String text(name);
    String end(suffix);
    if (text.Length() < end.Length())
        return false;
    return end.EqualsNoCase(text.Text() + (text.Length() - end.Length()));
}

bool ReplacingFile::Begin(const char16_t* target)
{
    Abandon();
    mFault = WriteFault::None;
    mTemporary = TemporaryPathFor(target);
    return mFile.Create(mTemporary.Text()) || Failed(false);
}

bool ReplacingFile::Write(const void* bytes, uint32_t count)
{
    return mFile.Write(bytes, count) || Failed(mFile.FoundDiskFull());
}

bool ReplacingFile::Close()
{
    mFile.Close();
    return mFault == WriteFault::None;
}

bool ReplacingFile::Replace(const char16_t* target)
{
    Close();
    if (mTemporary.IsEmpty() || !MoveFileOver(mTemporary.Text(), target))
        return false;
    mTemporary = String();
    return true;
}

void ReplacingFile::Abandon()
{
    mFile.Close();
    if (!mTemporary.IsEmpty())
        DeleteFileAt(mTemporary.Text());
    mTemporary = String();
}

bool ReplacingFile::Failed(bool full)
{
    if (mFault == WriteFault::None)
        mFault = full ? WriteFault::DiskFull : WriteFault::CannotWrite;
    return false;
}

} // namespace Zelto
