#include "Source/Common/StringFormatter.h"

#include "Common/Assert.h"

#include <cstdio>
#include <cstring>

namespace Zelto
{

namespace
{

// Width and precision are capped so that one conversion always fits the fixed number buffer.
constexpr int MaxFieldWidth = 4096;

// Writes into a caller's buffer and silently drops what does not fit; the last unit is kept for the
// terminator.
class Output
{
public:
    Output(char16_t* buffer, uint32_t length) : mBuffer(buffer), mLimit(length - 1) {}

    void Put(char16_t unit)
    {
        if (mUsed < mLimit)
            mBuffer[mUsed++] = unit;
    }
    void Repeat(char16_t unit, int count)
    {
        for (int i = 0; i < count; ++i)
            Put(unit);
    }
    void Finish() { mBuffer[mUsed] = 0; }

private:
    char16_t* mBuffer;
    uint32_t mLimit;
    uint32_t mUsed = 0;
};

// va_list wrapped so that it can be passed on by reference on every ABI (it is an array on x86_64).
struct Arguments
{
    va_list list;
};

struct Conversion
{
    bool leftAlign = false;
    bool zeroPad = false;
    char flags[8] = {}; // each flag once, handed on to the C library for numbers
    int width = 0;
    int precision = -1;  // -1: none given
    char length[4] = {}; // "", "h", "hh", "l", "ll", "j", "z", "t", "L", "I64"...
    char16_t type = 0;
};

int ReadNumber(const char16_t*& cursor)
{
    int value = 0;
    while (*cursor >= u'0' && *cursor <= u'9')
    {
        if (value < MaxFieldWidth)
            value = value * 10 + (*cursor - u'0');
        ++cursor;
    }
    return value < MaxFieldWidth ? value : MaxFieldWidth;
}

int Clamp(int value)
{
    return value < MaxFieldWidth ? value : MaxFieldWidth;
}

bool IsFlag(char16_t unit)
{
    return unit == u'-' || unit == u'+' || unit == u' ' || unit == u'#' || unit == u'0';
}

void AddFlag(Conversion& conversion, char flag)
{
    conversion.leftAlign |= flag == '-';
    conversion.zeroPad |= flag == '0';
    if (std::strchr(conversion.flags, flag) == nullptr)
        conversion.flags[std::strlen(conversion.flags)] = flag; // at most the five flags: always fits
}

void ParseConversion(const char16_t*& cursor, Conversion& conversion, Arguments& arguments)
{
    for (; IsFlag(*cursor); ++cursor)
        AddFlag(conversion, char(*cursor));
    if (*cursor == u'*')
    {
        int width = va_arg(arguments.list, int);
        if (width < 0)
            AddFlag(conversion, '-'); // a negative width is a width with the '-' flag, numbers included
        conversion.width = Clamp(width < 0 ? (width == INT32_MIN ? MaxFieldWidth : -width) : width);
        ++cursor;
    }
    else
        conversion.width = ReadNumber(cursor);
    if (*cursor == u'.')
    {
        ++cursor;
        if (*cursor == u'*')
        {
            int precision = va_arg(arguments.list, int);
            conversion.precision = precision < 0 ? -1 : Clamp(precision);
            ++cursor;
        }
        else
            conversion.precision = ReadNumber(cursor);
    }
    static const char* const lengths[] = {"hh", "ll", "I64", "I32", "h", "l", "j", "z", "t", "L", "I", "w"};
    for (const char* candidate : lengths)
    {
        size_t size = std::strlen(candidate);
        size_t i = 0;
        while (i < size && cursor[i] == char16_t(candidate[i]))
            ++i;
        if (i == size)
        {
            std::memcpy(conversion.length, candidate, size);
            cursor += size;
            break;
        }
    }
    conversion.type = *cursor;
    if (*cursor != 0)
        ++cursor;
}

bool HasLength(const Conversion& conversion, const char* length)
{
    return std::strcmp(conversion.length, length) == 0;
}

void PutText(Output& out, const Conversion& conversion, const char16_t* text, const char* narrow)
{
    static const char16_t nullText[] = u"(null)";
    if (text == nullptr && narrow == nullptr)
        text = nullText;
    int length = 0;
    while ((conversion.precision < 0 || length < conversion.precision) &&
           (text != nullptr ? text[length] != 0 : narrow[length] != 0))
        ++length;
    int padding = conversion.width > length ? conversion.width - length : 0;
    if (!conversion.leftAlign)
        out.Repeat(conversion.zeroPad ? u'0' : u' ', padding);
    for (int i = 0; i < length; ++i)
        out.Put(text != nullptr ? text[i] : char16_t(uint8_t(narrow[i])));
    if (conversion.leftAlign)
        out.Repeat(u' ', padding);
}

// Numbers are formatted by the C library in narrow text and widened: their digits are all ASCII.
void PutNumber(Output& out, const Conversion& conversion, Arguments& arguments)
{
    char type = char(conversion.type);
    bool isFloat = std::strchr("fFeEgGaA", type) != nullptr;
    // Flags, width and precision as written ("%.0d" prints nothing for a width of 0); integers always go
    // through "ll", floats through double.
    char narrowFormat[48];
    char precision[16] = "";
    if (conversion.precision >= 0)
        std::snprintf(precision, sizeof precision, ".%d", conversion.precision);
    std::snprintf(narrowFormat, sizeof narrowFormat, "%%%s%.0d%s%s%c", conversion.flags, conversion.width,
                  precision, isFloat ? "" : "ll", type);

    char text[MaxFieldWidth + 400];
    if (isFloat)
    {
        // long double is printed as double: the C runtimes disagree on its size.
        double value = HasLength(conversion, "L") ? double(va_arg(arguments.list, long double))
                                                  : va_arg(arguments.list, double);
        std::snprintf(text, sizeof text, narrowFormat, value);
    }
    else
    {
        bool isSigned = type == 'd' || type == 'i';
        long long value;
        if (HasLength(conversion, "ll") || HasLength(conversion, "I64") || HasLength(conversion, "j"))
            value = isSigned ? va_arg(arguments.list, long long)
                             : (long long)va_arg(arguments.list, unsigned long long);
        else if (HasLength(conversion, "z") || HasLength(conversion, "t") || HasLength(conversion, "I"))
            value = isSigned ? (long long)va_arg(arguments.list, ptrdiff_t)
                             : (long long)va_arg(arguments.list, size_t);
        else if (HasLength(conversion, "l"))
            value =
                isSigned ? va_arg(arguments.list, long) : (long long)va_arg(arguments.list, unsigned long);
        else
        {
            int raw = va_arg(arguments.list, int);
            if (HasLength(conversion, "hh"))
                value = isSigned ? (long long)(signed char)raw : (long long)(unsigned char)raw;
            else if (HasLength(conversion, "h"))
                value = isSigned ? (long long)(short)raw : (long long)(unsigned short)raw;
            else
                value = isSigned ? (long long)raw : (long long)(unsigned int)raw;
        }
        std::snprintf(text, sizeof text, narrowFormat, value);
    }
    for (const char* c = text; *c != 0; ++c)
        out.Put(char16_t(uint8_t(*c)));
}

// Pointers print as upper-case hexadecimal digits of the pointer's size, as on the platform's wide printf.
void PutPointer(Output& out, const Conversion& conversion, Arguments& arguments)
{
    auto value = uintptr_t(va_arg(arguments.list, void*));
    int digits = int(sizeof(void*) * 2);
    int padding = conversion.width > digits ? conversion.width - digits : 0;
    if (!conversion.leftAlign)
        out.Repeat(u' ', padding);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.Put(u"0123456789ABCDEF"[(value >> shift) & 0xF]);
    if (conversion.leftAlign)
        out.Repeat(u' ', padding);
}

void FormatInto(Output& out, const char16_t* format, Arguments& arguments)
{
    for (const char16_t* cursor = format; *cursor != 0;)
    {
        if (*cursor != u'%')
        {
            out.Put(*cursor++);
            continue;
        }
        ++cursor;
        Conversion conversion;
        ParseConversion(cursor, conversion, arguments);
        switch (conversion.type)
        {
        case u'%':
            out.Put(u'%');
            break;
        case u's':
        case u'S':
            if (HasLength(conversion, "h"))
                PutText(out, conversion, nullptr, va_arg(arguments.list, const char*));
            else
                PutText(out, conversion, va_arg(arguments.list, const char16_t*), nullptr);
            break;
        case u'c':
        case u'C':
        {
            char16_t unit[2] = {char16_t(va_arg(arguments.list, int)), 0};
            if (HasLength(conversion, "h"))
                unit[0] = char16_t(uint8_t(unit[0]));
            Conversion whole = conversion;
            whole.precision = 1;
            if (unit[0] == 0)
                out.Put(0); // written as is, like the C library: the text ends there for the reader
            else
                PutText(out, whole, unit, nullptr);
            break;
        }
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
        case u'o':
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            PutNumber(out, conversion, arguments);
            break;
        case u'p':
            PutPointer(out, conversion, arguments);
            break;
        case 0:
            return;
        default:
            break; // unknown conversions (and %n) write nothing
        }
    }
}

} // namespace

const char16_t* FormatArgs(char16_t* buffer, uint32_t length, const char16_t* format, va_list arguments)
{
    if (!ZELTO_CHECK(buffer != _null && length != 0 && format != _null, "Source/Common/StringFormatter", 104))
        return buffer != nullptr && length != 0 ? (buffer[0] = 0, buffer) : u"";
    Output out(buffer, length);
    Arguments copy;
    va_copy(copy.list, arguments);
    FormatInto(out, format, copy);
    va_end(copy.list);
    out.Finish();
    return buffer;
}

const char16_t* FormatBuffer(char16_t* buffer, uint32_t length, const char16_t* format, ...)
{
    if (!ZELTO_CHECK(buffer != _null && length != 0 && format != _null, "Source/Common/StringFormatter", 53))
        return buffer != nullptr && length != 0 ? (buffer[0] = 0, buffer) : u"";
    va_list arguments;
    va_start(arguments, format);
    FormatArgs(buffer, length, format, arguments);
    va_end(arguments);
    return buffer;
}

String Format(const char16_t* format, ...)
{
    if (!ZELTO_CHECK(format != _null, "Source/Common/StringFormatter", 19))
        return String();
    char16_t buffer[FormatBufferUnits];
    va_list arguments;
    va_start(arguments, format);
    FormatArgs(buffer, FormatBufferUnits, format, arguments);
    va_end(arguments);
    return String(buffer);
}

String FormatFloat(float value)
{
    return Format(u"%5.3f", double(value));
}

} // namespace Zelto
