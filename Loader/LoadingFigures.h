// What the loading screen shows of the loader's work; the renderer reads them through this plain part of the
// loader, so that it needs nothing else of the loader class.
#pragma once

#include <cstdint>

namespace Zelto
{

struct LoadingFigures
{
    float progress = 0.0f; // overall progress 0..1
    float speed = 0.0f;    // transfer speed, kilobytes per second
    int32_t resCount = 0;
    int32_t finishCount = 0;
    int32_t resSize = 0;
    int32_t finishSize = 0;
};

} // namespace Zelto
