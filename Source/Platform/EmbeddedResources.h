// Resources linked into a Linux module: each module registers its table when it is loaded, and
// LoadEmbeddedResource searches the tables by name, ignoring case.
#pragma once

#include <cstdint>

namespace Zelto
{

struct EmbeddedResource
{
    const char16_t* name;
    const unsigned char* bytes;
    uint32_t size;
};

struct EmbeddedResourceTable
{
    EmbeddedResourceTable(const EmbeddedResource* entries, uint32_t count);

    const EmbeddedResource* entries;
    uint32_t count;
    const EmbeddedResourceTable* next;
};

const EmbeddedResourceTable* FirstEmbeddedResourceTable();

} // namespace Zelto
