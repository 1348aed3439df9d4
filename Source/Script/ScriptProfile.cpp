// Call profiling: script functions timed through the debug hook, host functions through their trampolines,
// single slow calls reported as they end, and per-function totals and averages dumped on request.
#include "Source/Script/LuaScriptManager.h"

#include "Common/Array.h"
#include "Common/Log.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Platform/Worker.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

constexpr uint32_t DumpRows = 100; // per listing; the rest is only counted

// Stands in on the profile stack for a host function that got no record, so that its leave still pops
// exactly what its enter pushed; it is never timed.
ProfileRecord untimedNative{String(), 0, true, String(), -1, 0, 0, nullptr, nullptr};

const char16_t* Kind(const ProfileRecord& record)
{
    return record.mCFunc ? u"C" : u"Lua";
}

// What stands for the source of a record that has none.
const char16_t* NoSource(const ProfileRecord& record)
{
    return record.mCFunc ? u"" : u"Unknown";
}

struct DumpRow
{
    ProfileRecord* record;
    uint32_t calls;
};

using DumpList = SortedArray<float, DumpRow>;

// One listing of the dump, by `measure` ("total" or "avg"). Without a source the average listing says
// "Unknown" for host functions too.
void PrintListing(const DumpList& list, const char16_t* measure, bool alwaysUnknown)
{
    for (uint32_t i = 0; i < list.Length() && i < DumpRows; ++i)
    {
        const auto& [cost, row] = list[int32_t(i)];
        const ProfileRecord& r = *row.record;
        if (!r.source.IsEmpty())
            PrintTrace(u"  [%ls], %ls, (%ls:%d), called %d time(s), %ls call cost %3.2f ms", Kind(r),
                       r.name.Text(), r.source.Text(), r.line, int32_t(row.calls), measure, double(cost));
        else
            PrintTrace(u"  [%ls], %ls, (%ls), called %d time(s), %ls call cost %3.2f ms", Kind(r),
                       r.name.Text(), alwaysUnknown ? u"Unknown" : NoSource(r), int32_t(row.calls), measure,
                       double(cost));
    }
    if (list.Length() > DumpRows)
        PrintTrace(u"  %d more ...", int32_t(list.Length() - DumpRows));
}

} // namespace

void LuaScriptManager::EnableProfiling(bool on)
{
    mProfiling = on ? 1 : 0;
    if (on)
        lua_sethook(mLuaState, ProfileHook, LUA_MASKCALL | LUA_MASKRET, 0);
    else
        lua_sethook(mLuaState, nullptr, 0, 0);
}

void LuaScriptManager::AddNativeProfileRecord(const void* function, const String& name)
{
    if (mProfiling)
        mProfileRecords.Add(reinterpret_cast<uintptr_t>(function), name, true, String(), -1);
}

void LuaScriptManager::ProfileHook(lua_State* state, lua_Debug* activation)
{
    LuaScriptManager* manager = Instance();
    if (manager == nullptr || activation->event == LUA_HOOKTAILRET || activation->i_ci == 0)
        return;

    // Host functions are timed by their trampolines.
    lua_getinfo(state, "f", activation);
    bool native = lua_iscfunction(state, -1) != 0;
    auto key = reinterpret_cast<uintptr_t>(lua_topointer(state, -1));
    lua_pop(state, 1);
    if (native || key == 0)
        return;

    ProfileRecord* p = manager->mProfileRecords.Find(key);
    if (activation->event != LUA_HOOKCALL)
    {
        // The function and the thread tell its frame from those of the functions it called, which an error
        // may have abandoned, and from those of coroutines suspended meanwhile.
        if (p != nullptr && !p->mCFunc)
            manager->ProfileLeave(state, p);
        return;
    }
    if (p == nullptr)
    {
        lua_getinfo(state, "nS", activation);
        p = manager->mProfileRecords.Add(key,
                                         Utf8ToString(activation->name != nullptr ? activation->name : ""),
                                         false, Utf8ToString(activation->source), activation->linedefined);
    }
    if (!ZELTO_CHECK(p != _null && p->mCFunc == _false, ZELTO_SCRIPT_SOURCE, __LINE__))
        return;
    manager->mProfStack.Push(ProfileFrame{p, state, PerformanceCounter()});
}

