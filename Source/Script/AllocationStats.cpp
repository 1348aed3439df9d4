// Allocation statistics: every change of interpreter memory counted at the script line that caused it, and
// the sites dumped by total size. The hook runs inside the interpreter's allocator, so it touches only the
// manager's host-side table and never the interpreter's memory.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Array.h"
#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"

#include <lua.hpp>
#include <lua_extensions.h>

namespace Zelto
{

namespace
{

constexpr uint32_t SiteNameUnits = 1024; // the most characters taken from the source and the function name

// A site's text, "source:line:function", put together in place: the hook runs on every allocation.
class SiteText
{
public:
    SiteText(const char* source, int line, const char* name)
    {
        AppendUtf8(source);
        AppendUnit(u':');
        AppendNumber(line);
        AppendUnit(u':');
        AppendUtf8(name);
    }
    const char16_t* Text() const { return mUnits; }

private:
    void AppendUtf8(const char* text)
    {
        uint32_t produced = 0;
        if (Utf8ToWide(mUnits + mLength, SiteNameUnits + 1, text, -1, &produced) != nullptr)
            mLength += produced;
        mUnits[mLength] = 0;
    }
    void AppendUnit(char16_t unit)
    {
        mUnits[mLength++] = unit;
        mUnits[mLength] = 0;
    }
    void AppendNumber(int value)
    {
        char16_t digits[12];
        uint32_t count = 0;
        auto magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
        do
            digits[count++] = char16_t(u'0' + magnitude % 10);
        while ((magnitude /= 10) != 0);
        if (value < 0)
            AppendUnit(u'-');
        while (count != 0)
            AppendUnit(digits[--count]);
    }

    char16_t mUnits[2 * SiteNameUnits + 16]; // both names, the line and the separators
    uint32_t mLength = 0;
};

} // namespace

void LuaScriptManager::AllocationHook(ptrdiff_t sizeChange, const char* name, const char* source, int line)
{
    LuaScriptManager* manager = Instance();
    if (manager == nullptr)
        return;
    SiteText site(source, line, name);

    // The sums wrap like the 32-bit counters they are, rather than overflow.
    auto change = uint32_t(sizeChange);
    if (auto* entry = manager->mAllocationSites.Find(site.Text()))
    {
        entry->payload.total = int32_t(uint32_t(entry->payload.total) + change);
        entry->payload.count = int32_t(uint32_t(entry->payload.count) + 1);
    }
    else
        manager->mAllocationSites.Insert(AllocationSite{int32_t(change), 1}, site.Text());
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
