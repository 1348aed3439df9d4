// File: handles, whole-file helpers, directories, digests, counters and the embedded resources, on real files
// in a temporary folder.
#include "Source/Platform/File.h"

#include "support/TempDirectory.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace Zelto;

namespace
{

// Bytes that repeat no short period, so a misplaced block changes the digest.
std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + (i >> 9)) & 0xFF);
    return bytes;
}

std::string Bytes(const DataBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

void MakeReadOnly(const TempDirectory& temp, const char16_t* relative)
{
    std::filesystem::permissions(temp.Native(relative),
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
}

bool IsReadOnly(const TempDirectory& temp, const char16_t* relative)
{
    return (std::filesystem::status(temp.Native(relative)).permissions() &
            std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

} // namespace

TEST(File, CreateMakesEveryMissingDirectory)
{
    // Relative paths name files in the current directory, as the loader's package files do.
    struct Case
    {
        const char16_t* relative;
        bool fromCurrentDirectory;
    } cases[] = {
        {u"a\\b\\c.txt", false}, {u"d/e\\f.txt", false}, {u"top.txt", false},   {u"g\\h\\i.txt", true},
        {u"j/k/l.txt", true},    {u"m.txt", true},       {u"n\\o/p.txt", true}, {u"q/r\\s.txt", true},
    };
    TempDirectory temp;
    std::filesystem::path start = std::filesystem::current_path();
    ASSERT_TRUE(ChangeCurrentDirectory(temp.Path().Text()));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::filesystem::path(c.relative).string());
        File file;
        EXPECT_TRUE(file.Create(c.fromCurrentDirectory ? c.relative : temp.Path(c.relative).Text()));
        EXPECT_TRUE(file.Write("xyz", 3));
        file.Close();
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(temp.ReadBytes(c.relative), "xyz");
    }
    std::filesystem::current_path(start);
    EXPECT_TRUE(std::filesystem::is_directory(temp.Native(u"a/b")));
    EXPECT_TRUE(std::filesystem::is_directory(temp.Native(u"d/e")));
    EXPECT_TRUE(std::filesystem::is_directory(temp.Native(u"j/k")));
}

TEST(File, CreateTruncatesAnExistingFileEvenWhenReadOnly)
{
    TempDirectory temp;
    temp.WriteBytes(u"old.bin", Pattern(100));
    MakeReadOnly(temp, u"old.bin");
    File file;
    ASSERT_TRUE(file.Create(temp.Path(u"old.bin").Text()));
    EXPECT_EQ(file.Size(), 0);
    file.Close();
    EXPECT_FALSE(IsReadOnly(temp, u"old.bin"));
}

TEST(File, OpenFailsForMissingFilesAndDirectories)
{
    TempDirectory temp;
    std::filesystem::create_directory(temp.Native(u"folder"));
    struct Case
    {
        const char16_t* relative;
        bool readWrite;
    } cases[] = {{u"missing.bin", false}, {u"missing.bin", true}, {u"folder", false}, {u"folder", true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::filesystem::path(c.relative).string() + (c.readWrite ? " read-write" : " read"));
        File file;
        String path = temp.Path(c.relative);
        EXPECT_FALSE(c.readWrite ? file.OpenReadWrite(path.Text()) : file.OpenRead(path.Text()));
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_FALSE(std::filesystem::exists(temp.Native(u"missing.bin"))); // opening never creates
}

TEST(File, OpenReadWriteClearsReadOnlyAndWritesInPlace)
{
    TempDirectory temp;
    temp.WriteBytes(u"data.bin", "abcdef");
    MakeReadOnly(temp, u"data.bin");
    File file;
    ASSERT_TRUE(file.OpenReadWrite(temp.Path(u"data.bin").Text()));
    EXPECT_TRUE(file.Seek(2));
    EXPECT_TRUE(file.Write("XY", 2));
    file.Close();
    EXPECT_EQ(temp.ReadBytes(u"data.bin"), "abXYef");
    EXPECT_FALSE(IsReadOnly(temp, u"data.bin"));
}

TEST(File, OthersMayReadAnOpenFile)
{
    TempDirectory temp;
    File writer;
    ASSERT_TRUE(writer.Create(temp.Path(u"shared.bin").Text()));
    ASSERT_TRUE(writer.Write("12345", 5));
    EXPECT_EQ(temp.ReadBytes(u"shared.bin"), "12345"); // a reader that lets others write
    writer.Close();

    File first;
    File second;
    ASSERT_TRUE(first.OpenRead(temp.Path(u"shared.bin").Text()));
    ASSERT_TRUE(second.OpenRead(temp.Path(u"shared.bin").Text()));
    char bytes[8] = {};
    uint32_t read = 0;
    EXPECT_TRUE(second.Read(bytes, sizeof(bytes), &read));
    EXPECT_EQ(std::string(bytes, read), "12345");
    EXPECT_FALSE(second.Write("x", 1)); // opened for reading only
    first.Close();
    second.Close();
}

TEST(File, OpeningAnOpenFileClosesTheOldHandle)
{
    TempDirectory temp;
    temp.WriteBytes(u"first.txt", "first");
    temp.WriteBytes(u"second.txt", "second");
    File file;
    ASSERT_TRUE(file.OpenRead(temp.Path(u"first.txt").Text()));
    ASSERT_TRUE(file.OpenRead(temp.Path(u"second.txt").Text()));
    // Windows refuses to delete a file with an open handle, so this shows the first one was closed.
    EXPECT_TRUE(DeleteFileAt(temp.Path(u"first.txt").Text()));
    DataBuffer buffer;
    EXPECT_TRUE(file.ReadAll(buffer));
    EXPECT_EQ(Bytes(buffer), "second");
    file.Close();
}

TEST(File, EveryOperationOnAClosedFileFails)
{
    File file;
    DataBuffer buffer;
    char bytes[4] = {};
    uint32_t count = 99;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.SeekEnd());
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_EQ(file.Size(), 0);
    EXPECT_FALSE(file.SetSize(10));
    EXPECT_FALSE(file.Write("ab", 2));
    EXPECT_FALSE(file.Write("ab", 0, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(file.WriteInt(1));
    EXPECT_FALSE(file.WriteText(u"x"));
    count = 99;
    EXPECT_FALSE(file.Read(bytes, sizeof(bytes), &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(file.ReadAll(buffer));
    file.Close(); // closing twice is harmless
}

TEST(File, WriteReportsCountsAndRefusesNullBytes)
{
    TempDirectory temp;
    File file;
    ASSERT_TRUE(file.Create(temp.Path(u"w.bin").Text()));
    uint32_t written = 99;
    EXPECT_TRUE(file.Write("abc", 3, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(file.Write(nullptr, 0));  // nothing to write: true at once
    EXPECT_FALSE(file.Write(nullptr, 4)); // reported by assertion, nothing written
    EXPECT_TRUE(file.WriteInt(0x01020304));
    EXPECT_EQ(file.Tell(), 7);
    file.Close();
    EXPECT_EQ(temp.ReadBytes(u"w.bin"), std::string("abc\x04\x03\x02\x01", 7));
}

TEST(File, WriteTextConvertsToTheFileEncoding)
{
    struct Case
    {
        int32_t encoding;
        const char16_t* text;
        std::string bytes;
    } cases[] = {
        {EncodingUtf8, u"\u00e9", "\xC3\xA9"},
        {EncodingUtf8, u"a\u4e2d", "a\xE4\xB8\xAD"},
        {EncodingUtf16, u"A\u00e9", std::string("A\0\xE9\0", 4)},
        {EncodingAnsi, u"plain", "plain"},
        {7, u"other", "other"}, // any other value means the ANSI code page
        {EncodingUtf8, u"", ""},
    };
    TempDirectory temp;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.encoding);
        File file;
        ASSERT_TRUE(file.Create(temp.Path(u"text.txt").Text()));
        file.encoding = c.encoding;
        EXPECT_TRUE(file.WriteText(c.text));
        file.Close();
        EXPECT_EQ(temp.ReadBytes(u"text.txt"), c.bytes);
    }
}

TEST(File, SetSizeKeepsThePosition)
{
    struct Case
    {
        int64_t position;
        int64_t size;
    } cases[] = {{5, 20}, {50, 10}, {100, 100}, {0, 0}, {30, 200}};
    TempDirectory temp;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.position) + " -> " + std::to_string(c.size));
        temp.WriteBytes(u"sized.bin", Pattern(100));
        File file;
        ASSERT_TRUE(file.OpenReadWrite(temp.Path(u"sized.bin").Text()));
        ASSERT_TRUE(file.Seek(c.position));
        EXPECT_TRUE(file.SetSize(c.size));
        EXPECT_EQ(file.Tell(), c.position);
        EXPECT_EQ(file.Size(), c.size);
        // A write at a position beyond the end fills the gap with zeros.
        EXPECT_TRUE(file.Write("Z", 1));
        file.Close();
        std::string expected = Pattern(100);
        expected.resize(size_t(c.size), '\0');
        if (c.position >= c.size)
            expected.resize(size_t(c.position + 1), '\0');
        expected[size_t(c.position)] = 'Z';
        EXPECT_EQ(temp.ReadBytes(u"sized.bin"), expected);
    }
}

TEST(File, SeekEndAndTell)
{
    TempDirectory temp;
    temp.WriteBytes(u"s.bin", Pattern(300));
    File file;
    ASSERT_TRUE(file.OpenRead(temp.Path(u"s.bin").Text()));
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_TRUE(file.SeekEnd());
    EXPECT_EQ(file.Tell(), 300);
    char byte = 0;
    uint32_t read = 99;
    EXPECT_TRUE(file.Read(&byte, 1, &read)); // at the end: success with nothing read
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(file.Seek(299));
    EXPECT_TRUE(file.Read(&byte, 1, &read));
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(byte, Pattern(300)[299]);
    EXPECT_FALSE(file.Seek(-1));
    file.Close();
}

TEST(File, SaveFileReplacesSizesOrCreates)
{
    struct Case
    {
        const char* name;
        const char16_t* relative;
        bool existing;     // a 100-byte file is there first
        bool readOnly;     // ... with the read-only attribute
        const char* bytes; // null: only size the file
        uint32_t count;
        std::string expected;
    } cases[] = {
        {"10 bytes over 100", u"over.bin", true, false, "0123456789", 10, "0123456789"},
        {"null bytes, new file", u"reserve.bin", false, false, nullptr, 1000, std::string(1000, '\0')},
        {"null bytes keep what is there", u"grow.bin", true, false, nullptr, 150,
         Pattern(100) + std::string(50, '\0')},
        {"null bytes shrink", u"shrink.bin", true, false, nullptr, 40, Pattern(40)},
        {"read-only file", u"locked.bin", true, true, "abc", 3, "abc"},
        {"new directories", u"new\\dir\\f.bin", false, false, "abc", 3, "abc"},
        {"empty", u"empty.bin", true, false, "", 0, ""},
    };
    TempDirectory temp;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (c.existing)
            temp.WriteBytes(c.relative, Pattern(100));
        if (c.readOnly)
            MakeReadOnly(temp, c.relative);
        EXPECT_TRUE(SaveFile(temp.Path(c.relative).Text(), c.bytes, c.count));
        EXPECT_EQ(temp.ReadBytes(c.relative), c.expected);
        EXPECT_EQ(FileSize(temp.Path(c.relative).Text()), int64_t(c.count));
    }
}

TEST(File, SaveFileFailsWhereNoFileCanBe)
{
    TempDirectory temp;
    std::filesystem::create_directory(temp.Native(u"folder"));
    EXPECT_FALSE(SaveFile(temp.Path(u"folder").Text(), "abc", 3));
    EXPECT_TRUE(std::filesystem::is_directory(temp.Native(u"folder")));
}

TEST(File, LoadFileAndReadAll)
{
    struct Case
    {
        const char16_t* relative;
        size_t size;
    } cases[] = {{u"empty.bin", 0}, {u"one.bin", 1}, {u"sub\\block.bin", 70000}};
    TempDirectory temp;
    std::filesystem::create_directory(temp.Native(u"sub"));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.size);
        temp.WriteBytes(c.relative, Pattern(c.size));
        String path = temp.Path(c.relative);
        DataBuffer buffer;
        buffer.Append("stale", 5);
        ASSERT_TRUE(LoadFile(buffer, path.Text()));
        EXPECT_EQ(Bytes(buffer), Pattern(c.size));
        EXPECT_TRUE(buffer.name.Equals(path.Text()));
        EXPECT_EQ(FileSize(path.Text()), int64_t(c.size));
    }
}

