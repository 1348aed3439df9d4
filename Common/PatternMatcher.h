// The common library's front to the regular-expression engine (Regex/Regex.h describes the syntax): compile
// one pattern, then find its matches in texts, leftmost first.
#pragma once

#include "Regex/Regex.h"

#include <cstdint>

namespace Zelto
{

class PatternMatcher
{
public:
    bool Compile(const char16_t* pattern); // replaces any earlier pattern; false (and none) when malformed

    // Searches `text` from its start; match i spans [starts[i], ends[i]). After a match the search goes on
    // behind it (one unit further after an empty match) while fewer than `maxMatches` were found and `more`
    // is set. Returns the number of matches stored; 0 without a compiled pattern. A search that reaches the
    // engine's work cap counts as finding nothing more.
    uint32_t Match(const char16_t* text, uint32_t* starts, uint32_t* ends, uint32_t maxMatches,
                   bool more) const;

private:
    Regex mRegex;
};

} // namespace Zelto
