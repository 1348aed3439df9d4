// Builds a package: the header, then each file's stored bytes (plain or a packed block) in entry order, then
// the two sections. Entry digests are the MD5 (RFC 1321) of each file's unpacked content, which the loader
// compares with the MD5 of its local copy.
#pragma once

#include "Common/String.h"

#include <cstdint>
#include <vector>

namespace Zelto
{

enum class Packing
{
    Plain,
    Zlib,
    Lzma,
};

struct PackageInput
{
    String path; // the file to store
    String name; // the entry name: where the loader keeps the file, relative to its current directory
    Packing packing = Packing::Plain;
};

struct SectionInput
{
    String name;
    String path; // empty: no section
};

struct PackagePlan
{
    uint32_t version = 2; // 1: no key digest, 16 bytes shorter
    String cacheName;
    std::vector<PackageInput> inputs; // 1 to 8; entry 0 is the engine module
    SectionInput sectionA;
    SectionInput sectionB;
};

// The command-line forms. FILE[:plain|zlib|lzma][@NAME]: the last '@' starts the entry name (default: FILE's
// name without its folder), a final ":method" the packing (default plain). NAME:FILE for a section.
bool ParseInputArgument(const char16_t* argument, PackageInput& input, String& error);
bool ParseSectionArgument(const char16_t* argument, SectionInput& section, String& error);

// The loader writes each entry under its name in its current directory: a name must be relative, at most 31
// units, and never leave that folder.
bool CheckEntryName(const char16_t* name, String& error);

// On failure no file is left at `outPath` and `error` says why.
bool WritePackage(const PackagePlan& plan, const char16_t* outPath, String& error);

} // namespace Zelto