TEST(File, ReadAllReadsFromTheStartWhateverThePosition)
{
    TempDirectory temp;
    temp.WriteBytes(u"r.bin", "whole file");
    File file;
    ASSERT_TRUE(file.OpenRead(temp.Path(u"r.bin").Text()));
    EXPECT_TRUE(file.Seek(6));
    DataBuffer buffer;
    EXPECT_TRUE(file.ReadAll(buffer));
    EXPECT_EQ(Bytes(buffer), "whole file");
    file.Close();
}

TEST(File, MissingFilesLoadNothing)
{
    TempDirectory temp;
    DataBuffer buffer;
    EXPECT_FALSE(LoadFile(buffer, temp.Path(u"missing.bin").Text()));
    EXPECT_TRUE(buffer.name.IsEmpty());
    EXPECT_EQ(FileSize(temp.Path(u"missing.bin").Text()), 0);
    EXPECT_EQ(FileMd5(temp.Path(u"missing.bin").Text()), Md5State{});
}

TEST(File, MakeDirectories)
{
    TempDirectory temp;
    temp.WriteBytes(u"plain.txt", "x");
    struct Case
    {
        String path;
        bool result;
        const char16_t* madeDirectory; // relative to the folder, null: nothing to check
    } cases[] = {
        {u"", false, nullptr},
        {u"C:", true, nullptr},
        {temp.Path(u"drive:"), true, nullptr},
        {temp.Path(), true, u""},
        {temp.Path(u"p\\q\\r"), true, u"p/q/r"},
        {temp.Path(u"s/t\\u"), true, u"s/t/u"},
        {temp.Path(u"p\\q"), true, u"p/q"}, // exists already
        {temp.Path(u"plain.txt\\sub"), false, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::filesystem::path(std::u16string(c.path.Text())).string());
        EXPECT_EQ(MakeDirectories(c.path.Text()), c.result);
        EXPECT_TRUE(c.madeDirectory == nullptr ||
                    std::filesystem::is_directory(temp.Native(c.madeDirectory)));
    }
    EXPECT_FALSE(MakeDirectories(nullptr));
    // Paths ending with ':' are answered without creating anything.
    EXPECT_FALSE(std::filesystem::exists(temp.Native(u"drive:")));
    EXPECT_FALSE(std::filesystem::exists(temp.Native(u"drive")));
}

