// The files a previewed screen is made of, watched for changes: the scripts, images and font files in the
// script's folder and the folders below it, without hidden entries and without what the preview itself
// writes there. A change counts once the files have kept still for a moment, so that an editor's
// save in several steps restarts the screen once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace Zelto
{

class ScreenFiles
{
public:
    // `ignored`: paths the preview writes to (a frame folder, a GIF), never counted as changes.
    ScreenFiles(std::filesystem::path folder, std::vector<std::filesystem::path> ignored);

    // True once per settled change, `nowMs` being the host's clock.
    bool Changed(uint64_t nowMs);
    std::string LastChange() const { return mLastChange; } // a file of the change, for the console

private:
    // A script's content counts too: some file systems' write times (MinGW's, seconds) miss an edit that
    // keeps the size within the same second.
    struct Stamp
    {
        std::filesystem::file_time_type written;
        uintmax_t size;
        size_t script; // a hash of a script's bytes; 0 for pictures and fonts
        bool operator==(const Stamp& other) const
        {
            return written == other.written && size == other.size && script == other.script;
        }
    };
    using Snapshot = std::map<std::filesystem::path, Stamp>;

    Snapshot Take() const;
    bool Ignored(const std::filesystem::path& path) const;

    std::filesystem::path mFolder;
    std::vector<std::filesystem::path> mIgnored;
    Snapshot mShown;   // what the running screen was started from
    Snapshot mPending; // the last look, while it differs from mShown
    uint64_t mNextLookMs = 0;
    uint64_t mPendingSinceMs = 0;
    std::string mLastChange;
};

} // namespace Zelto
