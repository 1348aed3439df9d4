// The preview's watch over a screen's files: an edit is seen once the files keep still, even where the file
// system's write times are too coarse to tell it (MinGW's are whole seconds).
#include "tools/zelto-host/ScreenFiles.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace Zelto
{
namespace
{

void Write(const std::filesystem::path& path, const char* text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Looks every 10 ms of the watch's clock for a second; true once a change is reported.
bool ChangeSeen(ScreenFiles& files, uint64_t& nowMs)
{
    for (uint64_t end = nowMs + 1000; nowMs < end; nowMs += 10)
        if (files.Changed(nowMs))
            return true;
    return false;
}

TEST(ScreenFiles, AnEditThatKeepsTheSizeAndTheWriteTimeIsSeen)
{
    TempDirectory folder;
    std::filesystem::path script = folder.Native(u"loading.lua");
    Write(script, "background = 0xFF102030\n");
    auto written = std::filesystem::last_write_time(script);
    ScreenFiles files(folder.Native(u""), {});
    uint64_t nowMs = 1000;
    EXPECT_FALSE(ChangeSeen(files, nowMs));

    Write(script, "background = 0xFF302010\n");
    std::filesystem::last_write_time(script, written); // as a clock of whole seconds would have it
    EXPECT_TRUE(ChangeSeen(files, nowMs));
    EXPECT_EQ(files.LastChange(), "loading.lua");
    EXPECT_FALSE(ChangeSeen(files, nowMs));
}

} // namespace
} // namespace Zelto