TEST(File, ExistenceAndDeletion)
{
    TempDirectory temp;
    temp.WriteBytes(u"file.txt", "x");
    temp.WriteBytes(u"locked.txt", "x");
    MakeReadOnly(temp, u"locked.txt");
    std::filesystem::create_directory(temp.Native(u"folder"));
    struct Case
    {
        const char16_t* relative;
        bool file;
        bool directory;
        bool deleted;
    } cases[] = {
        {u"file.txt", true, false, true},
        {u"locked.txt", true, false, true},
        {u"folder", false, true, false},
        {u"missing.txt", false, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::filesystem::path(c.relative).string());
        String path = temp.Path(c.relative);
        EXPECT_EQ(FileExists(path.Text()), c.file);
        EXPECT_EQ(DirectoryExists(path.Text()), c.directory);
        EXPECT_EQ(DeleteFileAt(path.Text()), c.deleted);
        EXPECT_EQ(std::filesystem::exists(temp.Native(c.relative)), c.directory);
    }
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_FALSE(DirectoryExists(nullptr));
    EXPECT_FALSE(DeleteFileAt(nullptr));
}

TEST(File, MoveFileOverReplacesTheTarget)
{
    struct Case
    {
        const char* what;
        bool hasSource;
        const char* target; // what the target holds first: a file's bytes, "" for nothing, "/" for a folder
        bool readOnlyTarget;
        bool moved;
    } cases[] = {
        {"to a new name", true, "", false, true},
        {"over a longer file", true, "an older and longer content", false, true},
        {"over a read-only file", true, "old", true, true},
        {"without a source", false, "old", false, false},
        {"onto a folder", true, "/", false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        TempDirectory temp;
        if (c.hasSource)
            temp.WriteBytes(u"new.bin", "new");
        if (std::string(c.target) == "/")
            std::filesystem::create_directory(temp.Native(u"target.bin"));
        else if (*c.target != 0)
            temp.WriteBytes(u"target.bin", c.target);
        if (c.readOnlyTarget)
            MakeReadOnly(temp, u"target.bin");
        EXPECT_EQ(MoveFileOver(temp.Path(u"new.bin").Text(), temp.Path(u"target.bin").Text()), c.moved);
        if (c.moved)
        {
            EXPECT_EQ(temp.ReadBytes(u"target.bin"), "new");
            EXPECT_FALSE(std::filesystem::exists(temp.Native(u"new.bin")));
        }
        else if (*c.target != '/')
        {
            EXPECT_EQ(temp.ReadBytes(u"target.bin"), c.target);
        }
    }
    EXPECT_FALSE(MoveFileOver(nullptr, u"x"));
}

TEST(File, FileMd5MatchesMd5sumAndTheMemoryDigest)
{
    // Digests printed by md5sum for the same bytes.
    struct Case
    {
        size_t size;
        const char* md5sum;
    } cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},      {1, "93b885adfe0da089cdf634904fd59f71"},
        {64, "543faeacda37eef7bf1d36b5b1e602c3"},     {65535, "5cea37bbdd3cc546a343939b5fda5784"},
        {65536, "a64b298d91f4d22de095b26f4dc133ef"},  {65537, "bd71387fd23851d7fecf7b259133d2bc"},
        {131072, "31e496e36699fbb25375e8ca37dee290"}, {200000, "d717a2fa34cdda84c922c72a249da5ce"},
    };
    TempDirectory temp;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.size);
        std::string bytes = Pattern(c.size);
        temp.WriteBytes(u"digest.bin", bytes);
        Md5State digest = FileMd5(temp.Path(u"digest.bin").Text());
        EXPECT_EQ(Hex(digest), c.md5sum);
        EXPECT_EQ(digest, Md5(bytes.data(), uint32_t(bytes.size())));
    }
}

