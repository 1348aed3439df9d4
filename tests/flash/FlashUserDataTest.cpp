// The user-data file: appended item by item, each item cut to whole characters within 1023 UTF-8 bytes, and
// never left torn by a write that fails.
#include "StandInControl.h"
#include "WritesRefused.h"
#include "support/LogRecorder.h"

namespace Zelto
{
namespace
{

class FlashUserDataTest : public FlashHostFixture
{
};

TEST_F(FlashUserDataTest, ItemsAreAppendedAsUtf8WithinTheirLimit)
{
    struct Case
    {
        const char* what;
        std::vector<std::u16string> items;
        std::string content;
    };
    const std::u16string threeByteUnits(400, u'\u4E2D');
    std::string threeByteBytes;
    for (int i = 0; i < 341; ++i)
        threeByteBytes += "\xE4\xB8\xAD";
    const Case cases[] = {
        {"two items", {u"x", u"y"}, "xy"},
        {"empty items are skipped", {u"", u"a", u""}, "a"},
        {"nothing written", {u""}, ""},
        {"a long item keeps 341 whole characters", {threeByteUnits}, threeByteBytes},
        {"one byte per unit up to 1023", {std::u16string(1500, u'b')}, std::string(1023, 'b')},
        {"mixed widths", {u"\u00E9", u"\u20AC!"}, "\xC3\xA9\xE2\x82\xAC!"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FlashHost& made = MakeHost(); // removes the file of the case before
        for (const std::u16string& item : c.items)
            made.WriteUserData(String(item.c_str()));
        EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), c.content);
    }
}

// A write the system refuses leaves the file with what it had, and the item is reported lost; the next
// write appends as before.
TEST_F(FlashUserDataTest, AFailedWriteLeavesThePreviousContent)
{
    FlashHost& made = MakeHost();
    made.WriteUserData(String(u"kept"));
    {
        WritesRefused refused(folder.Native(u"flashdata.user"));
        ASSERT_TRUE(refused.active);
        RecordedLogs logs;
        made.WriteUserData(String(u"lost"));
        EXPECT_EQ(logs.trace.Lines(),
                  std::vector<std::u16string>{u"[FLASH] Failed to write flash user data: lost"});
    }
    EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), "kept");

    made.WriteUserData(String(u"!"));
    EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), "kept!");
}

// Items are added to the file itself, not to a copy renamed over it: a second name of the file (a hard link)
// sees every item.
TEST_F(FlashUserDataTest, ItemsAreAddedToTheFileNotToACopy)
{
    FlashHost& made = MakeHost();
    made.WriteUserData(String(u"first"));
    std::filesystem::create_hard_link(folder.Native(u"flashdata.user"), folder.Native(u"second-name"));
    made.WriteUserData(String(u"second"));
    EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), "firstsecond");
    EXPECT_EQ(folder.ReadBytes(u"second-name"), "firstsecond");
}

} // namespace
} // namespace Zelto
