// Packed blocks: recognised by their header, unpacked through zlib or LZMA, left alone otherwise; failures
// keep the packed bytes and log the decoder's result code.
#include "Source/Platform/Decompress.h"

#include "Common/Log.h"

#include "support/Text.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

using Bytes = std::vector<uint8_t>;

// The unpacked bytes of both fixtures: 40 lines "00: packed blocks unpack\n" to "39: ...", 1000 bytes.
Bytes Payload()
{
    Bytes text;
    for (int line = 0; line < 40; ++line)
    {
        char piece[32];
        int length = std::snprintf(piece, sizeof(piece), "%02d: packed blocks unpack\n", line);
        text.insert(text.end(), piece, piece + length);
    }
    return text;
}

// Made from Payload() by Python's zlib.compress(text, 9).
const Bytes ZlibStream = {
    0x78, 0xDA, 0x75, 0xCF, 0xBB, 0x0D, 0x02, 0x41, 0x10, 0x05, 0x41, 0x9F, 0x28, 0x36, 0x84, 0x9D,
    0x79, 0xFC, 0xB3, 0x81, 0x03, 0xEB, 0x10, 0x20, 0x21, 0xF2, 0x47, 0x04, 0x50, 0x66, 0xAB, 0xAD,
    0x9A, 0xF3, 0x3C, 0xDE, 0x97, 0x65, 0xBD, 0xDF, 0xC6, 0xF5, 0xF1, 0x5A, 0xD6, 0xCF, 0xF8, 0x3E,
    0xFF, 0xBD, 0x99, 0xA5, 0xD1, 0x1A, 0xD1, 0xD8, 0x6A, 0xEC, 0x34, 0xF6, 0x1A, 0x07, 0x8D, 0xA3,
    0xC6, 0x09, 0xA3, 0x24, 0x2F, 0xC9, 0x4B, 0xF2, 0x92, 0xBC, 0x24, 0x2F, 0xC9, 0x4B, 0xF2, 0x92,
    0xBC, 0x24, 0x2F, 0xC9, 0x5B, 0xF2, 0x96, 0xBC, 0x25, 0x6F, 0xC9, 0x5B, 0xF2, 0x96, 0xBC, 0x25,
    0x6F, 0xC9, 0x5B, 0xF2, 0x96, 0x3C, 0x92, 0x47, 0xF2, 0x48, 0x1E, 0xC9, 0x23, 0x79, 0x24, 0x8F,
    0xE4, 0x91, 0x3C, 0x92, 0x47, 0xF2, 0x1F, 0x96, 0x0B, 0x51, 0xE0,
};

// Made from Payload() by `xz --format=raw --lzma1=lc=3,lp=0,pb=2,dict=64KiB`, which ends it with an end mark.
const Bytes LzmaStream = {
    0x00, 0x18, 0x60, 0xE4, 0x40, 0x74, 0x33, 0x08, 0xA3, 0xAB, 0x67, 0xA3, 0x59, 0x6B, 0x4A, 0x6D, 0xBF,
    0x8D, 0x7C, 0x72, 0x22, 0xC2, 0xCF, 0xAA, 0x3E, 0x2B, 0xB9, 0x72, 0xC6, 0xF7, 0x95, 0xE8, 0x60, 0x7C,
    0x50, 0xF5, 0xE6, 0x19, 0x72, 0x08, 0xAC, 0xBB, 0xFC, 0x44, 0xC8, 0xE4, 0xFE, 0x4E, 0xDD, 0x4B, 0x92,
    0x14, 0x3B, 0x38, 0x7F, 0xBD, 0xF5, 0xA5, 0x01, 0x37, 0x3F, 0xDF, 0x6B, 0xB9, 0x0E, 0x29, 0x4C, 0x2A,
    0x4A, 0x17, 0xB5, 0x62, 0xC3, 0x98, 0x0D, 0x4E, 0x96, 0x91, 0xBA, 0x05, 0xD4, 0xB5, 0xE1, 0x73, 0x01,
    0x22, 0x14, 0x62, 0x59, 0x89, 0x05, 0x03, 0x1E, 0x24, 0x54, 0xDE, 0x05, 0x2B, 0x53, 0xC4, 0xEF, 0x5E,
    0xE6, 0x8B, 0x4A, 0x97, 0x85, 0x14, 0xFF, 0xFF, 0x93, 0x65, 0x00, 0x00,
};

