// MD5 digests: the RFC 1321 results whole and in pieces, for every message length, and the text form.
#include "Common/Md5.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace Zelto;

namespace
{

// Byte i of every test message is i mod 251, so that no period lines up with the 64-byte blocks.
std::vector<uint8_t> Message(size_t length)
{
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = uint8_t(i % 251);
    return bytes;
}

// Feeds the message in pieces of `piece` bytes (the last one shorter), each call told the whole length.
Md5State InPieces(const std::vector<uint8_t>& message, uint32_t piece)
{
    auto total = int64_t(message.size());
    uint32_t first = message.size() < piece ? uint32_t(message.size()) : piece;
    Md5State state = Md5Start(message.data(), first, total);
    for (size_t offset = first; offset < message.size(); offset += piece)
    {
        uint32_t count = message.size() - offset < piece ? uint32_t(message.size() - offset) : piece;
        state = Md5Continue(state, message.data() + offset, count, total);
    }
    return state;
}

} // namespace

TEST(Md5, Rfc1321TestSuite)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases)
    {
        auto count = uint32_t(text.size());
        EXPECT_EQ(Hex(Md5(text.data(), count)), digest) << '"' << text << '"';
        EXPECT_EQ(Hex(Md5Start(text.data(), count, count)), digest) << '"' << text << "\" with its total";
    }
}

TEST(Md5, EmptyMessage)
{
    EXPECT_EQ(Hex(Md5(nullptr, 0)), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(Md5Start(nullptr, 0, 0)), "d41d8cd98f00b204e9800998ecf8427e");
}

// Lengths round the padding boundaries and the multiples of 64 that need a block of padding of their own,
// whole and in the pieces that file and download digests use; the digests come from md5sum.
TEST(Md5, AgreesWithMd5sumWholeAndInPieces)
{
    const std::pair<size_t, std::string> cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},      {1, "93b885adfe0da089cdf634904fd59f71"},
        {55, "6912ee65fff2d9f9ce2508cddf8bcda0"},     {56, "51fdd1acda72405dfdfa03fcb85896d7"},
        {63, "48a6295221902e8e0938f773a7185e72"},     {64, "b2d3f56bc197fd985d5965079b5e7148"},
        {65, "8bd7053801c768420faf816fadba971c"},     {127, "8402b21e7bc7906493bae0dac017f1f9"},
        {128, "37eff01866ba3f538421b30b7cbefcac"},    {65536, "9cc60713923528a1dd94e1c1ab0ebc9e"},
        {131072, "d02199a197fb4b1777525fe375f9f5f1"},
    };
    for (const auto& [length, digest] : cases)
    {
        std::vector<uint8_t> message = Message(length);
        EXPECT_EQ(Hex(Md5(message.data(), uint32_t(length))), digest) << length << " bytes whole";
        EXPECT_EQ(Hex(InPieces(message, 65536)), digest) << length << " bytes in 65,536-byte pieces";
        EXPECT_EQ(Hex(InPieces(message, 64)), digest) << length << " bytes in 64-byte pieces";
    }
}

// Every length from 0 to 300: the digest of the 301 digests, laid end to end, as Python's hashlib made it.
TEST(Md5, EveryShortLength)
{
    std::vector<uint8_t> digests;
    for (size_t length = 0; length <= 300; ++length)
    {
        std::vector<uint8_t> message = Message(length);
        Md5State whole = Md5(message.data(), uint32_t(length));
        EXPECT_EQ(InPieces(message, 64), whole) << length << " bytes";
        uint8_t digest[16];
        Md5ToBytes(whole, digest);
        digests.insert(digests.end(), digest, digest + 16);
    }
    EXPECT_EQ(Hex(Md5(digests.data(), uint32_t(digests.size()))), "eeb77f5f54b2e46b4849a40454d8e547");
}

// A stream takes pieces of any size, its length known only at the end: every short length in pieces of 1,
// 7 and 100 bytes agrees with the whole message's digest.
TEST(Md5, StreamTakesPiecesOfAnySize)
{
    for (size_t length = 0; length <= 300; ++length)
        for (size_t piece : {size_t(1), size_t(7), size_t(100)})
        {
            std::vector<uint8_t> message = Message(length);
            Md5Stream stream;
            for (size_t at = 0; at < length; at += piece)
                stream.Add(message.data() + at, uint32_t(std::min(piece, length - at)));
            EXPECT_EQ(stream.Finish(), Md5(message.data(), uint32_t(length))) << length << " in " << piece;
            EXPECT_EQ(stream.Length(), length);
        }
}

// Log lines print the words D, C, B, A: the usual text of the digest with its 16 bytes reversed.
TEST(Md5, TextPrintsTheWordsInReverse)
{
    Md5State abc = Md5("abc", 3);
    EXPECT_EQ(std::u16string(Md5Text(abc).Text()), u"727fe1287d3f96d6b04fd23c98500190");
    EXPECT_EQ(std::u16string(Md5Text(Md5State{}).Text()), u"00000000000000000000000000000000");
}

TEST(Md5, BytesRoundTrip)
{
    const uint8_t digest[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    Md5State state = Md5FromBytes(digest);
    EXPECT_EQ(state, Md5("abc", 3));
    EXPECT_EQ(state.a, 0x98500190u);
    EXPECT_EQ(state.d, 0x727fe128u);
    uint8_t back[16];
    Md5ToBytes(state, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 16), std::vector<uint8_t>(digest, digest + 16));
}
