// A disk that fills while a file is written is told as such, never as a damaged file, and the target stays
// as it was. The process's file-size limit stands in for the full disk.
#include "Loader/FileWork.h"

#include "AwaitFileWork.h"

#include "Source/Platform/AtomicFloat.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Worker.h"
#include "support/FileSizeLimit.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Zelto;

TEST(FileWork, AFullDiskIsToldApartFromDamage)
{
    const std::string content(100000, 'q');
    TempDirectory folder;
    folder.WriteBytes(u"file.bin", "old");
    FetchedFile work;
    work.name = folder.Path(u"file.bin");
    work.expected = Md5(content.data(), uint32_t(content.size()));
    work.output.Start(work.name);
    work.unpacker.Start(work.output, uint32_t(content.size()));
    {
        FileSizeLimit limit(50000);
        ASSERT_TRUE(limit.active);
        bool taken = true;
        for (size_t at = 0; at < content.size() && taken; at += 10000)
            taken = work.unpacker.Take(reinterpret_cast<const uint8_t*>(content.data()) + at, 10000);
        EXPECT_FALSE(work.output.Drain() && taken) << "the writer found no room";
    }
    Finish(work);
    EXPECT_EQ(work.outcome, FileOutcome::DiskFull);
    EXPECT_EQ(folder.ReadBytes(u"file.bin"), "old");
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"file.bin.zelto-new")));
}
