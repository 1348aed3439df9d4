#include "Source/Platform/EmbeddedResources.h"
#include "Source/Platform/File.h"

namespace Zelto
{

namespace
{

// Constant-initialised, so tables that register during any module's start-up find a valid list.
const EmbeddedResourceTable* firstTable = nullptr;

bool SameNameNoCase(const char16_t* a, const char16_t* b)
{
    while (*a != 0 && FoldAscii(*a) == FoldAscii(*b))
    {
        ++a;
        ++b;
    }
    return FoldAscii(*a) == FoldAscii(*b);
}

} // namespace

EmbeddedResourceTable::EmbeddedResourceTable(const EmbeddedResource* entries, uint32_t count)
    : entries(entries), count(count), next(firstTable)
{
    firstTable = this;
}

const EmbeddedResourceTable* FirstEmbeddedResourceTable()
{
    return firstTable;
}

bool LoadEmbeddedResource(const char16_t* name, DataBuffer& buffer)
{
    if (name == nullptr || *name == 0)
        return false;
    for (const EmbeddedResourceTable* table = firstTable; table != nullptr; table = table->next)
        for (uint32_t i = 0; i < table->count; ++i)
        {
            const EmbeddedResource& resource = table->entries[i];
            if (SameNameNoCase(resource.name, name))
                return resource.size != 0 && buffer.Attach(resource.bytes, resource.size, true);
        }
    return false;
}

// Each Linux module links its own tables and its own copy of this lookup, so there is no module to choose.
void SetResourceModule(void* module) {}

} // namespace Zelto
