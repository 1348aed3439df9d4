#include "tools/zelto-host/SimulatedFigures.h"

#include <cmath>
#include <cstdio>

namespace Zelto
{

namespace
{

// A package like the demo's: eight files, 48 MiB in all, of uneven sizes.
const int32_t PackageFiles = 8;
const int32_t FileSizes[PackageFiles] = {6291456, 1048576, 12582912, 524288,
                                         9437184, 3145728, 14680064, 2621440};
// The loader's own share of the bar ends here; from there on the engine loads, with no transfer.
const double FilesInProgress = 0.4;
const double MeanSpeedKBps = 2600.0;

int32_t PackageSize()
{
    int32_t total = 0;
    for (int32_t size : FileSizes)
        total += size;
    return total;
}

} // namespace

SimulatedFigures SimulatedFigures::At(uint64_t elapsedMs, uint64_t cycleMs)
{
    SimulatedFigures figures;
    if (cycleMs == 0)
        cycleMs = 1;
    double progress = double(elapsedMs % cycleMs) / double(cycleMs);
    figures.progress = float(progress);
    figures.resCount = PackageFiles;
    figures.resSize = PackageSize();
    double transferred = std::fmin(progress / FilesInProgress, 1.0) * figures.resSize;
    figures.finishSize = int32_t(transferred);
    int32_t done = 0, sum = 0;
    while (done < PackageFiles && sum + FileSizes[done] <= figures.finishSize)
        sum += FileSizes[done++];
    figures.finishCount = done;
    if (progress < FilesInProgress)
    {
        // A transfer's speed wanders: two slow waves around the mean.
        double seconds = double(elapsedMs) / 1000.0;
        figures.speed =
            float(MeanSpeedKBps * (1.0 + 0.25 * std::sin(seconds * 1.3) + 0.1 * std::sin(seconds * 4.7)));
    }
    return figures;
}

std::string SimulatedFigures::SetupValue() const
{
    char text[160];
    std::snprintf(text, sizeof text, "%.6f %.1f %d %d %d %d", double(progress), double(speed), int(resCount),
                  int(finishCount), int(resSize), int(finishSize));
    return text;
}

} // namespace Zelto
