// The default loading movie, read back through the module's resource lookup: a well-formed compressed SWF of
// format version 11 whose every frame reads "ZeltoLoaderProgress" and scales the placed bar by it.
#include "Common/DataBuffer.h"
#include "Source/Platform/File.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

enum TagCode : uint16_t
{
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    SetBackgroundColor = 9,
    DoAction = 12,
    PlaceObject2 = 26,
    FileAttributes = 69,
};

enum ActionCode : uint8_t
{
    ActionEnd = 0x00,
    ActionGetVariable = 0x1C,
    ActionSetProperty = 0x23,
    ActionPush = 0x96,
};

struct Tag
{
    uint16_t code;
    std::string body;
};

struct Action
{
    uint8_t code;
    std::vector<std::string> pushedTexts; // the strings an ActionPush puts on the stack, in order
};

struct Movie
{
    std::string signature;
    uint8_t version = 0;
    uint32_t statedLength = 0;
    uint16_t frameCount = 0;
    std::vector<Tag> tags;
};

uint32_t Little(const std::string& bytes, size_t at, size_t size)
{
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return value;
}

// Reads the header, inflates the body and splits it into tags, each checked to lie inside the body.
void ReadMovie(const DataBuffer& file, Movie& movie)
{
    const std::string bytes(reinterpret_cast<const char*>(file.Data()), file.Size());
    ASSERT_GE(bytes.size(), 8u);
    movie.signature = bytes.substr(0, 3);
    movie.version = uint8_t(bytes[3]);
    movie.statedLength = Little(bytes, 4, 4);
    ASSERT_GE(movie.statedLength, 8u);

    // One byte of room more than stated, so a body longer than the header says shows up as such.
    std::string body(movie.statedLength - 8 + 1, '\0');
    uLongf produced = uLongf(body.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&body[0]), &produced,
                         reinterpret_cast<const Bytef*>(bytes.data() + 8), uLong(bytes.size() - 8)),
              Z_OK);
    body.resize(produced);
    ASSERT_EQ(body.size() + 8, movie.statedLength);

    // Frame size (a bit-packed rectangle), frame rate, frame count.
    ASSERT_FALSE(body.empty());
    size_t rectangleBits = 5 + 4 * (uint8_t(body[0]) >> 3);
    size_t at = (rectangleBits + 7) / 8 + 4;
    ASSERT_LE(at, body.size());
    movie.frameCount = uint16_t(Little(body, at - 2, 2));

    while (movie.tags.empty() || movie.tags.back().code != End)
    {
        ASSERT_LE(at + 2, body.size()) << "a tag header runs past the end";
        uint32_t codeAndLength = Little(body, at, 2);
        at += 2;
        uint32_t length = codeAndLength & 0x3F;
        if (length == 0x3F)
        {
            ASSERT_LE(at + 4, body.size()) << "a long tag header runs past the end";
            length = Little(body, at, 4);
            at += 4;
        }
        ASSERT_LE(length, body.size() - at) << "tag " << (codeAndLength >> 6) << " runs past the end";
        movie.tags.push_back({uint16_t(codeAndLength >> 6), body.substr(at, length)});
        at += length;
    }
    EXPECT_EQ(at, body.size()) << "bytes after the End tag";
}

void ReadEmbeddedMovie(Movie& movie)
{
    DataBuffer file;
    ASSERT_TRUE(LoadEmbeddedResource(u"LOADING.SWF", file));
    ReadMovie(file, movie);
}

// Splits a DoAction body into actions; each action's data stays inside the tag, and ActionEnd closes it.
void ReadActions(const std::string& body, std::vector<Action>& actions)
{
    size_t at = 0;
    while (actions.empty() || actions.back().code != ActionEnd)
    {
        ASSERT_LT(at, body.size()) << "the actions run past the tag without ActionEnd";
        Action action{uint8_t(body[at++]), {}};
        if (action.code >= 0x80) // only these carry a length and data
        {
            ASSERT_LE(at + 2, body.size());
            size_t length = Little(body, at, 2);
            at += 2;
            ASSERT_LE(length, body.size() - at) << "action " << int(action.code) << " runs past the tag";
            const std::string data = body.substr(at, length);
            at += length;
            for (size_t item = 0; action.code == ActionPush && item < data.size();)
            {
                const uint8_t type = uint8_t(data[item++]);
                if (type == 0) // string, zero-terminated
                {
                    size_t end = data.find('\0', item);
                    ASSERT_NE(end, std::string::npos) << "a pushed string without its terminator";
                    action.pushedTexts.push_back(data.substr(item, end - item));
                    item = end + 1;
                }
                else
                {
                    ASSERT_EQ(type, 7) << "only strings and integers are pushed";
                    item += 4;
                    ASSERT_LE(item, data.size());
                }
            }
        }
        actions.push_back(action);
    }
    EXPECT_EQ(at, body.size()) << "bytes after ActionEnd";
}

