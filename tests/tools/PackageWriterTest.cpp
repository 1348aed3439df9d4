// zoa-pack's writer and listing: packages parse back with the loader's reader, digests are those md5sum
// prints for the inputs, packed entries unpack to the inputs, lengths add up, and unsafe names are refused.
#include "tools/zoa-pack/PackageWriter.h"
#include "Common/PackedBlock.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "support/TempDirectory.h"
#include "support/Text.h"
#include "tools/zoa-pack/PackageListing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

std::string Engine()
{
    std::string bytes(70000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    return bytes;
}

// Incompressible: packed, it grows.
std::string Noise()
{
    std::string bytes(100000, '\0');
    uint32_t x = 1;
    for (char& byte : bytes)
    {
        x = x * 1103515245u + 12345u;
        byte = char(x >> 24);
    }
    return bytes;
}

std::string Level()
{
    std::string text;
    for (int line = 1; line <= 3000; ++line)
        text += "line " + std::to_string(line) + "\n";
    return text;
}

// The inputs with what md5sum prints for them.
struct InputFile
{
    const char16_t* name;
    std::string bytes;
    const char* md5sum;
};
const InputFile inputFiles[] = {
    {u"engine.bin", Engine(), "83a59980ece79dbb8eaadbea1819fd2b"},
    {u"level.txt", Level(), "b2ed70cad5a96a092dd566b64822b39b"},
    {u"noise.bin", Noise(), "5230087d0c4f203baec68a2740104406"},
    {u"a64.bin", std::string(64, 'a'), "014842d480b571495a4a0363793f7367"}, // one whole MD5 block
    {u"abc.txt", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {u"empty.bin", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {u"alpha.sec", "section alpha", "02518120d2355c5bf8db89323526d6ff"},
};

const InputFile& Input(const char16_t* name)
{
    for (const InputFile& file : inputFiles)
        if (std::u16string(file.name) == name)
            return file;
    throw std::logic_error("no such input");
}

class PackageWriter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const InputFile& file : inputFiles)
            temp.WriteBytes(file.name, file.bytes);
    }

    PackageInput In(const char16_t* file, const char16_t* name, Packing packing = Packing::Plain)
    {
        return PackageInput{temp.Path(file), name, packing};
    }

    bool Write(const PackagePlan& plan, String& error) { return WritePackage(plan, Out().Text(), error); }
    String Out() const { return temp.Path(u"game.zoa"); }

    // The package's header as the loader reads it: from its first 1132 bytes.
    PackageHeader ReadHeader(const std::string& package)
    {
        DataBuffer buffer;
        buffer.Attach(package.data(), uint32_t(std::min<size_t>(package.size(), PackageHeaderSize)), false);
        PackageHeader header{};
        ParseHeader(buffer, header);
        return header;
    }

    TempDirectory temp;
};

} // namespace

