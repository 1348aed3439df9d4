#include "Source/Script/ScriptTimeBudget.h"

#include "Source/Platform/System.h"
#include "Source/Script/IScriptManager.h"

#include <lua.hpp>

namespace Zelto
{

namespace
{

// Reading the clock costs about as much as a few dozen instructions: every 4096 keeps it near 1% of the
// run, and the check still comes within a few hundred microseconds of the deadline.
const int InstructionsBetweenChecks = 4096;

// The host calls come from one thread per loader; the hook finds the budget in force on its thread.
thread_local ScriptTimeBudget* activeBudget = nullptr;

} // namespace

ScriptTimeBudget::ScriptTimeBudget(IScriptManager& manager, uint32_t milliseconds)
    : mState(manager.GetLuaState()), mStart(MillisecondClock()), mMilliseconds(milliseconds),
      mPreviousHook(nullptr), mPreviousMask(0), mPreviousCount(0), mOuter(activeBudget)
{
    if (mState == nullptr)
        return;
    mPreviousHook = lua_gethook(mState);
    mPreviousMask = lua_gethookmask(mState);
    mPreviousCount = lua_gethookcount(mState);
    activeBudget = this;
    lua_sethook(mState, CountHook, (mPreviousMask & ~LUA_MASKCOUNT) | LUA_MASKCOUNT,
                InstructionsBetweenChecks);
}

ScriptTimeBudget::~ScriptTimeBudget()
{
    if (mState == nullptr)
        return;
    activeBudget = mOuter;
    lua_sethook(mState, mPreviousHook, mPreviousMask, mPreviousCount);
}

void ScriptTimeBudget::CountHook(lua_State* state, lua_Debug* activation)
{
    ScriptTimeBudget* budget = activeBudget;
    if (budget == nullptr)
        return;
    if (activation->event != LUA_HOOKCOUNT)
    {
        // Calls and returns are the profiler's, whose hook this one stands in for.
        if (budget->mPreviousHook != nullptr)
            budget->mPreviousHook(state, activation);
        return;
    }
    if (!budget->mSpent && MillisecondClock() - budget->mStart <= budget->mMilliseconds)
        return;
    if (!budget->mSpent)
    {
        budget->mSpent = true;
        lua_sethook(state, CountHook, (budget->mPreviousMask & ~LUA_MASKCOUNT) | LUA_MASKCOUNT, 1);
    }
    // Where the running function is: level 0 in a hook, which has no frame of its own.
    luaL_where(state, 0);
    lua_pushfstring(state, "script stopped: it ran for more than %d ms in one call of the host",
                    int(budget->mMilliseconds));
    lua_concat(state, 2);
    lua_error(state);
}

} // namespace Zelto
