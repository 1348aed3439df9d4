// The exchange with a playing movie, the stand-in control playing the movie's part.
#include "StandInControl.h"
#include "support/LogRecorder.h"

namespace Zelto
{
namespace
{

using Calls = std::vector<std::string>;
using Setups = std::vector<std::pair<std::u16string, std::u16string>>;

class FlashExchangeTest : public FlashHostFixture
{
};

TEST_F(FlashExchangeTest, EveryTickWritesProgressThenSpeed)
{
    FlashHost& made = PlayingHost();
    loader.progress = 0.4f;
    loader.speed = 12.5f;
    made.Tick();
    loader.progress = 1.0f;
    loader.speed = 0.0f;
    made.Tick();
    const Calls expected = {
        "SetVariable ZeltoLoaderProgress=0.400",
        "SetVariable ZeltoLoaderSpeed=12.500",
        "SetVariable ZeltoLoaderProgress=1.000",
        "SetVariable ZeltoLoaderSpeed=0.000",
    };
    EXPECT_EQ(platform.record.Calls("SetVariable"), expected);
}

TEST_F(FlashExchangeTest, AWatchedVariableReachesSetupOnce)
{
    FlashHost& made = PlayingHost();
    made.Tick();
    EXPECT_TRUE(loader.setups.empty());

    SetMovieVariable(u"zoaurl", u"http://127.0.0.1/game.zoa");
    made.Tick();
    made.Tick();
    EXPECT_EQ(loader.setups, (Setups{{u"zoaurl", u"http://127.0.0.1/game.zoa"}}));

    // The other three stay watched; a value set back to "null" or emptied is not forwarded.
    SetMovieVariable(u"zoaparam", u"");
    SetMovieVariable(u"selectedserver", u"null");
    SetMovieVariable(u"appversion", u"1.2");
    SetMovieVariable(u"zoaurl", u"http://127.0.0.1/other.zoa");
    made.Tick();
    SetMovieVariable(u"selectedserver", u"eu-2");
    made.Tick();
    made.Tick();
    const Setups expected = {
        {u"zoaurl", u"http://127.0.0.1/game.zoa"},
        {u"appversion", u"1.2"},
        {u"selectedserver", u"eu-2"},
    };
    EXPECT_EQ(loader.setups, expected);
}

TEST_F(FlashExchangeTest, ReopeningAMovieWatchesEveryVariableAgain)
{
    FlashHost& made = PlayingHost();
    SetMovieVariable(u"zoaurl", u"first");
    made.Tick();
    ASSERT_TRUE(made.OpenMovie(u"stand-in-movie.swf")); // sets the four back to "null"
    SetMovieVariable(u"zoaurl", u"second");
    made.Tick();
    EXPECT_EQ(loader.setups, (Setups{{u"zoaurl", u"first"}, {u"zoaurl", u"second"}}));
}

TEST_F(FlashExchangeTest, ATraceLineIsLoggedOncePerIndexChange)
{
    struct Case
    {
        std::vector<std::u16string> indexes; // "traceindex" before each tick
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {{u"1", u"1"}, {u"[ZG] Loader log 1 : message 1"}},
        {{u"1", u"2", u"1"},
         {u"[ZG] Loader log 1 : message 1", u"[ZG] Loader log 2 : message 2",
          u"[ZG] Loader log 1 : message 1"}},
        {{u"null", u"", u"null"}, {}},
        {{u"7"}, {u"[ZG] Loader log 7 : "}}, // the movie never set "tracemsg7"
    };
    for (const Case& c : cases)
    {
        platform.record = MovieRecord();
        SetMovieVariable(u"tracemsg1", u"message 1");
        SetMovieVariable(u"tracemsg2", u"message 2");
        FlashHost& made = PlayingHost();
        RecordedLogs logs;
        for (const std::u16string& index : c.indexes)
        {
            SetMovieVariable(u"traceindex", index);
            made.Tick();
        }
        EXPECT_EQ(logs.trace.Lines(), c.lines);
    }
}

TEST_F(FlashExchangeTest, UserDataItemsReachTheFileOncePerIndexChange)
{
    FlashHost& made = PlayingHost();
    SetMovieVariable(u"userdata1", u"x");
    SetMovieVariable(u"userdata2", u"y");
    for (const char16_t* index : {u"1", u"1", u"null", u"2", u"2"})
    {
        SetMovieVariable(u"userdataindex", index);
        made.Tick();
    }
    EXPECT_EQ(folder.ReadBytes(u"flashdata.user"), "xy");
}

TEST_F(FlashExchangeTest, VariablePairsAreSetInOrder)
{
    struct Case
    {
        const char16_t* pairs;
        Calls calls;
    };
    const Case cases[] = {
        {u"a|1|b| 2 |c", {"SetVariable a=1", "SetVariable b=2"}},
        {u"\tname\t|value with inner space", {"SetVariable name=value with inner space"}},
        {u"lonely", {}},
        {u"", {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(String(c.pairs)));
        FlashHost& made = PlayingHost();
        made.SetMovieVariables(String(c.pairs));
        EXPECT_EQ(platform.record.calls, c.calls);
    }
}

TEST_F(FlashExchangeTest, NothingIsReadBeforeAMovieIsOpen)
{
    FlashHost& made = MakeHost();
    SetMovieVariable(u"zoaurl", u"http://127.0.0.1/game.zoa");
    made.Tick();
    EXPECT_TRUE(loader.setups.empty());
}

} // namespace
} // namespace Zelto
