// A file written beside its target under a temporary name: until it replaces the target in one step, the
// target is the old file, whole; after, the new one; a file that is not put in place leaves nothing behind.
#include "Source/Platform/ReplacingFile.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace Zelto;

TEST(ReplacingFile, TheTargetIsTheOldFileOrTheNewOne)
{
    enum class End
    {
        Replaced,
        Abandoned,
        Dropped, // the object goes without either, as when its owner is stopped
    };
    struct Case
    {
        const char* name;
        End end;
        const char* target; // what the target holds at the end
    } cases[] = {
        {"replaced", End::Replaced, "the new content, longer"},
        {"abandoned", End::Abandoned, "old"},
        {"dropped", End::Dropped, "old"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDirectory folder;
        folder.WriteBytes(u"data.bin", "old");
        {
            ReplacingFile file;
            ASSERT_TRUE(file.Begin(folder.Path(u"data.bin").Text()));
            ASSERT_TRUE(file.Write("the new ", 8));
            EXPECT_EQ(folder.ReadBytes(u"data.bin"), "old") << "untouched while the new file is written";
            ASSERT_TRUE(file.Write("content, longer", 15));
            if (c.end == End::Replaced)
                EXPECT_TRUE(file.Replace(folder.Path(u"data.bin").Text()));
            else if (c.end == End::Abandoned)
                file.Abandon();
        }
        EXPECT_EQ(folder.ReadBytes(u"data.bin"), c.target);
        EXPECT_FALSE(std::filesystem::exists(folder.Native(u"data.bin.zelto-new")));
    }
}

TEST(ReplacingFile, AFolderInTheWayKeepsTheNewFileForAnotherTry)
{
    TempDirectory folder;
    std::filesystem::create_directory(folder.Native(u"data.bin"));
    ReplacingFile file;
    ASSERT_TRUE(file.Begin(folder.Path(u"data.bin").Text()));
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_FALSE(file.Replace(folder.Path(u"data.bin").Text()));
    EXPECT_EQ(file.Fault(), WriteFault::None);
    std::filesystem::remove(folder.Native(u"data.bin"));
    EXPECT_TRUE(file.Replace(folder.Path(u"data.bin").Text()));
    EXPECT_EQ(folder.ReadBytes(u"data.bin"), "new");
}

TEST(ReplacingFile, TemporaryNamesAreToldIgnoringCase)
{
    EXPECT_TRUE(NameEndsIn(u"data.bin.ZELTO-NEW", TemporaryFileSuffix));
    EXPECT_TRUE(NameEndsIn(u".zelto-new", TemporaryFileSuffix));
    EXPECT_FALSE(NameEndsIn(u"zelto-new", TemporaryFileSuffix));
    EXPECT_FALSE(NameEndsIn(u"data.bin", TemporaryFileSuffix));
}
