#include "Source/Common/StringEncoding.h"

#include "Common/Assert.h"
#include "Source/Platform/AnsiCodePage.h"

#include <cstring>
#include <string>

namespace Zelto
{

namespace
{

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Units of a wide source: up to its terminator or `count` units, whichever comes first.
uint32_t WideSourceLength(const char16_t* source, int32_t count)
{
    uint32_t length = 0;
    while ((count < 0 || length < uint32_t(count)) && source[length] != 0)
        ++length;
    return length;
}

uint32_t NarrowSourceLength(const char* source, int32_t count)
{
    uint32_t length = 0;
    while ((count < 0 || length < uint32_t(count)) && source[length] != 0)
        ++length;
    return length;
}

// Bytes of the UTF-8 sequence that a lead byte announces; 0 for a byte that announces none.
uint32_t Utf8LeadLength(uint8_t lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// Whether the two first bytes of a sequence of `length` may begin a valid one: no overlong form (a character
// that a shorter sequence encodes), no encoded surrogate half (CESU-8 and the like) and nothing beyond
// U+10FFFF.
bool Utf8StartIsValid(uint8_t lead, uint8_t second, uint32_t length)
{
    switch (length)
    {
    case 2:
        return lead >= 0xC2;
    case 3:
        return (lead != 0xE0 || second >= 0xA0) && (lead != 0xED || second < 0xA0);
    case 4:
        return (lead != 0xF0 || second >= 0x90) && (lead < 0xF4 || (lead == 0xF4 && second < 0x90));
    default:
        return true;
    }
}

// Bytes of the UTF-8 sequence at `bytes`, of which `available` are input; 0 when its first byte starts no
// valid sequence (skipped): a stray continuation byte, an invalid lead, a lead followed by a byte that is not
// a continuation byte (which then starts afresh), an overlong form or an encoded surrogate (whose
// continuation bytes are then skipped as strays). A sequence cut off by the end of the input runs past
// `available`.
uint32_t Utf8SequenceLength(const uint8_t* bytes, uint32_t available)
{
    uint32_t length = Utf8LeadLength(bytes[0]);
    for (uint32_t i = 1; i < length && i < available; ++i)
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
    if (length > 1 && available > 1 && !Utf8StartIsValid(bytes[0], bytes[1], length))
        return 0;
    return length;
}

// Units one UTF-8 sequence decodes to; a 4-byte sequence outside the supplementary planes gives none.
uint32_t DecodeUtf8(const uint8_t* bytes, uint32_t length, char16_t* out)
{
    switch (length)
    {
    case 1:
        out[0] = bytes[0];
        return 1;
    case 2:
        out[0] = char16_t(((bytes[0] << 6) & 0x7FF) | (bytes[1] & 0x3F));
        return 1;
    case 3:
        out[0] = char16_t((bytes[0] << 12) | ((bytes[1] << 6) & 0xFFF) | (bytes[2] & 0x3F));
        return 1;
    default:
    {
        uint32_t codePoint = ((bytes[0] & 0x07u) << 18) | ((bytes[1] & 0x3Fu) << 12) |
                             ((bytes[2] & 0x3Fu) << 6) | (bytes[3] & 0x3Fu);
        if (codePoint < 0x10000 || codePoint > 0x10FFFF)
            return 0;
        codePoint -= 0x10000;
        out[0] = char16_t(0xD800 | (codePoint >> 10));
        out[1] = char16_t(0xDC00 | (codePoint & 0x3FF));
        return 2;
    }
    }
}

// Bytes the wide text at `source` encodes to as UTF-8 and the units it consumes (2 for a surrogate pair).
uint32_t Utf8Size(const char16_t* source, uint32_t remaining, uint32_t& consumed)
{
    char16_t unit = source[0];
    consumed = 1;
    if (unit < 0x80)
        return 1;
    if (unit < 0x800)
        return 2;
    if (IsHighSurrogate(unit) && remaining > 1 && IsLowSurrogate(source[1]))
    {
        consumed = 2;
        return 4;
    }
    return 3; // a lone surrogate half is kept as its own 3-byte form
}

void EncodeUtf8(const char16_t* source, uint32_t consumed, uint8_t* out)
{
    uint32_t c = source[0];
    if (consumed == 2)
    {
        uint32_t codePoint = 0x10000 + (((c - 0xD800) << 10) | (source[1] - 0xDC00u));
        out[0] = uint8_t(0xF0 | (codePoint >> 18));
        out[1] = uint8_t(0x80 | ((codePoint >> 12) & 0x3F));
        out[2] = uint8_t(0x80 | ((codePoint >> 6) & 0x3F));
        out[3] = uint8_t(0x80 | (codePoint & 0x3F));
    }
    else if (c < 0x80)
        out[0] = uint8_t(c);
    else if (c < 0x800)
    {
        out[0] = uint8_t(0xC0 | (c >> 6));
        out[1] = uint8_t(0x80 | (c & 0x3F));
    }
    else
    {
        out[0] = uint8_t(0xE0 | (c >> 12));
        out[1] = uint8_t(0x80 | ((c >> 6) & 0x3F));
        out[2] = uint8_t(0x80 | (c & 0x3F));
    }
}

// Shared tail of the code-page converters: fit the converted units into the caller's buffer (or a new one).
template <typename Unit>
Unit* Deliver(const Unit* converted, uint32_t length, Unit* buffer, uint32_t capacity, uint32_t* outLength,
              bool* outTruncated)
{
    bool truncated = false;
    if (buffer == nullptr)
    {
        buffer = new Unit[length + 1];
        capacity = length + 1;
    }
    else if (capacity == 0 || length > capacity - 1)
    {
        truncated = length != 0;
        length = capacity == 0 ? 0 : capacity - 1;
    }
    std::memcpy(buffer, converted, length * sizeof(Unit));
    if (capacity != 0)
        buffer[length] = 0;
    if (outLength != nullptr)
        *outLength = length;
    if (outTruncated != nullptr)
        *outTruncated = truncated;
    return buffer;
}

} // namespace

char16_t* AnsiToWide(char16_t* buffer, uint32_t capacity, const char* source, int32_t count,
                     uint32_t* outLength, bool* outTruncated)
{
    if (!ZELTO_CHECK(source != _null, "Source/Common/StringEncoding", 15))
        source = "";
    String converted = CodePageToString(source, NarrowSourceLength(source, count));
    return Deliver(converted.Text(), converted.Length(), buffer, capacity, outLength, outTruncated);
}

char* WideToAnsi(char* buffer, uint32_t capacity, const char16_t* source, int32_t count, uint32_t* outLength,
                 bool* outTruncated)
{
    if (!ZELTO_CHECK(source != _null, "Source/Common/StringEncoding", 56))
        source = u"";
    std::string converted = StringToCodePage(source, WideSourceLength(source, count));
    return Deliver(converted.data(), uint32_t(converted.size()), buffer, capacity, outLength, outTruncated);
}

char16_t* Utf8ToWide(char16_t* buffer, uint32_t capacity, const char* source, int32_t count,
                     uint32_t* outLength, bool* outTruncated)
{
    if (!ZELTO_CHECK(source != _null, "Source/Common/StringEncoding", 96))
        source = "";
    const auto* bytes = reinterpret_cast<const uint8_t*>(source);
    uint32_t end = NarrowSourceLength(source, count);

    // First pass: how many units the whole input gives, and how many of them fit without splitting a pair.
    uint32_t limit = buffer == nullptr ? UINT32_MAX : (capacity == 0 ? 0 : capacity - 1);
    uint32_t total = 0, fitting = 0;
    char16_t units[2];
    for (uint32_t i = 0; i < end;)
    {
        uint32_t length = Utf8SequenceLength(bytes + i, end - i);
        if (length == 0)
        {
            ++i; // a stray continuation byte or an invalid lead produces nothing
            continue;
        }
        if (i + length > end)
            break; // a sequence cut off by the end of the input is not counted
        total += DecodeUtf8(bytes + i, length, units);
        if (total <= limit)
            fitting = total;
        i += length;
    }
    if (buffer == nullptr)
    {
        buffer = new char16_t[total + 1];
        capacity = total + 1;
    }

    uint32_t written = 0;
    for (uint32_t i = 0; i < end && written < fitting;)
    {
        uint32_t length = Utf8SequenceLength(bytes + i, end - i);
        if (length == 0)
        {
            ++i;
            continue;
        }
        written += DecodeUtf8(bytes + i, length, buffer + written);
        i += length;
    }
    if (capacity != 0)
        buffer[written] = 0;
    if (outLength != nullptr)
        *outLength = written;
    if (outTruncated != nullptr)
        *outTruncated = written < total;
    return buffer;
}

char* WideToUtf8(char* buffer, uint32_t capacity, const char16_t* source, int32_t count, uint32_t* outLength,
                 bool* outTruncated)
{
    if (!ZELTO_CHECK(source != _null, "Source/Common/StringEncoding", 175))
        source = u"";
    uint32_t end = WideSourceLength(source, count);

    // Count what fits: stop before a character whose bytes would make the total reach the capacity.
    uint32_t total = 0, units = 0;
    bool truncated = false;
    while (units < end)
    {
        uint32_t consumed = 0;
        uint32_t size = Utf8Size(source + units, end - units, consumed);
        if (buffer != nullptr && uint64_t(total) + size >= capacity)
        {
            truncated = true;
            break;
        }
        total += size;
        units += consumed;
    }
    if (buffer == nullptr)
    {
        buffer = new char[total + 1];
        capacity = total + 1;
    }

    auto* out = reinterpret_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < units;)
    {
        uint32_t consumed = 0;
        uint32_t size = Utf8Size(source + i, units - i, consumed);
        EncodeUtf8(source + i, consumed, out);
        out += size;
        i += consumed;
    }
    if (capacity != 0)
        buffer[total] = 0;
    if (outLength != nullptr)
        *outLength = total;
    if (outTruncated != nullptr)
        *outTruncated = truncated;
    return buffer;
}

namespace
{

// Runs a converter that allocates its result and hands the text over as `Result`.
template <typename Result, typename From, typename To>
Result ConvertWhole(To* (*convert)(To*, uint32_t, const From*, int32_t, uint32_t*, bool*), const From* source,
                    int32_t count)
{
    static const From empty[1] = {0};
    uint32_t length = 0;
    To* text = convert(nullptr, 0, source == nullptr ? empty : source, count, &length, nullptr);
    Result result(text, text + length);
    delete[] text;
    return result;
}

} // namespace

String Utf8ToString(const char* source, int32_t count)
{
    return ConvertWhole<std::u16string>(Utf8ToWide, source, count).c_str();
}

std::string StringToUtf8(const char16_t* source, int32_t count)
{
    return ConvertWhole<std::string>(WideToUtf8, source, count);
}

String AnsiToString(const char* source, int32_t count)
{
    return source == nullptr ? String() : CodePageToString(source, NarrowSourceLength(source, count));
}

std::string StringToAnsi(const char16_t* source, int32_t count)
{
    return source == nullptr ? std::string() : StringToCodePage(source, WideSourceLength(source, count));
}

} // namespace Zelto