TEST_F(PackageWriter, EntriesAndSectionsFollowTheHeaderWithTheirInputsDigests)
{
    struct Entry
    {
        const char16_t* file;
        const char16_t* name;
        Packing packing;
    } entries[] = {
        {u"engine.bin", u"zelto3d.zob", Packing::Lzma},    {u"level.txt", u"level.txt", Packing::Zlib},
        {u"level.txt", u"data/level2.txt", Packing::Lzma}, {u"a64.bin", u"a64.bin", Packing::Plain},
        {u"abc.txt", u"abc.txt", Packing::Zlib},           {u"empty.bin", u"empty.bin", Packing::Lzma},
        {u"noise.bin", u"noise.bin", Packing::Lzma},       {u"noise.bin", u"noise.zlib", Packing::Zlib},
    };
    PackagePlan plan;
    plan.cacheName = u"demo";
    for (const Entry& entry : entries)
        plan.inputs.push_back(In(entry.file, entry.name, entry.packing));
    plan.sectionA = SectionInput{u"alpha", temp.Path(u"alpha.sec")};
    plan.sectionB = SectionInput{u"beta", temp.Path(u"abc.txt")};
    String error;
    ASSERT_TRUE(Write(plan, error)) << Narrow(error);

    std::string package = temp.ReadBytes(u"game.zoa");
    PackageHeader header = ReadHeader(package);
    EXPECT_EQ(header.magic, PackageMagic);
    EXPECT_EQ(header.version, 2u);
    EXPECT_TRUE(IsHeaderKeyValid(header));
    EXPECT_EQ(Text(PackageText(header.cacheName)), u"demo");

    uint64_t offset = PackageHeaderSize;
    for (uint32_t i = 0; i < std::size(entries); ++i) // all eight
    {
        SCOPED_TRACE(i);
        const PackageEntry& entry = header.entries[i];
        const InputFile& input = Input(entries[i].file);
        EXPECT_EQ(Text(PackageText(entry.name)), entries[i].name);
        EXPECT_EQ(Hex(entry.digest, 16), input.md5sum);
        EXPECT_EQ(entry.offset, offset);
        ASSERT_LE(uint64_t(entry.offset) + entry.size, package.size());
        std::string stored = package.substr(entry.offset, entry.size);
        offset += entry.size;

        // The stored bytes are the input itself or a packed block that unpacks to it.
        if (entries[i].packing == Packing::Plain)
        {
            EXPECT_EQ(stored, input.bytes);
            continue;
        }
        PackedBlockInfo block;
        ASSERT_TRUE(ReadPackedBlockHeader(reinterpret_cast<const uint8_t*>(stored.data()),
                                          uint32_t(stored.size()), block));
        EXPECT_EQ(block.method, entries[i].packing == Packing::Lzma ? PackedLzma : PackedZlib);
        EXPECT_EQ(block.unpackedSize, input.bytes.size());
        if (block.method == PackedLzma)
        {
            // lc 3, lp 0, pb 2; the smallest power-of-two dictionary from 64 KiB that holds the input.
            EXPECT_EQ(Hex(block.properties, 5), input.bytes.size() > 65536 ? "5d00000200" : "5d00000100");
        }
        DataBuffer buffer;
        buffer.Attach(stored.data(), uint32_t(stored.size()), true);
        ASSERT_TRUE(Unpack(buffer));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()), input.bytes);
    }

    // The sections follow the entries: A, then B.
    EXPECT_EQ(Text(PackageText(header.sectionA.name)), u"alpha");
    EXPECT_EQ(uint64_t(header.sectionA.sectionSize), 13u); // copied: the field is unaligned
    EXPECT_EQ(Hex(header.sectionA.digest, 16), Input(u"alpha.sec").md5sum);
    EXPECT_EQ(package.substr(size_t(offset), 13), "section alpha");
    EXPECT_EQ(Text(PackageText(header.sectionB.name)), u"beta");
    EXPECT_EQ(uint64_t(header.sectionB.sectionSize), 3u);
    EXPECT_EQ(package.substr(size_t(offset) + 13), "abc");
    EXPECT_EQ(ExpectedPackageLength(header), offset + 16);
    EXPECT_EQ(package.size(), offset + 16);

    // Every input is closed again: on Windows a file left open could not be written by the next step.
    for (const char16_t* input : {u"engine.bin", u"level.txt", u"abc.txt", u"alpha.sec"})
    {
        File file;
        EXPECT_TRUE(file.Create(temp.Path(input).Text())) << Narrow(temp.Path(input));
        file.Close();
    }
}

