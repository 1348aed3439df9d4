#include "tools/zoa-pack/PackageWriter.h"

#include "Common/ByteSink.h"
#include "Common/Md5.h"
#include "Loader/EntryNames.h"
#include "Loader/PackageFormat.h"
#include "Source/Common/Memory.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/File.h"
#include "tools/zoa-pack/PackedBlockWriter.h"

#include <initializer_list>
#include <utility>

namespace Zelto
{

namespace
{

bool IsSeparator(char16_t unit)
{
    return unit == u'/' || unit == u'\\';
}

// Where a path's file name starts: after its last separator or a drive's colon.
uint32_t FileNameStart(const String& path)
{
    uint32_t start = 0;
    for (uint32_t i = 0; i < path.Length(); ++i)
        if (IsSeparator(path[i]) || path[i] == u':')
            start = i + 1;
    return start;
}

// A stored text holds at most 31 units and its NUL.
bool FitsStoredText(const String& text)
{
    return text.Length() < PackageTextUnits;
}

void StoreText(char16_t (&field)[PackageTextUnits], const String& text)
{
    Memory::Set(field, 0, sizeof field);
    Memory::Copy(field, text.Text(), text.Length() * sizeof(char16_t));
}

bool CheckPlan(const PackagePlan& plan, String& error)
{
    error = String(); // an error found here is one set below
    if (plan.version != 1 && plan.version != 2)
        error = Format(u"version %u is not made: only 1 and 2", plan.version);
    else if (plan.inputs.empty() || plan.inputs.size() > PackageEntryCount)
        error = Format(u"a package holds 1 to %u files (the first is the engine module), not %u",
                       PackageEntryCount, uint32_t(plan.inputs.size()));
    else if (!FitsStoredText(plan.cacheName))
        error = Format(u"cache name \"%ls\" is longer than 31 units", plan.cacheName.Text());
    for (const SectionInput* section : {&plan.sectionA, &plan.sectionB})
        if (error.IsEmpty() && !FitsStoredText(section->name))
            error = Format(u"section name \"%ls\" is longer than 31 units", section->name.Text());
    for (size_t i = 0; i < plan.inputs.size() && error.IsEmpty(); ++i)
    {
        const String& name = plan.inputs[i].name;
        if (!CheckEntryName(name.Text(), error))
            break;
        // Names the loader resolves to one file (case, separators, "." steps, as Windows reads them) would
        // overwrite each other, so the loader refuses such a package.
        for (size_t earlier = 0; earlier < i; ++earlier)
            if (EntryNameKey(plan.inputs[earlier].name.Text()).Equals(EntryNameKey(name.Text()).Text()))
                error = Format(u"entry name \"%ls\" is given twice", name.Text());
    }
    return error.IsEmpty();
}

constexpr uint32_t ReadPieceBytes = 1u << 20; // a file is read, digested and stored in pieces of this size

// The package file, counting what goes into it.
class PackageOutput : public ByteSink
{
public:
    explicit PackageOutput(File& file) : mFile(file) {}
    bool Take(const uint8_t* bytes, uint32_t count) override
    {
        written += count;
        return mFile.Write(bytes, count);
    }
    uint64_t written = 0;

private:
    File& mFile;
};

// Stores the open file `input` in the package as it is read, plain or packed on the way, and digests its
// content: a file of any size takes the same memory. `stored` tells how many bytes went into the package.
bool StoreOpenInput(File& input, const String& path, Packing packing, File& package, uint8_t digest[16],
                    uint64_t& stored, String& error)
{
    int64_t size = input.Size();
    DataBuffer piece;
    if (size < 0 || !piece.Allocate(ReadPieceBytes))
    {
        error = Format(u"cannot read \"%ls\"", path.Text());
        return false;
    }
    if (size > int64_t(UINT32_MAX))
    {
        error = Format(u"\"%ls\" is larger than a package entry can be (4 GiB less one byte)", path.Text());
        return false;
    }
    PackageOutput out(package);
    BlockPacker packer;
    bool packed = packing != Packing::Plain;
    if (packed &&
        !packer.Start(packing == Packing::Lzma ? PackedLzma : PackedZlib, uint32_t(size), out, error))
        return false;
    Md5Stream content;
    for (uint64_t left = uint64_t(size); left != 0;)
    {
        uint32_t want = left < ReadPieceBytes ? uint32_t(left) : ReadPieceBytes;
        uint32_t read = 0;
        if (!input.Read(piece.Data(), want, &read) || read != want)
        {
            error = Format(u"cannot read \"%ls\"", path.Text());
            return false;
        }
        content.Add(piece.Data(), read);
        if (packed ? !packer.Take(piece.Data(), read, error) : !out.Take(piece.Data(), read))
        {
            if (!packed)
                error = u"cannot write the package";
            return false;
        }
        left -= read;
    }
    if (packed && !packer.Finish(error))
        return false;
    Md5ToBytes(content.Finish(), digest);
    stored = out.written;
    return true;
}

// The same for the file at `path`, closed again whatever came of it (on Windows an open file cannot be
// written by others).
bool StoreInput(const String& path, Packing packing, File& package, uint8_t digest[16], uint64_t& stored,
                String& error)
{
    File input;
    if (!input.OpenRead(path.Text()))
    {
        error = Format(u"cannot read \"%ls\"", path.Text());
        return false;
    }
    bool done = StoreOpenInput(input, path, packing, package, digest, stored, error);
    input.Close();
    return done;
}

bool WriteBytes(File& file, const void* bytes, uint32_t count, String& error)
{
    if (file.Write(bytes, count))
        return true;
    error = u"cannot write the package";
    return false;
}

// After the header's room: each entry's stored bytes, then the sections, filling in the header as it goes.
bool WriteContents(const PackagePlan& plan, File& file, PackageHeader& header, String& error)
{
    static const uint8_t room[PackageHeaderSize] = {};
    uint64_t offset = PackageHeaderLength(plan.version);
    if (!WriteBytes(file, room, uint32_t(offset), error))
        return false;

    for (size_t i = 0; i < plan.inputs.size(); ++i)
    {
        const PackageInput& input = plan.inputs[i];
        PackageEntry& entry = header.entries[i];
        uint64_t stored = 0;
        if (!StoreInput(input.path, input.packing, file, entry.digest, stored, error))
            return false;
        if (offset + stored > UINT32_MAX)
        {
            error = u"the files end beyond 4 GiB, where entry offsets (32-bit) cannot reach";
            return false;
        }
        StoreText(entry.name, input.name);
        entry.offset = uint32_t(offset);
        entry.size = uint32_t(stored);
        offset += stored;
    }

    for (auto [input, section] :
         {std::make_pair(&plan.sectionA, &header.sectionA), std::make_pair(&plan.sectionB, &header.sectionB)})
    {
        if (input->path.IsEmpty())
            continue;
        uint64_t stored = 0;
        if (!StoreInput(input->path, Packing::Plain, file, section->digest, stored, error))
            return false;
        StoreText(section->name, input->name);
        section->sectionSize = stored;
        offset += stored;
    }
    // The loader fetches the first 1132 bytes of every package and rejects a shorter answer.
    if (offset < PackageHeaderSize)
    {
        error = Format(u"a version 1 package needs at least %u bytes of files to reach %u bytes",
                       PackageHeaderSize - PackageHeaderSizeV1, PackageHeaderSize);
        return false;
    }
    return true;
}

bool WriteHeader(File& file, const PackageHeader& header, String& error)
{
    DataBuffer stored;
    if (!SerializeHeader(header, stored) || !file.Seek(0))
    {
        error = u"cannot write the package header";
        return false;
    }
    return WriteBytes(file, stored.Data(), stored.Size(), error);
}

} // namespace

bool ParseInputArgument(const char16_t* argument, PackageInput& input, String& error)
{
    String text(argument);
    int32_t at = text.FindLastChar(u'@');
    String path = at < 0 ? text : String(text.Text(), at);
    input.packing = Packing::Plain;
    // A colon in the file name part ends the path, unless it is a drive's ("C:zelto3d.zob").
    int32_t colon = path.FindLastChar(u':');
    if (colon >= 2 && FileNameStart(path) == uint32_t(colon) + 1)
    {
        String method(path.Text() + colon + 1);
        if (method.Equals(u"lzma"))
            input.packing = Packing::Lzma;
        else if (method.Equals(u"zlib"))
            input.packing = Packing::Zlib;
        else if (!method.Equals(u"plain"))
        {
            error =
                Format(u"unknown packing \"%ls\" in \"%ls\": plain, zlib or lzma", method.Text(), argument);
            return false;
        }
        path = String(path.Text(), colon);
    }
    input.path = path;
    input.name = at < 0 ? String(path.Text() + FileNameStart(path)) : String(text.Text() + at + 1);
    if (input.path.IsEmpty())
    {
        error = Format(u"no file in \"%ls\"", argument);
        return false;
    }
    return CheckEntryName(input.name.Text(), error);
}

bool ParseSectionArgument(const char16_t* argument, SectionInput& section, String& error)
{
    String text(argument);
    int32_t colon = text.FindChar(u':');
    if (colon <= 0 || uint32_t(colon) + 1 == text.Length())
    {
        error = Format(u"a section is given as NAME:FILE, not \"%ls\"", argument);
        return false;
    }
    section.name = String(text.Text(), colon);
    section.path = String(text.Text() + colon + 1);
    return true;
}

bool CheckEntryName(const char16_t* name, String& error)
{
    String text(name);
    const char16_t* why = nullptr;
    if (text.IsEmpty())
        why = u"it is empty";
    else if (!FitsStoredText(text))
        why = u"it is longer than 31 units";
    else
        why = UnsafeNameReason(name);
    if (why == nullptr)
        return true;
    error = Format(u"entry name \"%ls\" refused: %ls", name, why);
    return false;
}

bool WritePackage(const PackagePlan& plan, const char16_t* outPath, String& error)
{
    if (!CheckPlan(plan, error))
        return false;
    PackageHeader header{};
    header.magic = PackageMagic;
    header.version = plan.version;
    StoreText(header.cacheName, plan.cacheName);
    if (plan.version == 2)
        Md5ToBytes(ExpectedKeyDigest(), header.keyDigest);

    File file;
    if (!file.Create(outPath))
    {
        error = Format(u"cannot create \"%ls\"", outPath);
        return false;
    }
    bool written = WriteContents(plan, file, header, error) && WriteHeader(file, header, error);
    file.Close();
    if (!written)
        DeleteFileAt(outPath);
    return written;
}

} // namespace Zelto
