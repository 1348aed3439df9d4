// The cost of a bound method call: a script calling a host class's method through the script manager (class
// metatable lookup, the native-call protocol, argument readers, Return yielding the object) beside a plain
// lua_CFunction reached through an "__index" table that reads the same arguments, does the same work and
// returns the same value. The goal is at most 1.5 times the plain call.
// Run: build/linux/bin/zelto_bound_call_bench --benchmark_repetitions=5
// --benchmark_enable_random_interleaving
#include "Common/NumberCast.h"
#include "Source/Script/ScriptClass.h"

#include <benchmark/benchmark.h>
#include <lua.hpp>

namespace
{

using namespace Zelto;

constexpr int CallsPerRun = 1000;

class Accumulator : public ScriptObject
{
public:
    Accumulator() : ScriptObject("Accumulator") {}
    void Add(int32_t amount, int32_t times) { total += int64_t(amount) * times; }
    int64_t total = 0;
};

int64_t plainTotal = 0;

int PlainAdd(lua_State* state)
{
    int32_t amount = int32_t(RoundToInt64(lua_tonumber(state, 2)));
    int32_t times = int32_t(RoundToInt64(lua_tonumber(state, 3)));
    plainTotal += int64_t(amount) * times;
    lua_pushvalue(state, 1);
    return 1;
}

// A manager with both kinds of object as globals "bound" and "plain", and the loop calling one of them.
struct Setup
{
    explicit Setup(const char16_t* loop)
    {
        manager = GetScriptManager();
        static const ScriptMember members[] = {ScriptMethod<&Accumulator::Add>("add")};
        RegisterScriptClass(*manager, "Accumulator", nullptr, members);
        object = new Accumulator();
        manager->LockObject(object);
        Variable value(u"", VariablePointer);
        value.value.pointer = object;
        manager->SetField(nullptr, "bound", value);

        lua_State* state = manager->GetLuaState();
        lua_newtable(state);
        lua_createtable(state, 0, 1);
        lua_createtable(state, 0, 1);
        lua_pushcfunction(state, PlainAdd);
        lua_setfield(state, -2, "add");
        lua_setfield(state, -2, "__index");
        lua_setmetatable(state, -2);
        lua_setfield(state, LUA_GLOBALSINDEX, "plain");

        chunk = manager->CompileString(loop);
    }
    ~Setup()
    {
        manager->ReleaseFunctionRef(&chunk);
        delete object;
        manager->Release();
    }

    IScriptManager* manager;
    Accumulator* object;
    int32_t chunk;
};

void Calls(benchmark::State& state, const char16_t* loop)
{
    Setup setup(loop);
    Variable out;
    for (auto _ : state)
        setup.manager->CallFunction(out, nullptr, setup.chunk);
    state.SetItemsProcessed(int64_t(state.iterations()) * CallsPerRun);
}

void BoundMethod(benchmark::State& state)
{
    Calls(state, u"local o = bound for i = 1, 1000 do o:add(i, 2) end");
}

void PlainFunction(benchmark::State& state)
{
    Calls(state, u"local o = plain for i = 1, 1000 do o:add(i, 2) end");
}

} // namespace

BENCHMARK(BoundMethod);
BENCHMARK(PlainFunction);
BENCHMARK_MAIN();