void LuaScriptManager::ProfileEnterNative(const void* function)
{
    if (!mProfiling)
        return;
    ProfileRecord* it = mProfileRecords.Find(reinterpret_cast<uintptr_t>(function));
    ZELTO_CHECK(it, ZELTO_SCRIPT_SOURCE, __LINE__);
    ProfileRecord* p = it;
    if (!ZELTO_CHECK(p != _null && p->mCFunc, ZELTO_SCRIPT_SOURCE, __LINE__))
        p = &untimedNative;
    mProfStack.Push(ProfileFrame{p, mLuaState, PerformanceCounter()});
}

void LuaScriptManager::ProfileLeaveNative()
{
    if (mProfiling)
        ProfileLeave(nullptr, nullptr);
}

void LuaScriptManager::ProfileLeave(lua_State* thread, const ProfileRecord* record)
{
    int64_t now = PerformanceCounter();
    bool cfunc = record == nullptr;
    // The reports quote the expressions exactly as written here.
    // clang-format off
    if (!ZELTO_CHECK(mProfStack.Length( ) > 0, ZELTO_SCRIPT_SOURCE, __LINE__))
        return;
    // clang-format on
    // The frame that ends, searched down to the boundary of the protected call. A script function's return
    // without a frame (one entered before profiling began, or left by a tail call) is no fault.
    ProfileFrame* frames = mProfStack.begin();
    uint32_t length = mProfStack.Length();
    uint32_t at = length;
    while (at > 0 && frames[at - 1].record != nullptr &&
           !(cfunc ? frames[at - 1].record->mCFunc
                   : frames[at - 1].record == record && frames[at - 1].thread == thread))
        --at;
    ProfileRecord* p = at > 0 ? frames[at - 1].record : nullptr;
    if (p == nullptr)
    {
        if (cfunc) // a host leave without a host call open
        {
            // clang-format off
            ZELTO_CHECK(p !=_null && p->mCFunc == cfunc, ZELTO_SCRIPT_SOURCE, __LINE__);
            // clang-format on
        }
        return;
    }
    // Above it: frames an error abandoned on its thread and the host calls it unwound, which go untimed, and
    // frames of coroutines suspended meanwhile, which stay open.
    uint32_t frame = at - 1;
    ProfileFrame ending = frames[frame];
    uint32_t kept = frame;
    for (uint32_t i = frame + 1; i < length; ++i)
        if (!frames[i].record->mCFunc && frames[i].thread != ending.thread)
            frames[kept++] = frames[i];
    while (mProfStack.Length() > kept)
        mProfStack.Pop();
    if (p == &untimedNative)
        return;

    int64_t elapsed = now - ending.start;
    ++p->calls;
    p->total += elapsed;
    if (mCostThreshold < 1)
        return;
    auto milliseconds = float(CounterToMilliseconds(elapsed));
    if (!(milliseconds > float(mCostThreshold)))
        return;
    PrintTrace(u"[LS] Cost too much time, threshold is %ld ms", long(mCostThreshold));
    PrintTrace(u"");
    if (!p->source.IsEmpty())
        PrintTrace(u"  [%ls], %ls, (%ls:%d), cost %3.2f ms", Kind(*p), p->name.Text(), p->source.Text(),
                   p->line, double(milliseconds));
    else
        PrintTrace(u"  [%ls], %ls, (%ls), cost %3.2f ms", Kind(*p), p->name.Text(), NoSource(*p),
                   double(milliseconds));
    PrintTrace(u"");
}

void LuaScriptManager::DumpProfile()
{
    if (!mProfiling)
        return;
    DumpList byTotal(SortMode::Descending);
    DumpList byAverage(SortMode::Descending);
    for (ProfileRecord* record = mProfileRecords.First(); record != nullptr; record = record->next)
    {
        if (record->name.IsEmpty() || record->calls == 0)
            continue;
        auto total = float(CounterToMilliseconds(record->total));
        float average = total / float(record->calls);
        byTotal.AddSorted(total, DumpRow{record, record->calls});
        byAverage.AddSorted(average, DumpRow{record, record->calls});
        record->calls = 0;
        record->total = 0;
    }

    PrintTrace(u"[LS] Dump lua profile Begin");
    PrintTrace(u"");
    PrintTrace(u"[LS] Order by total call cost (ms)");
    PrintListing(byTotal, u"total", false);
    PrintTrace(u"");
    PrintTrace(u"[LS] Order by avg call cost (ms)");
    PrintListing(byAverage, u"avg", true);
    PrintTrace(u"");
    PrintTrace(u"[LS] Dump lua profile finished");
}

} // namespace Zelto