TEST_F(PackageWriter, VersionOneStartsTheEntries16BytesEarlierAndCarriesNoKeyDigest)
{
    PackagePlan plan;
    plan.version = 1;
    plan.cacheName = u"old";
    plan.inputs = {In(u"abc.txt", u"zelto3d.zob"), In(u"a64.bin", u"a64.bin")};
    String error;
    ASSERT_TRUE(Write(plan, error)) << Narrow(error);

    std::string package = temp.ReadBytes(u"game.zoa");
    ASSERT_EQ(package.size(), 1116u + 3 + 64);
    // Bytes 140 on are the first entry, where version 2 keeps the key digest.
    EXPECT_EQ(package.substr(140, 22), std::string("z\0e\0l\0t\0o\0"
                                                   "3\0d\0.\0z\0o\0b\0",
                                                   22));
    PackageHeader header = ReadHeader(package);
    EXPECT_EQ(header.version, 1u);
    EXPECT_TRUE(IsHeaderKeyValid(header));
    EXPECT_EQ(header.entries[0].offset, 1116u);
    EXPECT_EQ(header.entries[1].offset, 1119u);
    EXPECT_EQ(package.substr(1116, 3), "abc");
    EXPECT_EQ(ExpectedPackageLength(header), package.size());

    // The loader fetches 1132 bytes of any package: a version 1 package must reach that far.
    plan.inputs = {In(u"abc.txt", u"zelto3d.zob")};
    EXPECT_FALSE(Write(plan, error));
    EXPECT_EQ(Narrow(error), "a version 1 package needs at least 16 bytes of files to reach 1132 bytes");
    EXPECT_FALSE(FileExists(Out().Text()));
}

