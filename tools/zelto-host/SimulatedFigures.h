// The loader's figures as a preview shows them without a package: progress from 0 to 1 over a cycle, then
// round again, with the counts, sizes and speed a real run would show at that progress.
#pragma once

#include <cstdint>
#include <string>

namespace Zelto
{

struct SimulatedFigures
{
    float progress = 0.0f;
    float speed = 0.0f; // kilobytes per second, as the loader gives it
    int32_t resCount = 0;
    int32_t finishCount = 0;
    int32_t resSize = 0;
    int32_t finishSize = 0;

    // The figures `elapsedMs` into a run whose progress cycle lasts `cycleMs`.
    static SimulatedFigures At(uint64_t elapsedMs, uint64_t cycleMs);
    // As the Setup key "previewfigures" takes them.
    std::string SetupValue() const;
};

} // namespace Zelto
