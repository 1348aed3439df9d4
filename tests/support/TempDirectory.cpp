#include "support/TempDirectory.h"

#include "Source/Platform/System.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>

namespace Zelto
{

namespace
{

std::atomic<uint32_t> serial{0};

} // namespace

TempDirectory::TempDirectory()
{
    std::filesystem::path base = std::filesystem::absolute(std::filesystem::temp_directory_path());
    // Process, clock and serial keep parallel test processes and successive fixtures apart; an existing
    // folder of the same name is never reused.
    do
        mRoot = base / ("zelto-test-" + std::to_string(CurrentProcessId()) + "-" +
                        std::to_string(MillisecondClock()) + "-" + std::to_string(++serial));
    while (!std::filesystem::create_directory(mRoot));
    // The form the system reports as the current directory once a test has moved into the folder.
    mRoot = std::filesystem::canonical(mRoot);
}

TempDirectory::~TempDirectory()
{
    // Read-only files (Windows) cannot be removed until they are writable again.
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator entry(mRoot, error), end; !error && entry != end;
         entry.increment(error))
        std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(mRoot, error);
}

String TempDirectory::Path(const char16_t* relative) const
{
    String path(mRoot.u16string().c_str());
    if (*relative != 0)
    {
        const char16_t separator[] = {char16_t(std::filesystem::path::preferred_separator), 0};
        path.Append(separator);
        path.Append(relative);
    }
    return path;
}

std::filesystem::path TempDirectory::Native(const char16_t* relative) const
{
    std::u16string text(relative);
    std::replace(text.begin(), text.end(), u'\\', u'/');
    return text.empty() ? mRoot : mRoot / std::filesystem::path(text).make_preferred();
}

void TempDirectory::WriteBytes(const char16_t* relative, const std::string& bytes) const
{
    std::ofstream(Native(relative), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

std::string TempDirectory::ReadBytes(const char16_t* relative) const
{
    std::ifstream file(Native(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool ChangeCurrentDirectory(const char16_t* path)
{
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(std::u16string(path)), error);
    return !error;
}

} // namespace Zelto