TEST_F(PackageWriter, RefusesUnsafeNamesAndImpossiblePackagesWithoutLeavingAFile)
{
    auto withName = [&](const char16_t* name)
    {
        PackagePlan plan;
        plan.inputs = {In(u"engine.bin", u"zelto3d.zob"), In(u"abc.txt", name)};
        return plan;
    };
    PackagePlan nine;
    for (int i = 0; i < 9; ++i)
        nine.inputs.push_back(In(u"abc.txt", Format(u"file%d", i).Text()));
    PackagePlan twice = withName(u"ZELTO3D.zob");
    PackagePlan twiceAsWindowsReadsIt = withName(u"./zelto3d.zob.");
    PackagePlan version3 = withName(u"abc.txt");
    version3.version = 3;
    PackagePlan longCache = withName(u"abc.txt");
    longCache.cacheName = String(std::u16string(32, u'c').c_str());
    PackagePlan longSection = withName(u"abc.txt");
    longSection.sectionB = SectionInput{String(std::u16string(32, u's').c_str()), temp.Path(u"abc.txt")};
    PackagePlan missing = withName(u"abc.txt");
    missing.inputs[1].path = temp.Path(u"missing.bin");
    temp.WriteBytes(u"huge.bin", ""); // made sparse: 4 GiB, one byte more than an entry's size can say
    std::filesystem::resize_file(temp.Native(u"huge.bin"), uint64_t(1) << 32);
    PackagePlan huge = withName(u"abc.txt");
    huge.inputs[1].path = temp.Path(u"huge.bin");

    struct Case
    {
        PackagePlan plan;
        std::string error;
    } cases[] = {
        {withName(u"/etc/passwd"), "entry name \"/etc/passwd\" refused: it is absolute"},
        {withName(u"\\\\server\\share\\x"), "entry name \"\\\\server\\share\\x\" refused: it is absolute"},
        {withName(u"C:\\game\\x.zob"),
         "entry name \"C:\\game\\x.zob\" refused: it names a drive or a stream"},
        {withName(u"x.zob:stream"), "entry name \"x.zob:stream\" refused: it names a drive or a stream"},
        {withName(u".."), "entry name \"..\" refused: it leaves the current directory"},
        {withName(u"data/../../x"), "entry name \"data/../../x\" refused: it leaves the current directory"},
        {withName(u"..\\x"), "entry name \"..\\x\" refused: it leaves the current directory"},
        {withName(u""), "entry name \"\" refused: it is empty"},
        {withName(u"abcdefghijklmnopqrstuvwxyz012345"),
         "entry name \"abcdefghijklmnopqrstuvwxyz012345\" refused: it is longer than 31 units"},
        {twice, "entry name \"ZELTO3D.zob\" is given twice"},
        {twiceAsWindowsReadsIt, "entry name \"./zelto3d.zob.\" is given twice"},
        {PackagePlan{}, "a package holds 1 to 8 files (the first is the engine module), not 0"},
        {nine, "a package holds 1 to 8 files (the first is the engine module), not 9"},
        {version3, "version 3 is not made: only 1 and 2"},
        {longCache, "cache name \"" + std::string(32, 'c') + "\" is longer than 31 units"},
        {longSection, "section name \"" + std::string(32, 's') + "\" is longer than 31 units"},
        {missing, "cannot read \"" + Narrow(temp.Path(u"missing.bin")) + "\""},
        {huge, "\"" + Narrow(temp.Path(u"huge.bin")) +
                   "\" is larger than a package entry can be (4 GiB less one byte)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.error);
        String error;
        EXPECT_FALSE(Write(c.plan, error));
        EXPECT_EQ(Narrow(error), c.error);
        EXPECT_FALSE(FileExists(Out().Text()));
    }

    // Names that stay inside the folder pass, folders given with either separator or both.
    for (const char16_t* name :
         {u"zelto3d.zob", u"data/level.bin", u"a\\.\\b", u"..x/y..", u"abcdefghijklmnopqrstuvwxyz01234",
          u"sub\\dir/x.cfg", u"console.txt", u"com10"})
    {
        String error;
        EXPECT_TRUE(CheckEntryName(name, error)) << Narrow(error);
    }

    // Devices, as Windows reads a name: cut at the first dot, trailing spaces dropped, in any folder.
    for (const char16_t* name : {u"nul.txt", u"nul ", u"con.", u"Aux .log", u"COM\u00B9", u"lpt\u00B3.txt",
                                 u"com9", u"prn/x.txt", u"data\\conout$"})
    {
        String error;
        EXPECT_FALSE(CheckEntryName(name, error));
        EXPECT_GE(error.Find(u"refused: it names a device"), 0) << Narrow(error);
    }
}

TEST(PackageArguments, FileWithPackingAndNameAndSections)
{
    struct Case
    {
        const char16_t* argument;
        const char16_t* path;
        const char16_t* name;
        Packing packing;
        std::string error;
    } cases[] = {
        {u"engine.bin", u"engine.bin", u"engine.bin", Packing::Plain, ""},
        {u"build/zelto3d.zob:lzma", u"build/zelto3d.zob", u"zelto3d.zob", Packing::Lzma, ""},
        {u"C:\\game\\engine.dll:zlib@zelto3d.zob", u"C:\\game\\engine.dll", u"zelto3d.zob", Packing::Zlib,
         ""},
        {u"C:engine.bin", u"C:engine.bin", u"engine.bin", Packing::Plain, ""},
        {u"C:engine.bin:lzma", u"C:engine.bin", u"engine.bin", Packing::Lzma, ""},
        {u"level.txt:plain@data/level.txt", u"level.txt", u"data/level.txt", Packing::Plain, ""},
        {u"me@home/level.txt@level.txt", u"me@home/level.txt", u"level.txt", Packing::Plain, ""},
        {u"level.txt:gzip", nullptr, nullptr, Packing::Plain,
         "unknown packing \"gzip\" in \"level.txt:gzip\": plain, zlib or lzma"},
        {u"level.txt@../level.txt", nullptr, nullptr, Packing::Plain,
         "entry name \"../level.txt\" refused: it leaves the current directory"},
        {u"@level.txt", nullptr, nullptr, Packing::Plain, "no file in \"@level.txt\""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(String(c.argument)));
        PackageInput input;
        String error;
        EXPECT_EQ(ParseInputArgument(c.argument, input, error), c.error.empty());
        EXPECT_EQ(Narrow(error), c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(Text(input.path), c.path);
        EXPECT_EQ(Text(input.name), c.name);
        EXPECT_EQ(input.packing, c.packing);
    }

    SectionInput section;
    String error;
    ASSERT_TRUE(ParseSectionArgument(u"alpha:C:\\data\\alpha.sec", section, error));
    EXPECT_EQ(Text(section.name), u"alpha");
    EXPECT_EQ(Text(section.path), u"C:\\data\\alpha.sec");
    for (const char16_t* wrong : {u"alpha", u":alpha.sec", u"alpha:"})
    {
        EXPECT_FALSE(ParseSectionArgument(wrong, section, error));
        EXPECT_EQ(Narrow(error), "a section is given as NAME:FILE, not \"" + Narrow(String(wrong)) + "\"");
    }
}

TEST_F(PackageWriter, ListingShowsTheHeaderAndWhatTheBytesAre)
{
    // A file that starts like an LZMA block is listed as one, whatever the writer was told.
    uint8_t block[PackedBlockHeaderSize];
    const uint8_t properties[5] = {0x5D, 0x00, 0x00, 0x01, 0x00};
    WritePackedBlockHeader(block, PackedLzma, properties, 4096);
    temp.WriteBytes(u"packed.bin", std::string(reinterpret_cast<const char*>(block), sizeof block) + "xyz");

    PackagePlan plan;
    plan.cacheName = u"demo";
    plan.inputs = {In(u"abc.txt", u"zelto3d.zob"), In(u"packed.bin", u"data/packed.bin"),
                   In(u"empty.bin", u"empty.bin")};
    plan.sectionA = SectionInput{u"alpha", temp.Path(u"alpha.sec")};
    String error;
    ASSERT_TRUE(Write(plan, error)) << Narrow(error);
    String listing;
    EXPECT_TRUE(ListPackage(Out().Text(), listing));
    EXPECT_EQ(Narrow(listing),
              "package: " + Narrow(Out()) +
                  "\n"
                  "magic: 0x0f0a0f0a (ok)\n"
                  "version: 2\n"
                  "key digest: d0c12ab3fc97804de64278de2569855b (ok)\n"
                  "cache name: demo\n"
                  "entry 0: zelto3d.zob offset 1132 size 3 md5 900150983cd24fb0d6963f7d28e17f72 plain\n"
                  "entry 1: data/packed.bin offset 1135 size 23 md5 e8898c88b3f5bf113d6b6f40fa37719f "
                  "lzma 5d 00 00 01 00, 4096 bytes unpacked\n"
                  "entry 2: empty.bin offset 1158 size 0 md5 d41d8cd98f00b204e9800998ecf8427e plain\n"
                  "section A: alpha size 13 md5 02518120d2355c5bf8db89323526d6ff\n"
                  "section B: none\n"
                  "length: expected 1171, file 1171 (ok)\n");

    // Damage shows: a wrong key digest, a package longer than announced, a file shorter than a header.
    std::string package = temp.ReadBytes(u"game.zoa");
    struct Case
    {
        std::string bytes;
        std::string line;
    } cases[] = {
        {package.substr(0, 140) + char(package[140] ^ 1) + package.substr(141), " (bad)\ncache name: demo\n"},
        {package + "!", "length: expected 1171, file 1172 (bad)\n"},
        {package.substr(0, 1000), "too short: 1000 bytes, the loader fetches 1132\n"},
        {package.substr(0, 1140), "e8898c88b3f5bf113d6b6f40fa37719f outside the file\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.line);
        temp.WriteBytes(u"damaged.zoa", c.bytes);
        String text;
        EXPECT_FALSE(ListPackage(temp.Path(u"damaged.zoa").Text(), text));
        EXPECT_NE(Narrow(text).find(c.line), std::string::npos) << Narrow(text);
    }
}
