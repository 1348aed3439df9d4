// What the diagnostics cost a script: the same calls and allocations with the call profiler and the
// allocation statistics off and on.
// Run: build/linux/bin/zelto_script_profile_bench --benchmark_repetitions=5
#include "Common/Log.h"
#include "Common/Variable.h"
#include "Source/Script/IScriptManager.h"

#include <benchmark/benchmark.h>

namespace
{

using namespace Zelto;

constexpr int CallsPerRun = 1000;

int Discard(const char16_t*, void*, int)
{
    return 0;
}

enum Diagnostics : int64_t
{
    None = 0,
    Profiling = 1,
    AllocationStatistics = 2,
};

// Defines `work` with the given chunk and times CallsPerRun calls of it, under the diagnostics the argument
// chooses.
void RunScript(benchmark::State& state, const char16_t* work)
{
    LogSink saved = TraceSink();
    TraceSink() = LogSink{Discard, nullptr};
    IScriptManager* manager = GetScriptManager();
    Variable out;
    manager->RunString(out, work, u"@work.lua", 0);
    int32_t loop = manager->CompileString(u"for i = 1, 1000 do work() end");
    if (state.range(0) == Profiling)
        manager->EnableProfiling(true);
    if (state.range(0) == AllocationStatistics)
        manager->TrackAllocations(1);

    for (auto _ : state)
        manager->CallFunction(out, nullptr, loop);
    state.SetItemsProcessed(int64_t(state.iterations()) * CallsPerRun);

    if (state.range(0) == AllocationStatistics)
        manager->TrackAllocations(0);
    manager->Release();
    TraceSink() = saved;
}

void ScriptCalls(benchmark::State& state)
{
    RunScript(state, u"function work() return 1 end");
}

void ScriptAllocations(benchmark::State& state)
{
    RunScript(state, u"function work() return {1, 2, 3} end");
}

} // namespace

BENCHMARK(ScriptCalls)->Arg(None)->Arg(Profiling);
BENCHMARK(ScriptAllocations)->Arg(None)->Arg(AllocationStatistics);
BENCHMARK_MAIN();
