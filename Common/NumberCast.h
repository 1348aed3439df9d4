// Conversions of doubles to integers that are defined for every input. Values out of range, and NaN, give the
// lowest value of the signed type, as the x86 conversion instructions do.
#pragma once

#include <cmath>
#include <cstdint>

namespace Zelto
{

inline int32_t TruncateToInt32(double value)
{
    return value > -2147483649.0 && value < 2147483648.0 ? int32_t(value) : INT32_MIN;
}

inline int64_t TruncateToInt64(double value)
{
    return value >= -9223372036854775808.0 && value < 9223372036854775808.0 ? int64_t(value) : INT64_MIN;
}

// Values from 2^63 up to 2^64 convert as they are; the others go through the signed conversion, so -1.0 gives
// all bits set.
inline uint64_t TruncateToUInt64(double value)
{
    if (value >= 9223372036854775808.0 && value < 18446744073709551616.0)
        return uint64_t(value);
    return uint64_t(TruncateToInt64(value));
}

// To the nearest integer, halves to the even one (the rounding the 32-bit interpreter gives its integers).
inline int64_t RoundToInt64(double value)
{
    return TruncateToInt64(std::nearbyint(value));
}

} // namespace Zelto
