#include "Loader/EntryNames.h"

namespace Zelto
{

namespace
{

// Upper case as the file systems of Windows fold it, for the scripts that names in packages use: Latin
// (ASCII, Latin-1, Extended-A), Greek, Cyrillic and the full-width Latin letters.
char16_t FoldCase(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
        (c >= 0xFF41 && c <= 0xFF5A))
        return char16_t(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return char16_t(c - 0x50);
    // Latin Extended-A pairs upper and lower case on neighbouring units; the lower one is odd, except
    // in the two runs where it is even.
    if (c >= 0x100 && c <= 0x17F && c != 0x138 && c != 0x149 && c != 0x17F)
    {
        bool evenLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((c % 2 == 0) == evenLower)
            return char16_t(c - 1);
    }
    return c;
}

bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

} // namespace

String EntryNameKey(const char16_t* name)
{
    String key;
    const char16_t* step = name;
    while (*step != 0)
    {
        const char16_t* end = step;
        while (*end != 0 && !IsSeparator(*end))
            ++end;
        const char16_t* kept = end;
        while (kept > step && (kept[-1] == u'.' || kept[-1] == u' '))
            --kept;
        // A step of dots and blanks alone (".", "..") is no file of its own; ".." never passes the checks
        // before this one.
        if (kept > step)
        {
            if (!key.IsEmpty())
                key.Append(u"\\");
            for (const char16_t* c = step; c < kept; ++c)
            {
                char16_t folded = FoldCase(*c);
                key.Append(&folded, 1);
            }
        }
        step = *end != 0 ? end + 1 : end;
    }
    return key;
}

} // namespace Zelto
