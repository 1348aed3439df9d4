// System services: the thread slot, environment, process paths, modules and the MAC address text.
#include "Source/Platform/System.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "support/TempDirectory.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

using namespace Zelto;

TEST(System, ThreadSlotHoldsOneValuePerThread)
{
    ASSERT_TRUE(ThreadSlotCreate());
    int mine = 0;
    int theirs = 0;
    EXPECT_EQ(ThreadSlotGet(), nullptr);
    EXPECT_TRUE(ThreadSlotSet(&mine));

    void* seenBefore = &mine;
    void* seenAfter = nullptr;
    bool set = false;
    std::thread other(
        [&]
        {
            seenBefore = ThreadSlotGet();
            set = ThreadSlotSet(&theirs);
            seenAfter = ThreadSlotGet();
        });
    other.join();

    EXPECT_EQ(seenBefore, nullptr); // the value set on this thread is not seen on the other
    EXPECT_TRUE(set);
    EXPECT_EQ(seenAfter, &theirs);
    EXPECT_EQ(ThreadSlotGet(), &mine); // nor the other's value here
    EXPECT_TRUE(ThreadSlotSet(nullptr));
    ThreadSlotDestroy();
    EXPECT_EQ(ThreadSlotGet(), nullptr);
    EXPECT_FALSE(ThreadSlotSet(&mine));
}

TEST(System, EnvironmentVariablesAreReadAndCut)
{
    // PATH is set for every test run on both targets; the C library's copy is the reference.
    const char* path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    std::u16string whole = Text(AnsiToString(path));
    ASSERT_GE(whole.size(), 4u);
    struct Case
    {
        const char16_t* name;
        uint32_t maxUnits;
        bool found;
        std::u16string value;
    } cases[] = {
        {u"PATH", 1024 * 1024, true, whole},
        {u"PATH", uint32_t(whole.size() + 1), true, whole},
        {u"PATH", uint32_t(whole.size()), true, whole.substr(0, whole.size() - 1)},
        {u"PATH", 4, true, whole.substr(0, 3)},
        {u"PATH", 1, true, u""},
        {u"ZELTO_SURELY_NOT_SET_4711", 1024, false, u""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.maxUnits);
        String value(u"stale");
        EXPECT_EQ(ReadEnvironmentVariable(c.name, c.maxUnits, value), c.found);
        EXPECT_EQ(Text(value), c.value);
    }
}

TEST(System, ProcessPaths)
{
    String executable = ExecutablePath();
    EXPECT_EQ(Text(PathFileName(executable.Text(), false, false)), u"zelto_core_tests");
    EXPECT_TRUE(FileExists(executable.Text()));

    String current = CurrentDirectory();
    EXPECT_EQ(Text(current), std::filesystem::current_path().u16string());
    EXPECT_TRUE(DirectoryExists(current.Text()));
}

TEST(System, LocalTimeIsACalendarTime)
{
    LocalTime now = CurrentLocalTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
    EXPECT_TRUE(now.second >= 0 && now.second <= 60);
}

TEST(System, ModulesThatCannotLoadGiveNull)
{
    TempDirectory temp;
    temp.WriteBytes(u"text.zob", "not a module");
    const String paths[] = {temp.Path(u"missing.zob"), temp.Path(u"text.zob"), u""};
    for (const String& path : paths)
    {
        SCOPED_TRACE(std::filesystem::path(std::u16string(path.Text())).string());
        EXPECT_EQ(LoadModule(path.Text()), nullptr);
    }
    EXPECT_EQ(LoadModule(nullptr), nullptr);
    EXPECT_EQ(ModuleSymbol(nullptr, "_ZobCreate"), nullptr);
    UnloadModule(nullptr);
}

TEST(System, MacAddressTextIsEmptyOrSixUpperCaseBytes)
{
    std::u16string text = Text(LocalMacAddress());
    if (text.empty())
        return; // no Ethernet adapter carries the host name's address here
    ASSERT_EQ(text.size(), 17u);
    for (size_t i = 0; i < text.size(); ++i)
    {
        char16_t ch = text[i];
        if (i % 3 == 2)
            EXPECT_EQ(ch, u':');
        else
            EXPECT_TRUE((ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F')) << i;
    }
}
