// A limit on how long scripts run in one call of the host. While a budget is in force a count hook reads the
// clock every few thousand instructions; once the time is spent it raises an error at every instruction, so
// that neither a loop nor the script's own protected calls keep it running, and the host's call returns.
// Time spent in native functions counts but is not interrupted; the JIT is off in the manager's states, so
// every script instruction passes the hook.
#pragma once

#include <cstdint>

struct lua_State;
struct lua_Debug;

namespace Zelto
{

class IScriptManager;

class ScriptTimeBudget
{
public:
    ScriptTimeBudget(IScriptManager& manager, uint32_t milliseconds);
    ~ScriptTimeBudget(); // puts back the hook that was set before (the profiler's)
    ScriptTimeBudget(const ScriptTimeBudget&) = delete;
    ScriptTimeBudget& operator=(const ScriptTimeBudget&) = delete;

    bool Spent() const { return mSpent; } // the script was stopped for running over

private:
    using Hook = void (*)(lua_State* state, lua_Debug* activation);
    static void CountHook(lua_State* state, lua_Debug* activation);

    lua_State* mState;
    uint32_t mStart;
    uint32_t mMilliseconds;
    bool mSpent = false;
    Hook mPreviousHook;
    int mPreviousMask;
    int mPreviousCount;
    ScriptTimeBudget* mOuter; // the budget this one runs inside, if any
};

} // namespace Zelto