TEST(File, CountersMoveWithEveryOperation)
{
    TempDirectory temp;
    temp.WriteBytes(u"c.bin", "counted");
    File file;
    char bytes[4];
    uint32_t read = 0;
    struct Step
    {
        const char* name;
        void (*run)(File&, const String&, char*, uint32_t&);
        uint32_t operations;
        uint32_t reads;
    } steps[] = {
        {"open", [](File& f, const String& p, char*, uint32_t&) { f.OpenRead(p.Text()); }, 1, 0},
        {"read", [](File& f, const String&, char* b, uint32_t& n) { f.Read(b, 4, &n); }, 1, 1},
        {"seek", [](File& f, const String&, char*, uint32_t&) { f.Seek(1); }, 1, 0},
        {"seek end", [](File& f, const String&, char*, uint32_t&) { f.SeekEnd(); }, 1, 0},
        {"size", [](File& f, const String&, char*, uint32_t&) { f.Size(); }, 1, 0},
        {"write", [](File& f, const String&, char*, uint32_t&) { f.Write("x", 1); }, 1, 0},
        {"close", [](File& f, const String&, char*, uint32_t&) { f.Close(); }, 1, 0},
        {"closed read", [](File& f, const String&, char* b, uint32_t& n) { f.Read(b, 4, &n); }, 1, 1},
    };
    String path = temp.Path(u"c.bin");
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.name);
        uint32_t operations = FileOperationCount();
        uint32_t reads = FileReadCount();
        step.run(file, path, bytes, read);
        EXPECT_EQ(FileOperationCount() - operations, step.operations);
        EXPECT_EQ(FileReadCount() - reads, step.reads);
    }
    uint32_t reads = FileReadCount();
    DataBuffer buffer;
    EXPECT_TRUE(LoadFile(buffer, path.Text()));
    EXPECT_GT(FileReadCount(), reads);
}

TEST(File, EmbeddedResourceIsFoundByNameIgnoringCase)
{
    // The loading movie, made at build time; its content is checked by the loader's tests.
    DataBuffer exact;
    ASSERT_TRUE(LoadEmbeddedResource(u"LOADING.SWF", exact));
    const std::string movie = Bytes(exact);
    ASSERT_EQ(movie.substr(0, 3), "CWS");
    struct Case
    {
        const char16_t* name;
        bool found;
    } cases[] = {
        {u"LOADING.SWF", true},   {u"loading.swf", true}, {u"Loading.Swf", true}, {u"LOADING", false},
        {u"LOADING.SWF2", false}, {u"OADING.SWF", false}, {u"loader.swf", false}, {u"", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::filesystem::path(c.name).string());
        DataBuffer buffer;
        EXPECT_EQ(LoadEmbeddedResource(c.name, buffer), c.found);
        EXPECT_EQ(Bytes(buffer), c.found ? movie : "");
        EXPECT_TRUE(buffer.IsOwned()); // a copy, never the module's own bytes
    }
    DataBuffer buffer;
    EXPECT_FALSE(LoadEmbeddedResource(nullptr, buffer));
}
