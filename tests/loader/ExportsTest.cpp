// The plug-in as a host drives it: the eight exports, the thread-local slot and the log routing.
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/Host/Plugin.h"
#include "Source/Platform/System.h"
#include "support/Environment.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Zelto;

namespace
{

class Exports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteEnvironmentVariable(u"[ZELTO-DEBUG]", nullptr);
        ASSERT_TRUE(ChangeCurrentDirectory(folder.Path().Text()));
        String error;
        ASSERT_TRUE(plugin.Load(PluginBesideExecutable().Text(), error)) << error.Length();
    }
    void TearDown() override
    {
        plugin.destroy();
        plugin.Unload();
        ChangeCurrentDirectory(startDirectory.Text());
        WriteEnvironmentVariable(u"[ZELTO-DEBUG]", nullptr);
    }

    // What every export answers on a thread without a loader.
    void ExpectDefaults()
    {
        EXPECT_EQ(plugin.message(0, 5, 0, 0x00640064), 1);
        EXPECT_EQ(plugin.progress(), 0.0f);
        EXPECT_EQ(plugin.update(0, 16), 1);
        plugin.render();
        plugin.setup(nullptr, nullptr);
        plugin.start();
    }

    String LogName(const char16_t* channel)
    {
        String executable = PathFileName(ExecutablePath().Text(), false, false);
        return Format(u"%ls-loader-[%ls].log", executable.Text(), channel);
    }
    String LogPath(const char16_t* channel) { return folder.Path(LogName(channel).Text()); }

    // The text after the byte-order mark. Read with full sharing: the plug-in may still hold the file open.
    String ReadLog(const char16_t* channel)
    {
        std::string bytes = folder.ReadBytes(LogName(channel).Text());
        if (bytes.size() < 2)
            return String();
        return String(reinterpret_cast<const char16_t*>(bytes.data() + 2), int32_t(bytes.size() / 2 - 1));
    }

    String startDirectory = CurrentDirectory();
    TempDirectory folder;
    Plugin plugin;
};

} // namespace

TEST_F(Exports, AnswerDefaultsWithoutALoader)
{
    ExpectDefaults();
    EXPECT_NE(plugin.destroy(), 0);
    ExpectDefaults();
}

TEST_F(Exports, ReachTheLoaderOnItsThreadOnly)
{
    HostWindow window(16, 16, nullptr); // the loading screen draws into it
    ASSERT_EQ(plugin.create(window.Handle(), 0, 0, 0, 0), 1);
    EXPECT_EQ(plugin.message(0, 5, 0, 0x00640064), 0); // the loader answers: no engine yet
    EXPECT_EQ(plugin.progress(), 0.0f);
    EXPECT_EQ(plugin.update(0, 16), 1);
    plugin.render();
    plugin.setup(nullptr, nullptr);
    plugin.setup(reinterpret_cast<const ZeltoChar*>(u"loadervar"),
                 reinterpret_cast<const ZeltoChar*>(u"a|1|b"));
    plugin.setup(reinterpret_cast<const ZeltoChar*>(u"serverdata"), nullptr);

    std::thread other([this] { ExpectDefaults(); });
    other.join();

    EXPECT_NE(plugin.destroy(), 0);
    ExpectDefaults();
}

TEST_F(Exports, LogFilesBesideTheHostAreUtf16WithByteOrderMark)
{
    int dummyWindow = 0;
    plugin.create(&dummyWindow, 0, 0, 0, 0);
    plugin.destroy();
    for (const char16_t* channel : {u"Trace", u"Error"})
    {
        std::string bytes = folder.ReadBytes(LogName(channel).Text());
        ASSERT_GE(bytes.size(), 2u) << int(channel[0]);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
        EXPECT_EQ(bytes.size() % 2, 0u);
    }
    String text = ReadLog(u"Trace");
    EXPECT_GE(text.Find(u"[Loader] Loader created: session "), 0);
    EXPECT_GE(text.Find(u"\r\n"), 0);
}

TEST_F(Exports, DebugVariableChoosesTheConsoleOnlyWhenExactlyYes)
{
    struct Case
    {
        const char16_t* value;
        bool files;
    };
    for (Case c : {Case{u"YES", false}, Case{u"yes", true}, Case{u"YES ", true}})
    {
        DeleteFileAt(LogPath(u"Trace").Text());
        DeleteFileAt(LogPath(u"Error").Text());
        WriteEnvironmentVariable(u"[ZELTO-DEBUG]", c.value);
        int dummyWindow = 0;
        plugin.create(&dummyWindow, 0, 0, 0, 0);
        plugin.destroy();
        EXPECT_EQ(FileExists(LogPath(u"Trace").Text()), c.files) << String(c.value).Length();
        EXPECT_EQ(FileExists(LogPath(u"Error").Text()), c.files);
    }
}

TEST_F(Exports, SessionIdAndBuildStampHaveTheirForms)
{
    int dummyWindow = 0;
    plugin.create(&dummyWindow, 0, 0, 0, 0);
    plugin.destroy();
    String text = ReadLog(u"Trace");
    int32_t at = text.Find(u"session ");
    ASSERT_GE(at, 0);
    // "<MAC or empty>_yyyymmddhhmmss, build Www_Mmm_dd_hh:mm:ss_yyyy"
    String rest(text.Text() + at + 8);
    int32_t underscore = rest.FindChar(u'_');
    ASSERT_GE(underscore, 0);
    EXPECT_TRUE(underscore == 0 || underscore == 17) << underscore;
    for (int i = 1; i <= 14; ++i)
        EXPECT_TRUE(rest[uint32_t(underscore + i)] >= u'0' && rest[uint32_t(underscore + i)] <= u'9');
    int32_t build = rest.Find(u", build ");
    ASSERT_GE(build, 0);
    String stamp(rest.Text() + build + 8, 24);
    EXPECT_EQ(stamp.FindChar(u' '), -1);
    EXPECT_EQ(stamp[3], u'_');
    EXPECT_EQ(stamp[19], u'_');
}
