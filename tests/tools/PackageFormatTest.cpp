// The package format: key scramble and digest, the header read field by field from stored bytes, its stored
// form, the length a header announces and the packed-block header.
#include "Loader/PackageFormat.h"
#include "Common/PackedBlock.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

using namespace Zelto;

namespace
{

std::string Scrambled(const char16_t* key)
{
    uint8_t out[16];
    KeyScramble(key, out);
    return Hex(out, sizeof out);
}

// Memory a parse must leave alone shows this byte.
constexpr uint8_t Untouched = 0xEE;

PackageHeader UntouchedHeader()
{
    PackageHeader header;
    std::memset(&header, Untouched, sizeof header);
    return header;
}

void SetText(char16_t (&field)[PackageTextUnits], const std::u16string& text)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), text.size() * 2);
}

// One header's worth of distinct values, as the record the parser should produce (`expected`, starting from
// untouched memory) and as the bytes of a package, written at the stored offsets independently of the
// record's layout. Version 1 stores no key digest and everything after it 16 bytes earlier; its buffer still
// holds 1132 bytes, as the loader fetches them, the last 16 of them file data.
struct Sample
{
    PackageHeader expected = UntouchedHeader();
    std::vector<uint8_t> stored = std::vector<uint8_t>(PackageHeaderSize, 0x77);

    explicit Sample(uint32_t version)
    {
        uint32_t shift = version == 2 ? 0 : 16;
        auto put = [&](uint32_t offset, const void* bytes, size_t count)
        { std::memcpy(stored.data() + offset, bytes, count); };
        auto putText = [&](uint32_t offset, char16_t(&field)[PackageTextUnits], const std::u16string& text)
        {
            SetText(field, text);
            put(offset, field, sizeof field);
        };
        // Numbers may lie unaligned in the record: copied, never referenced.
        auto putNumber = [&](uint32_t offset, void* field, size_t size, uint64_t value)
        {
            for (size_t i = 0; i < size; ++i)
                stored[offset + i] = uint8_t(value >> (8 * i));
            std::memcpy(field, &value, size); // both targets are little-endian
        };
        auto putBytes = [&](uint32_t offset, uint8_t(&field)[16], uint8_t first)
        {
            for (uint8_t i = 0; i < 16; ++i)
                field[i] = uint8_t(first + i);
            put(offset, field, 16);
        };

        putNumber(0, &expected.magic, sizeof expected.magic, PackageMagic);
        putNumber(4, &expected.version, sizeof expected.version, version);
        putText(8, expected.textA, u"text A");
        putText(72, expected.cacheName, u"demo cache");
        putNumber(136, &expected.headerWord, sizeof expected.headerWord, 0x11223344);
        if (version == 2)
            putBytes(140, expected.keyDigest, 0xA0);
        for (uint32_t i = 0; i < PackageEntryCount; ++i)
        {
            uint32_t at = 156 - shift + 88 * i;
            PackageEntry& entry = expected.entries[i];
            putText(at, entry.name, u"file" + std::u16string(1, char16_t(u'0' + i)) + u".bin");
            putBytes(at + 64, entry.digest, uint8_t(0x10 * i));
            putNumber(at + 80, &entry.offset, sizeof entry.offset, 0x1000 * (i + 1));
            putNumber(at + 84, &entry.size, sizeof entry.size, 100 * (i + 1));
        }
        for (auto [at, section, first] : {std::make_tuple(860 - shift, &expected.sectionA, 0xB0),
                                          std::make_tuple(964 - shift, &expected.sectionB, 0xC0)})
        {
            putText(at, section->name, first == 0xB0 ? u"alpha" : u"beta");
            putNumber(at + 64, &section->sectionValue, sizeof section->sectionValue,
                      0x0102030405060708ull + first);
            putNumber(at + 72, &section->sectionSize, sizeof section->sectionSize,
                      0x1122334455667788ull + first);
            putNumber(at + 80, &section->sectionWord1, sizeof section->sectionWord1, 0xCAFEBA00u + first);
            putNumber(at + 84, &section->sectionWord2, sizeof section->sectionWord2, 0xDEADBE00u + first);
            putBytes(at + 88, section->digest, uint8_t(first));
        }
        putText(1068 - shift, expected.textC, u"text C");
    }
};

PackageHeader Parse(const std::vector<uint8_t>& bytes, uint32_t length)
{
    DataBuffer buffer;
    buffer.Attach(bytes.data(), length, false);
    PackageHeader header = UntouchedHeader();
    ParseHeader(buffer, header);
    return header;
}

// The first byte where two records differ, or -1.
int FirstDifference(const PackageHeader& a, const PackageHeader& b)
{
    auto* x = reinterpret_cast<const uint8_t*>(&a);
    auto* y = reinterpret_cast<const uint8_t*>(&b);
    for (size_t i = 0; i < sizeof a; ++i)
        if (x[i] != y[i])
            return int(i);
    return -1;
}

} // namespace

