// Allocation statistics: every change of interpreter memory counted at the script line that caused it, and
// the sites dumped by total size. The hook runs inside the interpreter's allocator, so it touches only the
// manager's host-side table and never the interpreter's memory.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Array.h"
#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"

#include <lua.hpp>
#include <lua_extensions.h>

namespace Zelto
{

namespace
{

constexpr uint32_t SitePartUnits = 1025; // each part of a site's text: 1024 characters and the terminator

const char16_t* WidePart(char16_t (&buffer)[SitePartUnits], const char* text)
{
    const char16_t* wide = Utf8ToWide(buffer, SitePartUnits, text);
    return wide != nullptr ? wide : u"";
}

} // namespace

void LuaScriptManager::AllocationHook(ptrdiff_t sizeChange, const char* name, const char* source, int line)
{
    LuaScriptManager* manager = Instance();
    if (manager == nullptr)
        return;
    char16_t wideSource[SitePartUnits];
    char16_t wideName[SitePartUnits];
    char16_t site[SitePartUnits * 2 + 16];
    FormatBuffer(site, sizeof(site) / sizeof(site[0]), u"%ls:%d:%ls", WidePart(wideSource, source), line,
                 WidePart(wideName, name));

    // The sums wrap like the 32-bit counters they are, rather than overflow.
    auto change = uint32_t(sizeChange);
    if (auto* entry = manager->mAllocationSites.Find(site))
    {
        entry->payload.total = int32_t(uint32_t(entry->payload.total) + change);
        entry->payload.count = int32_t(uint32_t(entry->payload.count) + 1);
    }
    else
        manager->mAllocationSites.Insert(AllocationSite{int32_t(change), 1}, site);
}

void LuaScriptManager::TrackAllocations(int32_t threshold)
{
    if (threshold > 0)
    {
        mAllocationThreshold = threshold;
        lua_setallochook(AllocationHook);
        return;
    }

    SortedArray<int32_t, const HashTable<AllocationSite>::Entry*> byTotal(SortMode::Descending);
    for (const auto* entry = mAllocationSites.first; entry != nullptr; entry = entry->next)
        if (entry->payload.total >= mAllocationThreshold)
            byTotal.AddSorted(entry->payload.total, entry);
    mAllocationThreshold = -1;
    lua_setallochook(nullptr);

    PrintTrace(u"[LS] Dump Lua Alloc Begin");
    PrintTrace(u"[LS] Order by total alloc size (byte)");
    for (const auto& [total, entry] : byTotal)
        PrintTrace(u"%ls\t\t%d\t%d\t%d", entry->name.Text(), total, entry->payload.count,
                   total / entry->payload.count);
    PrintTrace(u"[LS] Dump Lua Alloc End");
    mAllocationSites.Clear();
}

} // namespace Zelto
