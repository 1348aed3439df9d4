// 64-bit offsets on every Linux target, before any system header is seen.
#define _FILE_OFFSET_BITS 64

#include "Source/Platform/File.h"
#include "Source/Platform/FileHandle.h"
#include "Source/Platform/PosixPath.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Zelto
{

namespace
{

// Descriptors are kept one higher, so that descriptor 0 is not mistaken for a closed File.
void* HandleOf(int descriptor)
{
    return descriptor < 0 ? nullptr : reinterpret_cast<void*>(intptr_t(descriptor) + 1);
}

int DescriptorOf(void* handle)
{
    return int(reinterpret_cast<intptr_t>(handle) - 1);
}

// Linux has no read-only attribute; a file its owner may not write is the nearest thing to one.
void ClearReadOnly(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR);
}

bool StatPath(const char16_t* path, struct stat& info)
{
    return path != nullptr && stat(NativePath(path).c_str(), &info) == 0;
}

} // namespace

namespace FileHandle
{

// Linux locks nothing: other processes may read (and write) the file whatever the access.
void* Open(const char16_t* path, Access access)
{
    std::string native = NativePath(path);
    bool readOnly = access == Access::Read || access == Access::ReadOnce;
    int flags = O_RDONLY;
    if (!readOnly)
    {
        ClearReadOnly(native);
        flags = access == Access::Create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR;
    }
    int descriptor;
    do
        descriptor = open(native.c_str(), flags | O_CLOEXEC, 0666);
    while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return nullptr;
    // As on Windows, a directory does not open as a file.
    struct stat info;
    if (fstat(descriptor, &info) != 0 || S_ISDIR(info.st_mode))
    {
        close(descriptor);
        return nullptr;
    }
    if (access == Access::ReadOnce)
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return HandleOf(descriptor);
}

void Close(void* handle)
{
    close(DescriptorOf(handle));
}

bool Seek(void* handle, int64_t offset, Origin origin, int64_t* position)
{
    int whence = origin == Origin::Start ? SEEK_SET : origin == Origin::End ? SEEK_END : SEEK_CUR;
    off_t reached = lseek(DescriptorOf(handle), off_t(offset), whence);
    if (reached < 0)
        return false;
    if (position != nullptr)
        *position = int64_t(reached);
    return true;
}

bool SetEndHere(void* handle)
{
    int descriptor = DescriptorOf(handle);
    off_t position = lseek(descriptor, 0, SEEK_CUR);
    return position >= 0 && ftruncate(descriptor, position) == 0;
}

// Like WriteFile: everything is written unless the system fails; a failure after some bytes still counts
// them.
bool Write(void* handle, const void* bytes, uint32_t count, uint32_t* written)
{
    const auto* next = static_cast<const uint8_t*>(bytes);
    uint32_t done = 0;
    while (done < count)
    {
        ssize_t result = write(DescriptorOf(handle), next + done, count - done);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            break;
        done += uint32_t(result);
    }
    *written = done;
    return done == count || done != 0;
}

// Like ReadFile: reads until `count` bytes or the end of the file.
bool Read(void* handle, void* bytes, uint32_t count, uint32_t* read)
{
    auto* next = static_cast<uint8_t*>(bytes);
    uint32_t done = 0;
    bool succeeded = true;
    while (done < count)
    {
        ssize_t result = ::read(DescriptorOf(handle), next + done, count - done);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
        {
            succeeded = result == 0;
            break;
        }
        done += uint32_t(result);
    }
    *read = done;
    return succeeded;
}

int64_t Size(void* handle)
{
    struct stat info;
    return fstat(DescriptorOf(handle), &info) == 0 ? int64_t(info.st_size) : -1;
}

bool MakeDirectory(const char16_t* path)
{
    return mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool LastFailureWasFull()
{
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
}

} // namespace FileHandle

bool FileExists(const char16_t* path)
{
    struct stat info;
    return StatPath(path, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const char16_t* path)
{
    struct stat info;
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

// Removing a name depends on its directory alone, so a file its owner may not write goes as any other.
bool DeleteFileAt(const char16_t* path)
{
    return path != nullptr && unlink(NativePath(path).c_str()) == 0;
}

bool MoveFileOver(const char16_t* from, const char16_t* to)
{
    return from != nullptr && to != nullptr && rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

} // namespace Zelto