TEST(PackageKey, ScrambleGoesRoundTheKeyAndReducesEachUnit)
{
    // Only the units matter, taken round and round from the first: 16 of them make the 16 bytes.
    std::string ab = Scrambled(u"Ab");
    EXPECT_EQ(ab, ab.substr(0, 4) + ab.substr(0, 4) + ab.substr(0, 4) + ab.substr(0, 4) + ab.substr(0, 4) +
                      ab.substr(0, 4) + ab.substr(0, 4) + ab.substr(0, 4));
    EXPECT_NE(ab.substr(0, 2), ab.substr(2, 2));
    EXPECT_EQ(Scrambled(u"ABCD"), Scrambled(u"ABCDABCDABCDABCD"));
    EXPECT_EQ(Scrambled(u"ABCDEFGHIJKLMNOP"), Scrambled(u"ABCDEFGHIJKLMNOPxyz"));
    EXPECT_NE(Scrambled(u"ABCDEFGHIJKLMNOP"), Scrambled(u"ABCDEFGHIJKLMNOQ"));

    // The table is indexed by the unit mod 128 and its entry XORed with the unit mod 256.
    uint8_t a[16], aPlus256[16], aPlus128[16];
    KeyScramble(u"A", a);
    KeyScramble(u"\u0141", aPlus256);
    KeyScramble(u"\u00C1", aPlus128);
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_EQ(aPlus256[i], a[i]) << i;
        EXPECT_EQ(aPlus128[i], a[i] ^ 0x80) << i;
        EXPECT_EQ(a[i], a[0]) << i;
    }
}

TEST(PackageKey, DigestOfThePackageKeyNeverChanges)
{
    // Every package made for this loader carries this digest: a change to the key or the table breaks them.
    EXPECT_EQ(Narrow(String(PackageKey)), "Koalaa6e117d0d8a0472205175ff9f10d7684");
    uint8_t digest[16];
    Md5ToBytes(ExpectedKeyDigest(), digest);
    EXPECT_EQ(Hex(digest, 16), "d0c12ab3fc97804de64278de2569855b");

    struct Case
    {
        uint32_t magic;
        uint32_t version;
        bool rightDigest;
        bool valid;
    } cases[] = {
        {PackageMagic, 2, true, true},  {PackageMagic, 2, false, false}, {PackageMagic, 1, false, true},
        {PackageMagic, 3, false, true}, {PackageMagic, 0, false, true},  {0x0A0F0A0F, 2, true, false},
        {0x0A0F0A0F, 1, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << c.magic << " version " << c.version);
        PackageHeader header{};
        header.magic = c.magic;
        header.version = c.version;
        if (c.rightDigest)
            Md5ToBytes(ExpectedKeyDigest(), header.keyDigest);
        EXPECT_EQ(IsHeaderKeyValid(header), c.valid);
    }
}

TEST(PackageHeaderFormat, WholeHeadersOfBothVersionsParseFieldByField)
{
    for (uint32_t version : {2u, 1u})
    {
        SCOPED_TRACE(version);
        Sample sample(version);
        PackageHeader parsed = Parse(sample.stored, PackageHeaderSize);
        EXPECT_EQ(FirstDifference(parsed, sample.expected), -1);
        EXPECT_EQ(parsed.keyDigest[0], version == 2 ? 0xA0 : Untouched);
        EXPECT_EQ(PackageHeaderLength(version), version == 2 ? 1132u : 1116u);
    }
}

