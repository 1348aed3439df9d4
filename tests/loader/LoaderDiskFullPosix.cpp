// A disk that fills while the files come is told as such, the file is fetched again after a pause that grows
// but stays bounded, and nothing torn is left under a real name. The process's file-size limit stands in for
// the full disk.
#include "LoaderRoadFixture.h"

#include "support/FileSizeLimit.h"

#include <filesystem>

using namespace Zelto;

namespace
{

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST_F(LoaderRoad, AFullDiskIsReportedAndRetriedUntilThereIsRoom)
{
    server.Serve("/game.zoa", BuildPackage(DemoFiles()));
    {
        FileSizeLimit limit(300000); // below the sample engine's module
        ASSERT_TRUE(limit.active);
        Create();
        Setup(u"zoaurl", server.Url("/game.zoa"));
        ASSERT_TRUE(TickUntil([&] { return Count(ErrorLog(), "the disk is full") >= 2; })) << ErrorLog();
        std::string errors = ErrorLog();
        EXPECT_EQ(Count(errors,
                        "[Loader] zelto3d.zob cannot be written: the disk is full (failure 1): fetched "
                        "again in "),
                  1u)
            << errors;
        EXPECT_EQ(Count(errors, "does not match its digest"), 0u) << errors;
        EXPECT_FALSE(std::filesystem::exists(folder.Native(u"game\\zelto3d.zob")));
        EXPECT_FALSE(Running());
    }
    ASSERT_TRUE(TickUntil([&] { return Running(); })) << ErrorLog();
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"game\\zelto3d.zob.zelto-new")));
}
