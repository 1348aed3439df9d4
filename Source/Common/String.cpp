#include "Common/String.h"

#include "Source/Common/Memory.h"

namespace Zelto
{

const char16_t String::EmptyLiteral[1] = {0};

uint32_t TextLength(const char16_t* text)
{
    uint32_t length = 0;
    if (text != nullptr)
        while (text[length] != 0)
            ++length;
    return length;
}

namespace
{

uint32_t CountOrLength(const char16_t* text, int32_t count)
{
    if (text == nullptr)
        return 0;
    if (count < 0)
        return TextLength(text);
    return uint32_t(count);
}

bool SameUnit(char16_t a, char16_t b, bool caseSensitive)
{
    return caseSensitive ? a == b : FoldAscii(a) == FoldAscii(b);
}

bool InSet(char16_t ch, const char16_t* set, bool caseSensitive)
{
    for (; set != nullptr && *set != 0; ++set)
        if (SameUnit(ch, *set, caseSensitive))
            return true;
    return false;
}

} // namespace

String::String(String&& other) noexcept
    : mText(other.mText), mLength(other.mLength), mCapacity(other.mCapacity)
{
    other.mText = const_cast<char16_t*>(EmptyLiteral);
    other.mLength = other.mCapacity = 0;
}

String& String::operator=(const String& other)
{
    if (this != &other)
        Assign(other.mText, int32_t(other.mLength));
    return *this;
}

String& String::operator=(String&& other) noexcept
{
    if (this != &other)
    {
        Release();
        mText = other.mText;
        mLength = other.mLength;
        mCapacity = other.mCapacity;
        other.mText = const_cast<char16_t*>(EmptyLiteral);
        other.mLength = other.mCapacity = 0;
    }
    return *this;
}

String::~String()
{
    Release();
}

void String::Release()
{
    if (mCapacity != 0)
        Memory::Free(mText);
    mText = const_cast<char16_t*>(EmptyLiteral);
    mLength = mCapacity = 0;
}

bool String::Reserve(uint32_t units)
{
    auto* block = static_cast<char16_t*>(Memory::Alloc(Memory::BlockSize(units, sizeof(char16_t))));
    if (block == nullptr)
        return false; // the text stays as it was
    Memory::Copy(block, mText, (mLength + 1) * sizeof(char16_t));
    if (mCapacity != 0)
        Memory::Free(mText);
    mText = block;
    mCapacity = units;
    return true;
}

void String::Assign(const char16_t* text, int32_t count)
{
    uint32_t units = CountOrLength(text, count);
    if (units == 0)
    {
        Release();
        return;
    }
    if (text >= mText && text < mText + mCapacity) // assigning a piece of ourselves
    {
        String copy(text, int32_t(units));
        *this = static_cast<String&&>(copy);
        return;
    }
    if (mCapacity < units + 1)
    {
        Release();
        auto* block = static_cast<char16_t*>(Memory::Alloc(Memory::BlockSize(units + 1, sizeof(char16_t))));
        if (block == nullptr)
            return;
        mText = block;
        mCapacity = units + 1;
    }
    Memory::Copy(mText, text, units * sizeof(char16_t));
    mText[units] = 0;
    mLength = TextLength(mText); // an embedded terminator shortens the text
}

void String::Insert(uint32_t position, const char16_t* text, int32_t count)
{
    uint32_t units = CountOrLength(text, count);
    if (position > mLength || units == 0)
        return;
    if (text >= mText && text < mText + mCapacity)
    {
        String copy(text, int32_t(units));
        Insert(position, copy.mText, int32_t(copy.mLength));
        return;
    }
    uint32_t newLength = mLength + units;
    if (newLength < mLength || (mCapacity < newLength + 1 && !Reserve(newLength + 1)))
        return;
    Memory::Copy(mText + position + units, mText + position, (mLength - position) * sizeof(char16_t));
    Memory::Copy(mText + position, text, units * sizeof(char16_t));
    mLength = newLength;
    mText[mLength] = 0;
}

void String::InsertChar(uint32_t position, char16_t ch)
{
    if (ch == 0)
        return; // a terminator would leave length and text disagreeing
    Insert(position, &ch, 1);
}

void String::Remove(uint32_t start, int32_t count)
{
    if (start >= mLength || count == 0)
        return;
    uint32_t end = (count < 0 || uint32_t(count) >= mLength - start) ? mLength : start + uint32_t(count);
    Memory::Copy(mText + start, mText + end, (mLength - end + 1) * sizeof(char16_t));
    mLength -= end - start;
}

void String::TrimLeft(const char16_t* set, bool caseSensitive)
{
    uint32_t start = 0;
    while (start < mLength && InSet(mText[start], set, caseSensitive))
        ++start;
    Remove(0, int32_t(start));
}

void String::TrimRight(const char16_t* set, bool caseSensitive)
{
    uint32_t end = mLength;
    while (end > 0 && InSet(mText[end - 1], set, caseSensitive))
        --end;
    Remove(end, -1);
}

void String::TrimLeft(char16_t ch, bool caseSensitive)
{
    const char16_t set[2] = {ch, 0};
    TrimLeft(set, caseSensitive);
}

void String::TrimRight(char16_t ch, bool caseSensitive)
{
    const char16_t set[2] = {ch, 0};
    TrimRight(set, caseSensitive);
}

void String::ReplaceChar(char16_t from, char16_t to, bool caseSensitive)
{
    if (to == 0)
        return; // would cut the text without changing its length
    for (uint32_t i = 0; i < mLength; ++i)
        if (SameUnit(mText[i], from, caseSensitive))
            mText[i] = to;
}

void String::Replace(const char16_t* search, const char16_t* replacement)
{
    uint32_t searchLength = TextLength(search);
    uint32_t replacementLength = TextLength(replacement);
    if (searchLength == 0)
        return;
    uint32_t offset = 0;
    for (;;)
    {
        int32_t found = Find(search, true, offset);
        if (found < 0)
            return;
        uint32_t position = uint32_t(found);
        Remove(position, int32_t(searchLength));
        Insert(position, replacement, int32_t(replacementLength));
        offset = position + replacementLength;
    }
}

int32_t String::Find(const char16_t* needle, bool caseSensitive, uint32_t from) const
{
    uint32_t needleLength = TextLength(needle);
    if (needleLength == 0 || needleLength > mLength)
        return -1;
    for (uint32_t start = from; start + needleLength <= mLength; ++start)
    {
        uint32_t i = 0;
        while (i < needleLength && SameUnit(mText[start + i], needle[i], caseSensitive))
            ++i;
        if (i == needleLength)
            return int32_t(start);
    }
    return -1;
}

int32_t String::FindChar(char16_t ch, bool caseSensitive) const
{
    if (ch == 0)
        return -1;
    for (uint32_t i = 0; i < mLength; ++i)
        if (SameUnit(mText[i], ch, caseSensitive))
            return int32_t(i);
    return -1;
}

int32_t String::FindLastChar(char16_t ch, bool caseSensitive) const
{
    if (ch == 0)
        return -1;
    for (uint32_t i = mLength; i > 0; --i)
        if (SameUnit(mText[i - 1], ch, caseSensitive))
            return int32_t(i - 1);
    return -1;
}

bool String::StartsWith(const char16_t* prefix, bool caseSensitive) const
{
    uint32_t prefixLength = TextLength(prefix);
    if (prefixLength == 0 || prefixLength > mLength)
        return false;
    for (uint32_t i = 0; i < prefixLength; ++i)
        if (!SameUnit(mText[i], prefix[i], caseSensitive))
            return false;
    return true;
}

int String::Compare(const char16_t* other, bool caseSensitive) const
{
    if (other == nullptr)
        other = EmptyLiteral;
    for (uint32_t i = 0;; ++i)
    {
        char16_t a = caseSensitive ? mText[i] : FoldAscii(mText[i]);
        char16_t b = caseSensitive ? other[i] : FoldAscii(other[i]);
        if (a != b)
            return a < b ? -1 : 1;
        if (a == 0)
            return 0;
    }
}

int32_t String::ToInt() const
{
    // Base-10 conversion with the 32-bit clamping of the platform's wide string-to-long conversion.
    uint32_t i = 0;
    while (i < mLength && (mText[i] == u' ' || (mText[i] >= u'\t' && mText[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < mLength && (mText[i] == u'+' || mText[i] == u'-'))
        negative = mText[i++] == u'-';
    int64_t value = 0;
    for (; i < mLength && mText[i] >= u'0' && mText[i] <= u'9'; ++i)
    {
        value = value * 10 + (mText[i] - u'0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        return value > INT32_MAX ? INT32_MIN : int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

uint32_t HashName(const char16_t* text)
{
    uint32_t seed1 = 0x7FED7FED;
    uint32_t seed2 = 0xEEEEEEEE;
    for (; text != nullptr && *text != 0; ++text)
    {
        uint32_t ch = *text;
        if (ch >= u'a' && ch <= u'z')
            ch -= 32;
        seed1 = (seed1 + seed2) ^ ch;
        seed2 = ch + seed1 + 33 * seed2 + 3;
    }
    return seed1;
}

uint32_t String::HashName() const
{
    return Zelto::HashName(mText);
}

} // namespace Zelto
