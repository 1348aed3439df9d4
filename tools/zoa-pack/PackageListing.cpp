#include "tools/zoa-pack/PackageListing.h"

#include "Common/PackedBlock.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"

#include <initializer_list>
#include <utility>

namespace Zelto
{

namespace
{

// The usual rendering of a digest: its bytes in order, as md5sum prints them.
String DigestHex(const uint8_t digest[16])
{
    String text;
    for (uint32_t i = 0; i < 16; ++i)
        text.Append(Format(u"%02x", digest[i]).Text());
    return text;
}

const char16_t* Verdict(bool ok)
{
    return ok ? u"ok" : u"bad";
}

void AddLine(String& text, const String& line)
{
    text.Append(line.Text());
    text.Append(u"\n");
}

// How an entry's bytes are stored, from their first 20 bytes; empty when they lie outside the file.
String EntryPacking(File& file, int64_t fileSize, const PackageEntry& entry)
{
    if (uint64_t(entry.offset) + entry.size > uint64_t(fileSize))
        return String();
    uint8_t head[PackedBlockHeaderSize];
    uint32_t count = entry.size < sizeof head ? entry.size : uint32_t(sizeof head);
    uint32_t read = 0;
    PackedBlockInfo block;
    if (!file.Seek(entry.offset) || !file.Read(head, count, &read) || read != count)
        return String();
    if (!ReadPackedBlockHeader(head, count, block))
        return u"plain";
    if (block.method == PackedZlib)
        return Format(u"zlib, %u bytes unpacked", block.unpackedSize);
    const uint8_t* p = block.properties;
    return Format(u"lzma %02x %02x %02x %02x %02x, %u bytes unpacked", p[0], p[1], p[2], p[3], p[4],
                  block.unpackedSize);
}

} // namespace

bool ListPackage(const char16_t* path, String& text)
{
    File file;
    DataBuffer stored;
    AddLine(text, Format(u"package: %ls", path));
    int64_t fileSize = file.OpenRead(path) ? file.Size() : -1;
    uint32_t count = fileSize < PackageHeaderSize ? uint32_t(fileSize < 0 ? 0 : fileSize) : PackageHeaderSize;
    uint32_t read = 0;
    if (fileSize < 0 || !stored.Allocate(count) || !file.Read(stored.Data(), count, &read) || read != count)
    {
        AddLine(text, u"cannot read the file");
        return false;
    }
    bool sound = true;
    if (count < PackageHeaderSize)
    {
        AddLine(text, Format(u"too short: %u bytes, the loader fetches %u", count, PackageHeaderSize));
        sound = false;
    }

    PackageHeader header{};
    ParseHeader(stored, header);
    bool magicOk = header.magic == PackageMagic;
    AddLine(text, Format(u"magic: 0x%08x (%ls)", header.magic, Verdict(magicOk)));
    AddLine(text, Format(u"version: %u", header.version));
    if (header.version == 2)
        AddLine(text, Format(u"key digest: %ls (%ls)", DigestHex(header.keyDigest).Text(),
                             Verdict(IsHeaderKeyValid(header))));
    else
        AddLine(text, Format(u"key digest: none in version %u", header.version));
    sound = sound && IsHeaderKeyValid(header);
    AddLine(text, Format(u"cache name: %ls", PackageText(header.cacheName).Text()));

    for (uint32_t i = 0; i < PackageEntryCount; ++i)
    {
        const PackageEntry& entry = header.entries[i];
        if (entry.name[0] == 0 && entry.size == 0)
            continue; // unused
        String packing = EntryPacking(file, fileSize, entry);
        if (packing.IsEmpty())
        {
            packing = u"outside the file";
            sound = false;
        }
        AddLine(text,
                Format(u"entry %u: %ls offset %u size %u md5 %ls %ls", i, PackageText(entry.name).Text(),
                       entry.offset, entry.size, DigestHex(entry.digest).Text(), packing.Text()));
    }
    for (auto [letter, section] :
         {std::make_pair(u'A', &header.sectionA), std::make_pair(u'B', &header.sectionB)})
    {
        if (section->name[0] == 0 && section->sectionSize == 0)
            AddLine(text, Format(u"section %lc: none", letter));
        else
            AddLine(text,
                    Format(u"section %lc: %ls size %llu md5 %ls", letter, PackageText(section->name).Text(),
                           static_cast<unsigned long long>(section->sectionSize),
                           DigestHex(section->digest).Text()));
    }

    uint64_t expected = ExpectedPackageLength(header);
    bool lengthOk = expected == uint64_t(fileSize);
    AddLine(text, Format(u"length: expected %llu, file %lld (%ls)", static_cast<unsigned long long>(expected),
                         static_cast<long long>(fileSize), Verdict(lengthOk)));
    file.Close();
    return sound && lengthOk;
}

} // namespace Zelto
