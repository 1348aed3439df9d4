// The host's life over a stand-in control: construction, opening a movie, resizing, teardown.
#include "Source/Platform/File.h"
#include "StandInControl.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <cstring>

namespace Zelto
{
namespace
{

using Calls = std::vector<std::string>;

class FlashHostTest : public FlashHostFixture
{
};

TEST_F(FlashHostTest, ConstructionSetsTheBackgroundAndReportsTheVersion)
{
    struct Case
    {
        std::u16string version;
        std::vector<std::pair<std::u16string, std::u16string>> setups;
    };
    const Case cases[] = {
        {u"WIN 11,9,900,170", {{u"flashversion", u"WIN_11_9_900_170"}}},
        {u"LNX 9,0", {{u"flashversion", u"LNX_9_0"}}},
        {u"", {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(String(c.version.c_str())));
        platform.record = MovieRecord();
        loader.setups.clear();
        SetMovieVariable(u"$version", c.version);
        FlashHost& made = MakeHost();
        EXPECT_TRUE(made.ControlCreated());
        EXPECT_EQ(platform.record.calls, Calls{"put_BackgroundColor 0"});
        EXPECT_EQ(loader.setups, c.setups);
        EXPECT_EQ(platform.containerSize.width, 640);
        EXPECT_EQ(platform.containerSize.height, 480);
    }
}

TEST_F(FlashHostTest, ConstructionRemovesThePreviousRunsUserData)
{
    for (bool hasControl : {true, false})
    {
        folder.WriteBytes(u"flashdata.user", "from the previous run");
        platform.hasControl = hasControl;
        EXPECT_EQ(MakeHost().ControlCreated(), hasControl);
        EXPECT_FALSE(std::filesystem::exists(folder.Native(u"flashdata.user")));
    }
}

TEST_F(FlashHostTest, WithoutAControlEveryOperationDoesNothing)
{
    platform.hasControl = false;
    FlashHost& made = MakeHost();
    EXPECT_FALSE(made.OpenMovie(u"stand-in-movie.swf"));
    made.Resize(800, 600);
    made.Tick();
    made.SetMovieVariable(String(u"a"), String(u"1"));
    EXPECT_TRUE(platform.record.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.Native(u"stand-in-movie.swf")));
}

TEST_F(FlashHostTest, OpeningAMovieCallsTheControlInOrder)
{
    MakeHost().OpenMovie(u"stand-in-movie.swf");
    Calls expected = {"put_BackgroundColor 0"};
    Calls opening = MovieOpeningCalls("stand-in-movie.swf", ClientArea{640, 480});
    expected.insert(expected.end(), opening.begin(), opening.end());
    EXPECT_EQ(platform.record.calls, expected);
}

std::string Packed(const std::string& bytes)
{
    DataBuffer block;
    String error;
    EXPECT_TRUE(PackBlock(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()), PackedZlib,
                          block, error));
    return std::string(reinterpret_cast<const char*>(block.Data()), block.Size());
}

// The test program embeds "STAND-IN-MOVIE.SWF"; files come from the current directory and
// every movie is written back there, unpacked, for the control to load.
TEST_F(FlashHostTest, OpenMovieTakesTheResourceThenTheFileAndWritesItBack)
{
    const std::string resource = "FWS stand-in movie from the resource";
    struct Case
    {
        const char* name;
        const char16_t* file; // what the folder holds under that name, if anything
        std::string fileBytes;
        bool accepted; // the control's answer to LoadMovie
        bool opened;
        std::string written; // the file afterwards
    };
    const Case cases[] = {
        {"stand-in-movie.swf", nullptr, "", true, true, resource},
        {"stand-in-movie.swf", u"stand-in-movie.swf", "an older movie, longer than the resource's bytes",
         true, true, resource},
        {"loader.swf", u"loader.swf", Packed("a packed movie beside the host"), true, true,
         "a packed movie beside the host"},
        {"loader.swf", u"loader.swf", "a plain movie", true, true, "a plain movie"},
        {"loader.swf", u"loader.swf", "not a movie the control takes", false, false,
         "not a movie the control takes"},
        {"loader.swf", u"loader.swf", "", true, false, ""},
        {"loader.swf", nullptr, "", true, false, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.name) + " holding \"" + c.fileBytes + "\"");
        std::filesystem::remove(folder.Native(u"stand-in-movie.swf"));
        std::filesystem::remove(folder.Native(u"loader.swf"));
        if (c.file != nullptr)
            folder.WriteBytes(c.file, c.fileBytes);
        platform.record = MovieRecord();
        platform.record.acceptsMovies = c.accepted;
        String name = String(std::u16string(c.name, c.name + std::strlen(c.name)).c_str());
        EXPECT_EQ(MakeHost().OpenMovie(name.Text()), c.opened);
        EXPECT_EQ(folder.ReadBytes(name.Text()), c.written);
        Calls loads = platform.record.Calls("LoadMovie");
        bool found =
            (c.file != nullptr && !c.fileBytes.empty()) || std::string(c.name) == "stand-in-movie.swf";
        EXPECT_EQ(loads, found ? Calls{"LoadMovie 0 " + MoviePath(c.name)} : Calls{});
        EXPECT_EQ(platform.record.Calls("Play").size(), c.opened ? 1u : 0u);
    }
}

TEST_F(FlashHostTest, ResizeFitsTheContainerAndTheZoomRect)
{
    FlashHost& made = PlayingHost();
    made.Resize(0, 300);
    made.Resize(800, 0);
    EXPECT_TRUE(platform.record.calls.empty());
    made.Resize(800, 600);
    EXPECT_EQ(platform.record.calls, (Calls{"ResizeContainer 800 600", "SetZoomRect 0 0 800 600"}));
}

TEST_F(FlashHostTest, AnEmptyWindowIsFittedOnTheFirstTickAfterItGotASize)
{
    platform.area = ClientArea{800, 0};
    FlashHost& made = MakeHost();
    EXPECT_EQ(platform.containerSize.width, 1);
    EXPECT_EQ(platform.containerSize.height, 1);
    made.OpenMovie(u"stand-in-movie.swf");
    EXPECT_TRUE(platform.record.Calls("SetZoomRect").empty());

    platform.area = ClientArea{1024, 768};
    made.Tick();
    made.Tick();
    EXPECT_EQ(platform.record.Calls("ResizeContainer"), Calls{"ResizeContainer 1024 768"});
    EXPECT_EQ(platform.record.Calls("SetZoomRect"), Calls{"SetZoomRect 0 0 1024 768"});
}

TEST_F(FlashHostTest, AWindowStillEmptyAtTheFirstTickWaitsForASizeMessage)
{
    platform.area = ClientArea{0, 0};
    FlashHost& made = PlayingHost();
    made.Tick();
    platform.area = ClientArea{1024, 768};
    made.Tick();
    EXPECT_TRUE(platform.record.Calls("ResizeContainer").empty());
    made.Resize(1024, 768);
    EXPECT_EQ(platform.record.Calls("ResizeContainer"), Calls{"ResizeContainer 1024 768"});
}

TEST_F(FlashHostTest, DestructionReleasesTheControl)
{
    MakeHost();
    EXPECT_FALSE(platform.record.destroyed);
    host.reset();
    EXPECT_TRUE(platform.record.destroyed);
}

} // namespace
} // namespace Zelto