TEST(PackageHeaderFormat, ShortBuffersFillOnlyTheFieldsThatFitAtTheCursor)
{
    using Expect =
        std::function<void(PackageHeader & expected, const PackageHeader& whole, const uint8_t* bytes)>;
    auto upTo = [](size_t end)
    {
        return [end](PackageHeader& expected, const PackageHeader& whole, const uint8_t*)
        { std::memcpy(&expected, &whole, end); };
    };
    struct Case
    {
        uint32_t version;
        uint32_t length;
        Expect expect;
    } cases[] = {
        {2, 0, upTo(0)},
        {2, 7, upTo(4)},                                 // magic only: the version needs 4 bytes
        {2, 1131, upTo(offsetof(PackageHeader, textC))}, // all but the last text
        {1, 1115, upTo(offsetof(PackageHeader, textC))}, // the same for version 1 (no key digest)
        {1, 1116, upTo(sizeof(PackageHeader))},          // a whole version 1 header
        {2, 150,                                         // 10 bytes after the header word
         [](PackageHeader& expected, const PackageHeader& whole, const uint8_t* bytes)
         {
             // The key digest, the first name and digest do not fit; offset and size do, and take the
             // bytes at the cursor, which the key digest would have taken.
             std::memcpy(&expected, &whole, offsetof(PackageHeader, keyDigest));
             std::memcpy(&expected.entries[0].offset, bytes + 140, 4);
             std::memcpy(&expected.entries[0].size, bytes + 144, 4);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "version " << c.version << ", " << c.length << " bytes");
        Sample sample(c.version);
        PackageHeader expected = UntouchedHeader();
        c.expect(expected, sample.expected, sample.stored.data());
        EXPECT_EQ(FirstDifference(Parse(sample.stored, c.length), expected), -1);
    }
}

TEST(PackageHeaderFormat, StoredFormIsTheBytesTheParserReads)
{
    for (uint32_t version : {2u, 1u})
    {
        SCOPED_TRACE(version);
        Sample sample(version);
        DataBuffer out;
        ASSERT_TRUE(SerializeHeader(sample.expected, out));
        ASSERT_EQ(out.Size(), PackageHeaderLength(version));
        EXPECT_EQ(Hex(out.Data(), out.Size()), Hex(sample.stored.data(), out.Size()));
    }
    PackageHeader other{};
    other.version = 3;
    DataBuffer out;
    EXPECT_FALSE(SerializeHeader(other, out));
}

TEST(PackageHeaderFormat, StoredTextsEndAtTheirNulOrAfter32Units)
{
    PackageHeader header{};
    SetText(header.cacheName, u"abc");
    header.cacheName[5] = u'x';
    EXPECT_EQ(Text(PackageText(header.cacheName)), u"abc");
    for (char16_t& unit : header.textA)
        unit = u'z';
    EXPECT_EQ(Text(PackageText(header.textA)), std::u16string(32, u'z'));
}

TEST(PackageHeaderFormat, ExpectedLengthAddsHeaderEntriesAndSections)
{
    struct Case
    {
        uint32_t version;
        std::vector<uint32_t> sizes;
        uint64_t sectionA, sectionB;
        uint64_t length;
    } cases[] = {
        {2, {}, 0, 0, 1132},
        {2, {100, 200, 300, 400}, 0, 0, 2132},
        {1, {100, 200, 300, 400}, 0, 0, 2116},
        {3, {100}, 0, 0, 1232}, // only version 1 is shorter
        {2, {1, 2, 3, 4, 5, 6, 7, 8}, 1000, 20, 2188},
        {2, {10}, 0x100000000ull, 5, 0x100000000ull + 1147}, // sections count in 64 bits
        {2, {0xFFFFFFFFu, 2}, 0, 0, 0x100000001ull + 1132},  // the entries add up in 64 bits, never wrap
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.length);
        PackageHeader header{};
        header.version = c.version;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            header.entries[i].size = c.sizes[i];
        header.sectionA.sectionSize = c.sectionA;
        header.sectionB.sectionSize = c.sectionB;
        EXPECT_EQ(ExpectedPackageLength(header), c.length);
    }
}

TEST(PackedBlockFormat, HeaderBytesAndTheirReading)
{
    const uint8_t properties[5] = {0x5D, 0x00, 0x00, 0x01, 0x00};
    uint8_t block[PackedBlockHeaderSize];
    WritePackedBlockHeader(block, PackedLzma, properties, 0x01020304);
    EXPECT_EQ(Hex(block, sizeof block), "f7f4e4c8cad7d5c2"
                                        "5d00000100"
                                        "0000"
                                        "00"
                                        "04030201");
    WritePackedBlockHeader(block, PackedZlib, nullptr, 7);
    EXPECT_EQ(Hex(block, sizeof block), "f7f4e4c8cad7d5c2"
                                        "0000000000"
                                        "0000"
                                        "01"
                                        "07000000");

    PackedBlockInfo info;
    ASSERT_TRUE(ReadPackedBlockHeader(block, sizeof block, info));
    EXPECT_EQ(info.method, PackedZlib);
    EXPECT_EQ(info.unpackedSize, 7u);
    WritePackedBlockHeader(block, PackedLzma, properties, 65536);
    ASSERT_TRUE(ReadPackedBlockHeader(block, sizeof block, info));
    EXPECT_EQ(info.method, PackedLzma);
    EXPECT_EQ(Hex(info.properties, 5), "5d00000100");
    EXPECT_EQ(info.unpackedSize, 65536u);

    block[PackedBlockMethodOffset] = 9; // any method but 0 is zlib
    ASSERT_TRUE(ReadPackedBlockHeader(block, sizeof block, info));
    EXPECT_EQ(info.method, PackedZlib);
    EXPECT_FALSE(ReadPackedBlockHeader(block, PackedBlockHeaderSize - 1, info));
    block[7] ^= 1;
    EXPECT_FALSE(ReadPackedBlockHeader(block, sizeof block, info));
}