const Bytes StandardProperties = {0x5D, 0x00, 0x00, 0x01, 0x00}; // lc 3, lp 0, pb 2, 64 KiB dictionary
constexpr uint8_t Zlib = 1;
constexpr uint8_t Lzma = 0;

// A packed block: magic, properties (5 bytes and 2 unused), method, stated size, stream.
Bytes Block(uint8_t method, uint32_t size, const Bytes& stream, const Bytes& properties = StandardProperties)
{
    Bytes block = {0xF7, 0xF4, 0xE4, 0xC8, 0xCA, 0xD7, 0xD5, 0xC2};
    block.insert(block.end(), properties.begin(), properties.end());
    block.insert(block.end(), {0xEE, 0xEE, method});
    for (int shift = 0; shift < 32; shift += 8)
        block.push_back(uint8_t(size >> shift));
    block.insert(block.end(), stream.begin(), stream.end());
    return block;
}

Bytes ZlibPacked(const Bytes& bytes)
{
    uLongf size = compressBound(uLong(bytes.size()));
    Bytes packed(size);
    compress2(packed.data(), &size, bytes.data(), uLong(bytes.size()), 9);
    packed.resize(size);
    return packed;
}

Bytes Cut(const Bytes& bytes, size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + length);
}

Bytes Changed(Bytes bytes, size_t index, uint8_t value)
{
    bytes[index] = value;
    return bytes;
}

Bytes Contents(const DataBuffer& buffer)
{
    return Bytes(buffer.Data(), buffer.Data() + buffer.Size());
}

// Records the text of every line per channel; the two channels are separate sinks.
class Unpacking : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedTrace = TraceSink();
        savedError = ErrorSink();
        savedSwitches = LogSettings();
        TraceSink() = LogSink{Record, &trace};
        ErrorSink() = LogSink{Record, &error};
        LogSettings().timeStamp = 0;
    }
    void TearDown() override
    {
        TraceSink() = savedTrace;
        ErrorSink() = savedError;
        LogSettings() = savedSwitches;
    }

    static int Record(const char16_t* text, void* context, int)
    {
        static_cast<std::vector<std::u16string>*>(context)->emplace_back(text);
        return 0;
    }

    // Unpacks a buffer holding `block` (named, with the cursor moved) and checks that it is left untouched.
    void ExpectUntouched(const Bytes& block, bool result)
    {
        DataBuffer buffer;
        ASSERT_TRUE(buffer.Attach(block.data(), uint32_t(block.size()), true));
        buffer.name = String(u"packed");
        EXPECT_EQ(Unpack(buffer), result);
        EXPECT_EQ(Contents(buffer), block);
        EXPECT_EQ(Text(buffer.name), u"packed");
    }

    LogSink savedTrace, savedError;
    LogSwitches savedSwitches;
    std::vector<std::u16string> trace, error;
};

} // namespace

TEST_F(Unpacking, LeavesDataThatIsNotAPackedBlockAlone)
{
    Bytes block = Block(Zlib, 1000, ZlibStream);
    struct Case
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"19 bytes of a header", Cut(block, 19)},
        {"first magic byte wrong", Changed(block, 0, 0xF6)},
        {"last magic byte wrong", Changed(block, 7, 0xC3)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ExpectUntouched(c.bytes, true);
    }
    EXPECT_TRUE(trace.empty());
}

