#include "Source/Platform/File.h"
#include "Source/Platform/FileHandle.h"

#include <windows.h>

namespace Zelto
{

namespace
{

const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

DWORD AttributesOf(const char16_t* path)
{
    return path == nullptr ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(path));
}

void ClearReadOnly(const char16_t* path)
{
    DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(Wide(path), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
}

} // namespace

namespace FileHandle
{

void* Open(const char16_t* path, Access access)
{
    DWORD rights = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (access != Access::Read && access != Access::ReadOnce)
    {
        ClearReadOnly(path);
        rights |= GENERIC_WRITE;
        if (access == Access::Create)
            disposition = CREATE_ALWAYS;
    }
    DWORD flags = access == Access::ReadOnce ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_ATTRIBUTE_NORMAL;
    HANDLE handle = CreateFileW(Wide(path), rights, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void Close(void* handle)
{
    CloseHandle(handle);
}

bool Seek(void* handle, int64_t offset, Origin origin, int64_t* position)
{
    DWORD method = origin == Origin::Start ? FILE_BEGIN : origin == Origin::End ? FILE_END : FILE_CURRENT;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER reached;
    if (!SetFilePointerEx(handle, distance, &reached, method))
        return false;
    if (position != nullptr)
        *position = reached.QuadPart;
    return true;
}

bool SetEndHere(void* handle)
{
    return SetEndOfFile(handle) != FALSE;
}

bool Write(void* handle, const void* bytes, uint32_t count, uint32_t* written)
{
    DWORD done = 0;
    BOOL succeeded = WriteFile(handle, bytes, count, &done, nullptr);
    *written = done;
    return succeeded != FALSE;
}

bool Read(void* handle, void* bytes, uint32_t count, uint32_t* read)
{
    DWORD done = 0;
    BOOL succeeded = ReadFile(handle, bytes, count, &done, nullptr);
    *read = done;
    return succeeded != FALSE;
}

int64_t Size(void* handle)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
}

bool MakeDirectory(const char16_t* path)
{
    return CreateDirectoryW(Wide(path), nullptr) != FALSE;
}

bool LastFailureWasFull()
{
    // 1295 is ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack.
    constexpr DWORD QuotaExceeded = 1295;
    DWORD error = GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || error == QuotaExceeded;
}

} // namespace FileHandle

bool FileExists(const char16_t* path)
{
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const char16_t* path)
{
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DeleteFileAt(const char16_t* path)
{
    if (path == nullptr)
        return false;
    ClearReadOnly(path);
    return DeleteFileW(Wide(path)) != FALSE;
}

bool MoveFileOver(const char16_t* from, const char16_t* to)
{
    if (from == nullptr || to == nullptr)
        return false;
    ClearReadOnly(to);
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

} // namespace Zelto
