#include "Common/PatternMatcher.h"

#include "Common/String.h"

namespace Zelto
{

bool PatternMatcher::Compile(const char16_t* pattern)
{
    return mRegex.Compile(pattern, TextLength(pattern));
}

uint32_t PatternMatcher::Match(const char16_t* text, uint32_t* starts, uint32_t* ends, uint32_t maxMatches,
                               bool more) const
{
    if (starts == nullptr || ends == nullptr)
        return 0;
    uint32_t length = TextLength(text);
    uint32_t found = 0;
    uint32_t from = 0;
    while (found < maxMatches &&
           mRegex.Search(text, length, from, starts[found], ends[found]) == Regex::Result::Found)
    {
        ++found;
        if (!more)
            break;
        from = ends[found - 1] + (starts[found - 1] == ends[found - 1] ? 1 : 0);
    }
    return found;
}

} // namespace Zelto
