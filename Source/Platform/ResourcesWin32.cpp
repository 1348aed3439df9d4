#include "Source/Platform/File.h"

#include <windows.h>

namespace Zelto
{

namespace
{

HMODULE resourceModule = nullptr; // null: the executable

} // namespace

bool LoadEmbeddedResource(const char16_t* name, DataBuffer& buffer)
{
    if (name == nullptr || *name == 0)
        return false;
    HMODULE module = resourceModule != nullptr ? resourceModule : GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, reinterpret_cast<const wchar_t*>(name), L"ZELTORES");
    if (resource == nullptr)
        return false;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = size == 0 ? nullptr : LoadResource(module, resource);
    const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
    return bytes != nullptr && buffer.Attach(bytes, size, true);
}

void SetResourceModule(void* module)
{
    resourceModule = static_cast<HMODULE>(module);
}

} // namespace Zelto
