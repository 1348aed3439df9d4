// Owned UTF-16 text. Capacity 0 means the one shared read-only empty literal; every other String owns a block
// of exactly `capacity` units from Memory::Alloc. Strings are trivially relocatable, so containers may move
// them bit-wise.
#pragma once

#include <cstdint>

namespace Zelto
{

uint32_t TextLength(const char16_t* text); // 0 for null

class String
{
public:
    String() = default;
    String(const char16_t* text, int32_t count = -1) { Assign(text, count); }
    String(const String& other) { Assign(other.mText, int32_t(other.mLength)); }
    String(String&& other) noexcept;
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    ~String();

    const char16_t* Text() const { return mText; }
    uint32_t Length() const { return mLength; }
    uint32_t Capacity() const { return mCapacity; }
    bool IsEmpty() const { return mLength == 0; }
    char16_t operator[](uint32_t index) const { return index < mLength ? mText[index] : u'\0'; }

    void Assign(const char16_t* text, int32_t count = -1); // count -1: up to the terminator
    void Insert(uint32_t position, const char16_t* text, int32_t count = -1);
    void InsertChar(uint32_t position, char16_t ch);
    void Append(const char16_t* text, int32_t count = -1) { Insert(mLength, text, count); }
    void Remove(uint32_t start, int32_t count); // count -1: to the end
    void TrimLeft(const char16_t* set, bool caseSensitive = true);
    void TrimRight(const char16_t* set, bool caseSensitive = true);
    void TrimLeft(char16_t ch, bool caseSensitive = true);
    void TrimRight(char16_t ch, bool caseSensitive = true);
    void ReplaceChar(char16_t from, char16_t to, bool caseSensitive = true);
    void Replace(const char16_t* search, const char16_t* replacement); // replacements are not searched again

    // Index of the first occurrence at or after `from`; -1 when absent or for an empty needle.
    int32_t Find(const char16_t* needle, bool caseSensitive = true, uint32_t from = 0) const;
    int32_t FindChar(char16_t ch, bool caseSensitive = true) const;
    int32_t FindLastChar(char16_t ch, bool caseSensitive = true) const;
    bool StartsWith(const char16_t* prefix, bool caseSensitive = true) const; // false for an empty prefix
    int Compare(const char16_t* other, bool caseSensitive = true) const;      // -1, 0 or 1
    bool Equals(const char16_t* other) const { return Compare(other, true) == 0; }
    bool EqualsNoCase(const char16_t* other) const { return Compare(other, false) == 0; }
    int32_t ToInt() const;     // leading decimal integer, 0 without digits
    uint32_t HashName() const; // case-insensitive name hash

private:
    bool Reserve(uint32_t units); // a block of exactly `units` units holding the current text
    void Release();

    char16_t* mText = const_cast<char16_t*>(EmptyLiteral);
    uint32_t mLength = 0;
    uint32_t mCapacity = 0;

    static const char16_t EmptyLiteral[1];
};

// ASCII-only letter folding, used wherever a comparison ignores case.
inline char16_t FoldAscii(char16_t ch)
{
    return (ch >= u'A' && ch <= u'Z') ? char16_t(ch + 32) : ch;
}

uint32_t HashName(const char16_t* text);

} // namespace Zelto
