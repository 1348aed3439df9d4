// What a fuzz target finds besides the sanitizers: a property that fails stops the run with this input.
#pragma once

#include <cstdlib>

inline void Require(bool condition)
{
    if (!condition)
        std::abort();
}