// Whether a PlaceObject2 tag on the main timeline names its instance so. The name, when present, is the tag's
// last field but for clip actions, which this movie has none of.
bool PlacesInstanceNamed(const Movie& movie, const std::string& name)
{
    const std::string ending = name + '\0';
    for (const Tag& tag : movie.tags)
    {
        const uint8_t flags = tag.code == PlaceObject2 && !tag.body.empty() ? uint8_t(tag.body[0]) : 0;
        if ((flags & 0x20) != 0 && tag.body.size() > ending.size() &&
            tag.body.compare(tag.body.size() - ending.size(), ending.size(), ending) == 0)
            return true;
    }
    return false;
}

} // namespace

TEST(LoadingMovie, IsCompressedVersion11WithItsStatedLength)
{
    Movie movie;
    ASSERT_NO_FATAL_FAILURE(ReadEmbeddedMovie(movie));
    EXPECT_EQ(movie.signature, "CWS");
    EXPECT_EQ(movie.version, 11);
}

TEST(LoadingMovie, TagsMakeAnActionScript2MovieWithABarShape)
{
    Movie movie;
    ASSERT_NO_FATAL_FAILURE(ReadEmbeddedMovie(movie));
    ASSERT_FALSE(movie.tags.empty());
    // A version 8 or later movie opens with FileAttributes; ActionScript 3 off runs DoAction bytecode.
    ASSERT_EQ(movie.tags.front().code, FileAttributes);
    ASSERT_EQ(movie.tags.front().body.size(), 4u);
    EXPECT_EQ(uint8_t(movie.tags.front().body[0]) & 0x08, 0);

    auto count = [&](uint16_t code)
    {
        size_t found = 0;
        for (const Tag& tag : movie.tags)
            found += tag.code == code;
        return found;
    };
    EXPECT_EQ(count(SetBackgroundColor), 1u);
    EXPECT_GE(count(DefineShape), 1u);
    EXPECT_GE(movie.frameCount, 1u);
    EXPECT_EQ(count(ShowFrame), movie.frameCount);
    EXPECT_EQ(count(End), 1u);
}

TEST(LoadingMovie, EveryFrameReadsTheProgressAndScalesAPlacedInstance)
{
    Movie movie;
    ASSERT_NO_FATAL_FAILURE(ReadEmbeddedMovie(movie));
    size_t frame = 0;
    bool readsProgress = false;
    for (const Tag& tag : movie.tags)
    {
        if (tag.code == ShowFrame)
        {
            EXPECT_TRUE(readsProgress) << "frame " << frame;
            ++frame;
            readsProgress = false;
        }
        if (tag.code != DoAction)
            continue;
        std::vector<Action> actions;
        ASSERT_NO_FATAL_FAILURE(ReadActions(tag.body, actions));
        // Push "ZeltoLoaderProgress" on top, ActionGetVariable, and later ActionSetProperty on the target
        // that was pushed first: a placed instance.
        for (size_t i = 0; i + 1 < actions.size(); ++i)
        {
            const std::vector<std::string>& texts = actions[i].pushedTexts;
            if (texts.empty() || texts.back() != "ZeltoLoaderProgress" ||
                actions[i + 1].code != ActionGetVariable)
                continue;
            bool scaled = false;
            for (size_t j = i + 2; j < actions.size(); ++j)
                scaled = scaled || actions[j].code == ActionSetProperty;
            EXPECT_TRUE(scaled);
            ASSERT_GE(texts.size(), 2u);
            EXPECT_TRUE(PlacesInstanceNamed(movie, texts.front())) << texts.front();
            readsProgress = true;
        }
    }
    EXPECT_EQ(frame, movie.frameCount);
}
