#include "tools/zelto-host/ScreenFiles.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <system_error>
#include <utility>

namespace Zelto
{

namespace
{

const uint64_t LookIntervalMs = 100; // a change shows within a few frames, at little cost per frame
const uint64_t SettleMs = 150;       // an editor's save (write, rename) is over by then
const size_t MaxWatchedFiles = 2000; // a screen's folder, not a home folder: looking stays cheap
const int MaxDepth = 3;
const uintmax_t MaxHashedScript =
    1 << 20; // a screen script is a few kilobytes; reading it every look is cheap

// What a screen is made of: scripts, and the images and fonts they load. Anything else (a log, a console's
// output, an editor's backup) changes without changing the screen.
bool ScreenFileKind(const std::filesystem::path& path)
{
    static const char* const kinds[] = {".lua", ".png",  ".gif",  ".jpg", ".jpeg", ".bmp", ".ico",
                                        ".tif", ".tiff", ".webp", ".ttf", ".otf",  ".ttc"};
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kinds), std::end(kinds), extension) != std::end(kinds);
}

size_t ScriptHash(const std::filesystem::path& path, uintmax_t size)
{
    if (path.extension() != ".lua" || size > MaxHashedScript)
        return 0;
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::hash<std::string>()(bytes);
}

} // namespace

ScreenFiles::ScreenFiles(std::filesystem::path folder, std::vector<std::filesystem::path> ignored)
    : mFolder(std::move(folder)), mIgnored(std::move(ignored))
{
    mShown = Take();
}

bool ScreenFiles::Ignored(const std::filesystem::path& path) const
{
    for (const std::filesystem::path& ignored : mIgnored)
    {
        auto mismatch = std::mismatch(ignored.begin(), ignored.end(), path.begin(), path.end());
        if (mismatch.first == ignored.end())
            return true; // the path is the ignored one or lies below it
    }
    return false;
}

ScreenFiles::Snapshot ScreenFiles::Take() const
{
    Snapshot snapshot;
    std::error_code error;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (std::filesystem::recursive_directory_iterator entry(mFolder, options, error), end;
         !error && entry != end && snapshot.size() < MaxWatchedFiles; entry.increment(error))
    {
        const std::filesystem::path& path = entry->path();
        bool hidden = path.filename().string().rfind('.', 0) == 0;
        if (hidden || Ignored(path) || entry.depth() >= MaxDepth)
        {
            if (entry->is_directory(error))
                entry.disable_recursion_pending();
            continue;
        }
        if (!ScreenFileKind(path) || !entry->is_regular_file(error))
            continue;
        Stamp stamp{entry->last_write_time(error), entry->file_size(error), 0};
        stamp.script = ScriptHash(path, stamp.size);
        if (!error)
            snapshot.emplace(path, stamp);
        error.clear();
    }
    return snapshot;
}

bool ScreenFiles::Changed(uint64_t nowMs)
{
    if (nowMs < mNextLookMs)
        return false;
    mNextLookMs = nowMs + LookIntervalMs;
    Snapshot look = Take();
    if (look == mShown)
    {
        mPending.clear();
        return false;
    }
    if (!(look == mPending))
    {
        mPending = std::move(look);
        mPendingSinceMs = nowMs;
        return false;
    }
    if (nowMs - mPendingSinceMs < SettleMs)
        return false;
    mLastChange.clear();
    for (const auto& [path, stamp] : mPending)
    {
        auto shown = mShown.find(path);
        if (shown == mShown.end() || !(shown->second == stamp))
        {
            mLastChange = path.filename().string();
            break;
        }
    }
    if (mLastChange.empty())
        mLastChange = "a file removed";
    mShown = std::move(mPending);
    mPending.clear();
    return true;
}

} // namespace Zelto
