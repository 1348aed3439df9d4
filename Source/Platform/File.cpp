#include "Source/Platform/File.h"

#include "Common/Assert.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/FileHandle.h"
#include "Source/Platform/Worker.h"

#include <atomic>
#include <string>

namespace Zelto
{

namespace
{

// Statistics only, incremented without a lock; atomic because files are also read and written on workers.
std::atomic<uint32_t> operationCount{0};
std::atomic<uint32_t> readCount{0};

constexpr uint32_t Md5BlockBytes = 256 * 1024; // a file is digested in reads of this size
constexpr int64_t ReadAllLimit = 0x80000000LL; // a DataBuffer holds less than 2 GiB

bool IsSeparator(char16_t ch)
{
    return ch == u'\\' || ch == u'/';
}

// Opening an open File closes its old handle first.
bool OpenHandle(File& file, void*& handle, const char16_t* path, FileHandle::Access access)
{
    if (file.IsOpen())
        file.Close();
    ++operationCount;
    handle = path == nullptr ? nullptr : FileHandle::Open(path, access);
    return handle != nullptr;
}

} // namespace

bool File::OpenRead(const char16_t* path)
{
    return OpenHandle(*this, mHandle, path, FileHandle::Access::Read);
}

bool File::OpenReadOnce(const char16_t* path)
{
    return OpenHandle(*this, mHandle, path, FileHandle::Access::ReadOnce);
}

bool File::OpenReadWrite(const char16_t* path)
{
    return OpenHandle(*this, mHandle, path, FileHandle::Access::ReadWrite);
}

bool File::Create(const char16_t* path)
{
    // A path without a directory part has nothing to make; the file is created all the same.
    MakeDirectories(PathDirectory(path, true).Text());
    return OpenHandle(*this, mHandle, path, FileHandle::Access::Create);
}

void File::Close()
{
    ++operationCount;
    if (mHandle != nullptr)
        FileHandle::Close(mHandle);
    mHandle = nullptr;
}

bool File::Seek(int64_t position)
{
    ++operationCount;
    return IsOpen() && FileHandle::Seek(mHandle, position, FileHandle::Origin::Start, nullptr);
}

bool File::SeekEnd()
{
    ++operationCount;
    return IsOpen() && FileHandle::Seek(mHandle, 0, FileHandle::Origin::End, nullptr);
}

int64_t File::Tell()
{
    ++operationCount;
    int64_t position = 0;
    if (!IsOpen() || !FileHandle::Seek(mHandle, 0, FileHandle::Origin::Current, &position))
        return 0;
    return position;
}

bool File::SetSize(int64_t size)
{
    ++operationCount;
    int64_t position = 0;
    if (!IsOpen() || !FileHandle::Seek(mHandle, 0, FileHandle::Origin::Current, &position))
        return false;
    if (!FileHandle::Seek(mHandle, size, FileHandle::Origin::Start, nullptr))
        return false;
    bool sized = FileHandle::SetEndHere(mHandle);
    // The position may lie beyond the new end: files allow that, and the next write fills the gap.
    bool restored = FileHandle::Seek(mHandle, position, FileHandle::Origin::Start, nullptr);
    return sized && restored;
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* written)
{
    ++operationCount;
    if (written != nullptr)
        *written = 0;
    if (!IsOpen())
        return false;
    if (count == 0)
        return true;
    if (!ZELTO_CHECK(buffer != _null, "Source/Platform/File", 696))
        return false;
    uint32_t done = 0;
    bool succeeded = FileHandle::Write(mHandle, buffer, count, &done);
    mDiskFull = done != count && FileHandle::LastFailureWasFull();
    if (written == nullptr)
        return succeeded && done == count;
    *written = done;
    return succeeded;
}

bool File::WriteInt(int32_t value)
{
    return Write(&value, sizeof(value));
}

bool File::WriteText(const char16_t* text)
{
    if (encoding == EncodingUtf16)
        return Write(text, TextLength(text) * uint32_t(sizeof(char16_t)));
    std::string bytes = encoding == EncodingUtf8 ? StringToUtf8(text) : StringToAnsi(text);
    return Write(bytes.data(), uint32_t(bytes.size()));
}

bool File::Read(void* bytes, uint32_t count, uint32_t* read)
{
    ++operationCount;
    ++readCount;
    uint32_t done = 0;
    bool succeeded =
        IsOpen() && (count == 0 || bytes != nullptr) && FileHandle::Read(mHandle, bytes, count, &done);
    if (read != nullptr)
        *read = done;
    return succeeded;
}

bool File::ReadAll(DataBuffer& target)
{
    if (!IsOpen())
        return false;
    int64_t size = Size();
    if (size >= ReadAllLimit || !Seek(0))
        return false;
    if (size == 0)
    {
        target.Reset();
        return true;
    }
    target.Allocate(uint32_t(size));
    uint8_t* buffer = target.Data();
    if (!ZELTO_CHECK(buffer != _null, "Source/Platform/File", 651))
        return false;
    uint32_t read = 0;
    return Read(buffer, uint32_t(size), &read) && read >= size;
}

int64_t File::Size()
{
    ++operationCount;
    int64_t size = IsOpen() ? FileHandle::Size(mHandle) : 0;
    return size < 0 ? 0 : size;
}

int64_t FileSize(const char16_t* path)
{
    File file;
    int64_t size = file.OpenRead(path) ? file.Size() : 0;
    file.Close();
    return size;
}

bool LoadFile(DataBuffer& buffer, const char16_t* path)
{
    File file;
    bool loaded = file.OpenRead(path) && file.ReadAll(buffer);
    file.Close();
    if (loaded)
        buffer.name = path;
    return loaded;
}

bool SaveFile(const char16_t* path, const void* bytes, uint32_t count)
{
    File file;
    bool saved = (file.OpenReadWrite(path) || file.Create(path)) && file.SetSize(count);
    // Without bytes the file is only sized: a download reserves its space this way.
    if (saved && bytes != nullptr)
        saved = file.Write(bytes, count);
    file.Close();
    return saved;
}

bool MakeDirectories(const char16_t* path)
{
    uint32_t length = TextLength(path);
    if (length == 0)
        return false;
    // A bare drive ("C:") needs nothing made, and is answered without asking the disk.
    if (path[length - 1] == u':' || DirectoryExists(path))
        return true;
    String prefix;
    for (uint32_t i = 1; i < length; ++i)
    {
        // The separator after a drive ("C:\") closes no directory of its own.
        if (!IsSeparator(path[i]) || path[i - 1] == u':')
            continue;
        prefix.Assign(path, int32_t(i));
        if (!DirectoryExists(prefix.Text()) && !FileHandle::MakeDirectory(prefix.Text()))
            return false;
    }
    return FileHandle::MakeDirectory(path);
}

Md5State FileMd5(const char16_t* path, const Worker* stopper)
{
    File file;
    DataBuffer block;
    bool succeeded = file.OpenReadOnce(path) && block.Allocate(Md5BlockBytes);
    int64_t total = file.Size();
    uint32_t count = 0;
    succeeded = succeeded && file.Read(block.Data(), Md5BlockBytes, &count);
    Md5State state = succeeded ? Md5Start(block.Data(), count, total) : Md5State{};
    while (succeeded && count != 0)
    {
        succeeded = stopper == nullptr || !stopper->StopRequested();
        succeeded = succeeded && file.Read(block.Data(), Md5BlockBytes, &count);
        if (succeeded && count != 0)
            state = Md5Continue(state, block.Data(), count, total);
    }
    file.Close();
    return succeeded ? state : Md5State{};
}

uint32_t FileOperationCount()
{
    return operationCount;
}

uint32_t FileReadCount()
{
    return readCount;
}

} // namespace Zelto