TEST_F(Unpacking, ReplacesAPackedBlockByItsBytes)
{
    Bytes payload = Payload();
    struct Case
    {
        const char* name;
        Bytes block;
        Bytes expected;
    } cases[] = {
        {"zlib", Block(Zlib, 1000, ZlibStream), payload},
        {"any method but 0 is zlib", Block(0xFF, 1000, ZlibStream), payload},
        {"zlib stream ending before the stated size", Block(Zlib, 1500, ZlibStream), payload},
        {"LZMA", Block(Lzma, 1000, LzmaStream), payload},
        {"LZMA end mark before the stated size", Block(Lzma, 1500, LzmaStream), payload},
        {"LZMA stops once the stated size is filled", Block(Lzma, 10, LzmaStream), Cut(payload, 10)},
        {"LZMA dictionary below 4096 is raised", Block(Lzma, 1000, LzmaStream, {0x5D, 0x00, 0x01, 0, 0}),
         payload},
        {"LZMA dictionary of 4 GiB", Block(Lzma, 1000, LzmaStream, {0x5D, 0xFF, 0xFF, 0xFF, 0xFF}), payload},
        {"stated size 0, whatever follows", Block(Lzma, 0, {0xBA, 0xD0}), {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DataBuffer buffer;
        ASSERT_TRUE(buffer.Attach(c.block.data(), uint32_t(c.block.size()), false)); // borrowed bytes too
        buffer.name = String(u"packed");
        EXPECT_TRUE(Unpack(buffer));
        EXPECT_EQ(Contents(buffer), c.expected);
        EXPECT_TRUE(buffer.IsOwned());
        EXPECT_EQ(buffer.CursorOffset(), 0u);
        EXPECT_EQ(Text(buffer.name), u"packed");
    }
    EXPECT_TRUE(trace.empty());
    EXPECT_TRUE(error.empty());
}

TEST_F(Unpacking, FailureKeepsThePackedBlockAndLogsTheDecoderResult)
{
    struct Case
    {
        const char* name;
        Bytes block;
        std::u16string message;
    } cases[] = {
        {"zlib stream cut short", Block(Zlib, 1000, Cut(ZlibStream, 60)),
         u"[ZG] Decompress(Zip) Error Code : -3"},
        {"zlib stated size too small", Block(Zlib, 999, ZlibStream), u"[ZG] Decompress(Zip) Error Code : -5"},
        {"zlib header corrupt", Block(Zlib, 1000, Changed(ZlibStream, 0, 0x79)),
         u"[ZG] Decompress(Zip) Error Code : -3"},
        {"LZMA stream cut short", Block(Lzma, 1000, Cut(LzmaStream, 57)),
         u"[ZG] Decompress(7z) Error Code : 6"},
        {"LZMA stream of 4 bytes", Block(Lzma, 1000, Cut(LzmaStream, 4)),
         u"[ZG] Decompress(7z) Error Code : 6"},
        {"LZMA without stream", Block(Lzma, 1000, {}), u"[ZG] Decompress(7z) Error Code : 6"},
        {"LZMA range coder not starting with 0", Block(Lzma, 1000, Changed(LzmaStream, 0, 0x80)),
         u"[ZG] Decompress(7z) Error Code : 1"},
        {"LZMA properties byte 225", Block(Lzma, 1000, LzmaStream, {225, 0x00, 0x00, 0x01, 0x00}),
         u"[ZG] Decompress(7z) Error Code : 4"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        trace.clear();
        error.clear();
        ExpectUntouched(c.block, false);
        EXPECT_EQ(trace, std::vector<std::u16string>{c.message});
        EXPECT_EQ(error, std::vector<std::u16string>{c.message});
    }
}

TEST_F(Unpacking, StatedSizeBeyondTheAllocationLimitFailsCleanly)
{
    for (uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    {
        SCOPED_TRACE(size);
        ExpectUntouched(Block(Lzma, size, LzmaStream), false);
        ExpectUntouched(Block(Zlib, size, ZlibStream), false);
    }
    EXPECT_TRUE(trace.empty()); // refused before any decoding
}

// The stated size is only an upper bound: memory follows the bytes the stream gives.
TEST_F(Unpacking, MemoryFollowsWhatTheStreamGivesNotTheStatedSize)
{
    Bytes payload = Payload();
    Bytes megabyte(1 << 20, 0);
    for (size_t i = 0; i < megabyte.size(); i += 4096)
        megabyte[i] = uint8_t(i >> 12);
    struct Case
    {
        const char* name;
        Bytes block;
        const Bytes& expected;
    } cases[] = {
        {"zlib stating 2 GiB", Block(Zlib, 0x7FFFFFF0, ZlibStream), payload},
        {"LZMA stating 2 GiB", Block(Lzma, 0x7FFFFFF0, LzmaStream), payload},
        {"zlib stating 1 GiB", Block(Zlib, 1u << 30, ZlibStream), payload},
        {"1 MiB grown as it is produced", Block(Zlib, 1u << 30, ZlibPacked(megabyte)), megabyte},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DataBuffer buffer;
        ASSERT_TRUE(buffer.Attach(c.block.data(), uint32_t(c.block.size()), true));
        EXPECT_TRUE(Unpack(buffer));
        EXPECT_EQ(Contents(buffer), c.expected);
        EXPECT_LE(buffer.Capacity(), 2 * c.expected.size() + 64 * 1024);
    }
    EXPECT_TRUE(trace.empty());
}

TEST_F(Unpacking, DecompressReportsTheBytesProduced)
{
    Bytes payload = Payload();
    struct Case
    {
        const char* name;
        const Bytes& stream;
        bool isLzma;
    } cases[] = {
        {"zlib", ZlibStream, false},
        {"LZMA", LzmaStream, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bytes room(1200, 0xAA);
        uint32_t size = uint32_t(room.size());
        EXPECT_TRUE(Decompress(room.data(), size, c.stream.data(), uint32_t(c.stream.size()),
                               StandardProperties.data(), c.isLzma));
        EXPECT_EQ(size, 1000u);
        EXPECT_EQ(Cut(room, 1000), payload);
        EXPECT_EQ(room[1000], 0xAA);
    }
}

// A block that arrives in pieces unpacks to what Unpack makes of it whole, whatever the pieces' size, and one
// stream object serves block after block into the same output.
TEST_F(Unpacking, StreamInPiecesGivesWhatTheWholeBlockGives)
{
    Bytes payload = Payload();
    Bytes plain = {'n', 'o', 't', ' ', 'p', 'a', 'c', 'k', 'e', 'd'};
    Bytes longPlain(5000);
    for (size_t i = 0; i < longPlain.size(); ++i)
        longPlain[i] = uint8_t(i * 13);
    struct Case
    {
        const char* name;
        Bytes block;
        Bytes expected;
    } cases[] = {
        {"zlib", Block(Zlib, 1000, ZlibStream), payload},
        {"LZMA", Block(Lzma, 1000, LzmaStream), payload},
        {"LZMA stops once the stated size is filled", Block(Lzma, 10, LzmaStream), Cut(payload, 10)},
        {"stated size 0, whatever follows", Block(Lzma, 0, {0xBA, 0xD0}), {}},
        {"shorter than a header", plain, plain},
        {"not packed", longPlain, longPlain},
        {"empty", {}, {}},
    };
    UnpackStream stream;
    DataBuffer output;
    for (uint32_t piece : {1u, 7u, 20u, 64u, 100000u})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            stream.Start(output, uint32_t(c.block.size()));
            for (size_t at = 0; at < c.block.size(); at += piece)
                ASSERT_TRUE(
                    stream.Take(c.block.data() + at, uint32_t(std::min<size_t>(piece, c.block.size() - at))));
            EXPECT_TRUE(stream.Finish());
            EXPECT_EQ(Contents(output), c.expected);
            EXPECT_EQ(stream.Taken(), c.block.size());
        }
    EXPECT_TRUE(trace.empty());
}

// A bad stream is refused with the piece that shows the fault, so that its download can stop there; a block
// that comes short, or longer than announced, is never whole.
TEST_F(Unpacking, StreamRefusesBadBytesOnTheWay)
{
    Bytes longZlib = ZlibPacked(Bytes(200000, 'x'));
    struct Case
    {
        const char* name;
        Bytes block;
        uint32_t announced; // 0: the block's size
        bool refused;       // before the last piece
        std::u16string message;
    } cases[] = {
        {"zlib header corrupt", Block(Zlib, 1000, Changed(ZlibStream, 0, 0x79)), 0, true,
         u"[ZG] Decompress(Zip) Error Code : -3"},
        {"LZMA range coder not starting with 0", Block(Lzma, 1000, Changed(LzmaStream, 0, 0x80)), 0, true,
         u"[ZG] Decompress(7z) Error Code : 1"},
        {"zlib beyond its stated size", Block(Zlib, 100, longZlib), 0, true,
         u"[ZG] Decompress(Zip) Error Code : -5"},
        {"zlib cut short", Block(Zlib, 1000, Cut(ZlibStream, 60)), 0, false,
         u"[ZG] Decompress(Zip) Error Code : -3"},
        {"LZMA cut short", Block(Lzma, 1000, Cut(LzmaStream, 57)), 0, false,
         u"[ZG] Decompress(7z) Error Code : 6"},
        {"fewer bytes than announced", Block(Zlib, 1000, ZlibStream), 200, false, u""},
        {"more bytes than announced", Block(Zlib, 1000, ZlibStream), 100, true, u""},
    };
    UnpackStream stream;
    DataBuffer output;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        trace.clear();
        stream.Start(output, c.announced != 0 ? c.announced : uint32_t(c.block.size()));
        size_t at = 0;
        while (at < c.block.size() &&
               stream.Take(c.block.data() + at, uint32_t(std::min<size_t>(20, c.block.size() - at))))
            at += 20;
        EXPECT_EQ(at < c.block.size(), c.refused) << "refused at " << at;
        EXPECT_FALSE(stream.Finish());
        if (c.refused)
        {
            EXPECT_FALSE(stream.Take(c.block.data(), 1)) << "nothing more is taken";
        }
        EXPECT_EQ(trace,
                  c.message.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.message});
    }
}
