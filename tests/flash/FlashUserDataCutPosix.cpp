// A write cut off halfway by the system (here: the file-size limit, as a full disk would) leaves the
// user-data file as it was.
#include "StandInControl.h"
#include "WritesRefused.h"
#include "support/LogRecorder.h"

namespace Zelto
{
namespace
{

class FlashUserDataCutTest : public FlashHostFixture
{
};

TEST_F(FlashUserDataCutTest, AWriteCutOffHalfwayLeavesTheOldFile)
{
    FlashHost& made = MakeHost();
    made.WriteUserData(String(u"0123456789"));
    RecordedLogs logs;
    {
        FileSizeLimit limit(15); // the new content (20 bytes) stops halfway through the new item
        ASSERT_TRUE(limit.active);
        made.WriteUserData(String(u"abcdefghij"));
    }
    EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), "0123456789");
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"flashdata.user.new")));
    EXPECT_EQ(logs.trace.Count(u"[FLASH] Failed to write flash user data: abcdefghij"), 1u);
}

} // namespace
} // namespace Zelto
