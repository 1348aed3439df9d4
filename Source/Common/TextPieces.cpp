// Path pieces and list splitting.
#include "Common/Assert.h"
#include "Source/Common/StringFormatter.h"

namespace Zelto
{

namespace
{

bool Contains(const char16_t* set, char16_t unit)
{
    for (; *set != 0; ++set)
        if (*set == unit)
            return true;
    return false;
}

// Backslash and '/' separate folders alike, so that a path may mix them (`sub\dir/x.cfg`); a ':' counts only
// in a path without either.
int32_t FindSeparator(const String& path, bool fromEnd)
{
    int32_t backslash = fromEnd ? path.FindLastChar(u'\\') : path.FindChar(u'\\');
    int32_t slash = fromEnd ? path.FindLastChar(u'/') : path.FindChar(u'/');
    if (backslash >= 0 && slash >= 0)
        return (backslash > slash) == fromEnd ? backslash : slash;
    if (backslash >= 0 || slash >= 0)
        return backslash >= 0 ? backslash : slash;
    return fromEnd ? path.FindLastChar(u':') : path.FindChar(u':');
}

} // namespace

String PathWithoutExtension(const char16_t* path)
{
    String text(path);
    int32_t dot = text.FindLastChar(u'.');
    return dot < 0 ? text : String(text.Text(), dot);
}

String PathExtension(const char16_t* path)
{
    String text(path);
    int32_t dot = text.FindLastChar(u'.');
    return dot < 0 ? String() : String(text.Text() + dot + 1);
}

String PathDirectory(const char16_t* path, bool fromEnd)
{
    String text(path);
    int32_t separator = FindSeparator(text, fromEnd);
    return separator < 0 ? String() : String(text.Text(), separator);
}

String PathFileName(const char16_t* path, bool keepDirectory, bool keepExtension)
{
    String text(path);
    int32_t start = keepDirectory ? 0 : FindSeparator(text, true) + 1;
    int32_t end = int32_t(text.Length());
    int32_t dot = text.FindLastChar(u'.');
    if (!keepExtension && dot >= start)
        end = dot;
    return String(text.Text() + start, end - start);
}

void Split(const char16_t* text, Array<String>& out, const char16_t* division, const char16_t* trim)
{
    if (division == nullptr || *division == 0)
    {
        AssertReport(u"division != L\"\"", u"Source/Common/StringFormatter", 473);
        return;
    }
    uint32_t length = TextLength(text);
    auto appendPiece = [&](uint32_t start, uint32_t end, bool keepEmpty)
    {
        String piece(text + start, int32_t(end - start));
        piece.TrimLeft(trim);
        piece.TrimRight(trim);
        if (keepEmpty || !piece.IsEmpty())
            out.Add(piece);
    };
    int64_t start = -1; // -1: no piece started
    for (uint32_t i = 0; i < length; ++i)
    {
        if (Contains(division, text[i]))
        {
            if (start < 0)
                out.Add(String());
            else
                appendPiece(uint32_t(start), i, true);
            start = -1;
        }
        else if (start < 0)
            start = i;
    }
    if (start < 0)
        out.Add(String());
    else
        appendPiece(uint32_t(start), length, false);
}

} // namespace Zelto
