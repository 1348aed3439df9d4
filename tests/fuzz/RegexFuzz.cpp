// The regular-expression engine from outside bytes (one unit per byte): the pattern up to the first 0 byte,
// the subject after it. Every match found must also match the pattern anchored at both ends on its own slice,
// and the matches of one search come in order inside the subject.
#include "Common/PatternMatcher.h"
#include "FuzzCheck.h"
#include "Regex/Regex.h"

#include <string>

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string input(data, data + size);
    size_t split = input.find(u'\0');
    if (split == std::u16string::npos)
        return 0;
    std::u16string pattern = input.substr(0, split);
    std::u16string subject = input.substr(split + 1);

    Regex regex;
    if (!regex.Compile(pattern.c_str(), uint32_t(pattern.size())))
        return 0;
    uint32_t start = 0, end = 0;
    if (regex.Search(subject.c_str(), uint32_t(subject.size()), 0, start, end) == Regex::Result::Found)
    {
        Require(start <= end && end <= subject.size());
        // `^` and `$` hold only at the subject's ends, and the match used them only there: the slice agrees.
        std::u16string anchoredPattern = u"^(?:" + pattern + u")$";
        Regex anchored;
        uint32_t sliceStart = 0, sliceEnd = 0;
        if (anchored.Compile(anchoredPattern.c_str(), uint32_t(anchoredPattern.size())))
        {
            Regex::Result result =
                anchored.Search(subject.c_str() + start, end - start, 0, sliceStart, sliceEnd);
            Require(result != Regex::Result::NotFound);
        }
    }

    PatternMatcher matcher;
    std::u16string text = subject.substr(0, subject.find(u'\0'));
    if (matcher.Compile(pattern.c_str()))
    {
        uint32_t starts[8], ends[8];
        uint32_t found = matcher.Match(text.c_str(), starts, ends, 8, true);
        for (uint32_t i = 0; i < found; ++i)
            Require(starts[i] <= ends[i] && ends[i] <= text.size() && (i == 0 || starts[i] >= ends[i - 1]));
    }
    return 0;
}
