#include "Loader/ServerList.h"

#include "Common/Array.h"
#include "Common/PatternMatcher.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

constexpr uint32_t MaxServerNumberDigits = 9; // no server list needs more; a longer number is no server's

// The first match of `pattern` in `text`, as the text it spans; false without one.
bool FindFirst(const char16_t* pattern, const String& text, String& match)
{
    PatternMatcher matcher;
    uint32_t start = 0, end = 0;
    if (!matcher.Compile(pattern) || matcher.Match(text.Text(), &start, &end, 1, false) != 1)
        return false;
    match = String(text.Text() + start, int32_t(end - start));
    return true;
}

// What follows the first `mark` in `text` (which holds one).
String After(const String& text, char16_t mark)
{
    return String(text.Text() + text.FindChar(mark) + 1);
}

String WithoutQuotes(const String& text)
{
    String trimmed = text;
    trimmed.TrimLeft(u'"');
    trimmed.TrimRight(u'"');
    return trimmed;
}

} // namespace

bool ReadServerList(const String& text, ServerChoice& choice)
{
    // Every position comes from the matches themselves: `"default":<digits>`, then `"<digits>":[...]`.
    // One digit more than a number may have: a longer one is seen, and refused, without matching all of it.
    String match;
    if (!FindFirst(u"\"default\":\\d{1,10}", text, match))
        return false;
    String number = After(match, u':');
    if (number.Length() > MaxServerNumberDigits)
        return false;
    String pattern(u"\"");
    pattern.Append(number.Text());
    pattern.Append(u"\":\\[.+?\\]");
    if (!FindFirst(pattern.Text(), text, match))
        return false;
    String items = After(match, u'[');
    items.Remove(items.Length() - 1, 1); // the closing bracket
    if (items.IsEmpty())
        return false;

    Array<String> pieces;
    Split(items.Text(), pieces, u",", u" \t");
    if (pieces.Length() < 8)
        return false;
    choice.packageUrl = pieces[5].IsEmpty() ? String() : WithoutQuotes(pieces[5]);
    choice.engineParam = pieces[6].IsEmpty() || pieces[7].IsEmpty()
                             ? String()
                             : Format(u"host|%ls:%ls", WithoutQuotes(pieces[7]).Text(), pieces[6].Text());
    return true;
}

} // namespace Zelto
