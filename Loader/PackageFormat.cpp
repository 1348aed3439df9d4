#include "Loader/PackageFormat.h"

#include "Source/Common/Memory.h"

#include <initializer_list>

namespace Zelto
{

const char16_t PackageKey[] = u"Koalaa6e117d0d8a0472205175ff9f10d7684";

namespace
{

// The scramble table: T[i] = (167 * i + 89) mod 256. Any fixed table serves, but it can never change: every
// package made for this loader carries the digest it gives.
const uint8_t ScrambleTable[128] = {
    0x59, 0x00, 0xA7, 0x4E, 0xF5, 0x9C, 0x43, 0xEA, 0x91, 0x38, 0xDF, 0x86, 0x2D, 0xD4, 0x7B, 0x22,
    0xC9, 0x70, 0x17, 0xBE, 0x65, 0x0C, 0xB3, 0x5A, 0x01, 0xA8, 0x4F, 0xF6, 0x9D, 0x44, 0xEB, 0x92,
    0x39, 0xE0, 0x87, 0x2E, 0xD5, 0x7C, 0x23, 0xCA, 0x71, 0x18, 0xBF, 0x66, 0x0D, 0xB4, 0x5B, 0x02,
    0xA9, 0x50, 0xF7, 0x9E, 0x45, 0xEC, 0x93, 0x3A, 0xE1, 0x88, 0x2F, 0xD6, 0x7D, 0x24, 0xCB, 0x72,
    0x19, 0xC0, 0x67, 0x0E, 0xB5, 0x5C, 0x03, 0xAA, 0x51, 0xF8, 0x9F, 0x46, 0xED, 0x94, 0x3B, 0xE2,
    0x89, 0x30, 0xD7, 0x7E, 0x25, 0xCC, 0x73, 0x1A, 0xC1, 0x68, 0x0F, 0xB6, 0x5D, 0x04, 0xAB, 0x52,
    0xF9, 0xA0, 0x47, 0xEE, 0x95, 0x3C, 0xE3, 0x8A, 0x31, 0xD8, 0x7F, 0x26, 0xCD, 0x74, 0x1B, 0xC2,
    0x69, 0x10, 0xB7, 0x5E, 0x05, 0xAC, 0x53, 0xFA, 0xA1, 0x48, 0xEF, 0x96, 0x3D, 0xE4, 0x8B, 0x32,
};

// The one list of stored fields, in file order, for the parser and the writer alike: visit(field, size).
// The version is looked at after its field was visited, so the parser decides on the value it just read.
template <typename Header, typename Visit> void VisitStoredFields(Header& header, Visit visit)
{
    visit(&header.magic, 4);
    visit(&header.version, 4);
    visit(header.textA, uint32_t(sizeof header.textA));
    visit(header.cacheName, uint32_t(sizeof header.cacheName));
    visit(&header.headerWord, 4);
    if (header.version == 2)
        visit(header.keyDigest, 16);
    for (auto& entry : header.entries)
    {
        visit(entry.name, uint32_t(sizeof entry.name));
        visit(entry.digest, 16);
        visit(&entry.offset, 4);
        visit(&entry.size, 4);
    }
    for (auto* section : {&header.sectionA, &header.sectionB})
    {
        visit(section->name, uint32_t(sizeof section->name));
        visit(&section->sectionValue, 8);
        visit(&section->sectionSize, 8);
        visit(&section->sectionWord1, 4);
        visit(&section->sectionWord2, 4);
        visit(section->digest, 16);
    }
    visit(header.textC, uint32_t(sizeof header.textC));
}

} // namespace

void KeyScramble(const char16_t* key, uint8_t out[16])
{
    uint32_t position = 0;
    for (uint32_t i = 0; i < 16; ++i)
    {
        char16_t unit = key[position];
        out[i] = uint8_t(ScrambleTable[unit % 128] ^ (unit % 256));
        // Round and round the key; an empty key scrambles as one NUL unit.
        if (unit != 0 && key[++position] == 0)
            position = 0;
    }
}

Md5State ExpectedKeyDigest()
{
    uint8_t scrambled[16];
    KeyScramble(PackageKey, scrambled);
    return Md5(scrambled, sizeof scrambled);
}

bool IsHeaderKeyValid(const PackageHeader& header)
{
    if (header.magic != PackageMagic)
        return false;
    return header.version != 2 || Md5FromBytes(header.keyDigest) == ExpectedKeyDigest();
}

uint32_t PackageHeaderLength(uint32_t version)
{
    return version == 1 ? PackageHeaderSizeV1 : PackageHeaderSize;
}

String PackageText(const char16_t (&field)[PackageTextUnits])
{
    uint32_t length = 0;
    while (length < PackageTextUnits && field[length] != 0)
        ++length;
    return String(field, int32_t(length));
}

namespace
{

bool IsSeparator(char16_t unit)
{
    return unit == u'/' || unit == u'\\';
}

// True when `test` holds for one of the components between separators.
template <typename Test> bool AnyComponent(const String& name, Test test)
{
    uint32_t start = 0;
    for (uint32_t i = 0; i <= name.Length(); ++i)
    {
        if (i < name.Length() && !IsSeparator(name[i]))
            continue;
        if (test(String(name.Text() + start, int32_t(i - start))))
            return true;
        start = i + 1;
    }
    return false;
}

bool IsParentStep(const String& component)
{
    return component.Equals(u"..");
}

// The last component names a folder ("", "."), not a file.
bool EndsInFolder(const String& name)
{
    uint32_t length = name.Length();
    return IsSeparator(name[length - 1]) || name.Equals(u".") ||
           (length >= 2 && name[length - 1] == u'.' && IsSeparator(name[length - 2]));
}

// Windows opens a device for a component that is one of these names once it is cut at its first dot and
// stripped of trailing spaces (`nul.txt`, `con.`, `nul `), in any folder; COM and LPT take the digits 1 to 9
// and the superscripts one to three (U+00B9, U+00B2, U+00B3).
bool IsDeviceName(String component) // a copy: it is cut
{
    int32_t dot = component.FindChar(u'.');
    if (dot >= 0)
        component.Remove(uint32_t(dot), -1);
    component.TrimRight(u' ');
    for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (component.EqualsNoCase(device))
            return true;
    if (component.Length() != 4 ||
        !(component.StartsWith(u"COM", false) || component.StartsWith(u"LPT", false)))
        return false;
    char16_t digit = component[3];
    return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

} // namespace

const char16_t* UnsafeNameReason(const char16_t* name)
{
    String text(name);
    if (text.IsEmpty())
        return nullptr;
    if (IsSeparator(text[0]))
        return u"it is absolute";
    if (text.FindChar(u':') >= 0)
        return u"it names a drive or a stream";
    if (AnyComponent(text, IsParentStep))
        return u"it leaves the current directory";
    if (EndsInFolder(text))
        return u"it names a folder";
    if (AnyComponent(text, IsDeviceName))
        return u"it names a device";
    return nullptr;
}

void ParseHeader(const DataBuffer& buffer, PackageHeader& header)
{
    const uint8_t* cursor = buffer.Data();
    uint32_t remaining = buffer.Size();
    VisitStoredFields(header,
                      [&](void* field, uint32_t size)
                      {
                          if (remaining < size)
                              return;
                          Memory::Copy(field, cursor, size);
                          cursor += size;
                          remaining -= size;
                      });
}

bool SerializeHeader(const PackageHeader& header, DataBuffer& out)
{
    // Other versions have no stored form of their own: the loader reads them without a key digest but
    // measures them as 1132 bytes.
    if (header.version != 1 && header.version != 2)
        return false;
    out.Reset();
    bool appended = true;
    VisitStoredFields(header, [&](const void* field, uint32_t size)
                      { appended = appended && out.Append(field, size); });
    return appended;
}

uint64_t PackageEntriesSize(const PackageHeader& header)
{
    uint64_t total = 0;
    for (const PackageEntry& entry : header.entries)
        total += entry.size;
    return total;
}

uint64_t ExpectedPackageLength(const PackageHeader& header)
{
    return uint64_t(PackageHeaderLength(header.version)) + PackageEntriesSize(header) +
           header.sectionA.sectionSize + header.sectionB.sectionSize;
}

} // namespace Zelto
