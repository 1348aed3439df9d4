// The formatter from outside bytes, with safe arguments: each conversion is built from the input (flags,
// width or '*', precision or '*', length modifier, type) between literal text, and formatted with an argument
// of the type it takes into a buffer whose length the input picks. The output always ends inside the buffer.
#include "FuzzCheck.h"
#include "Source/Common/StringFormatter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <string>
#include <vector>

using namespace Zelto;

namespace
{

enum class Argument
{
    Int,
    Long,
    LongLong,
    Size,
    Double,
    LongDouble,
    Text,
    Narrow,
    Pointer,
    None,
};

struct Conversion
{
    const char* text;
    Argument argument;
};

// Every length modifier with the types it goes with, and the argument that conversion takes.
const Conversion Conversions[] = {
    {"d", Argument::Int},         {"i", Argument::Int},         {"u", Argument::Int},
    {"x", Argument::Int},         {"X", Argument::Int},         {"o", Argument::Int},
    {"c", Argument::Int},         {"C", Argument::Int},         {"hd", Argument::Int},
    {"hhu", Argument::Int},       {"hc", Argument::Int},        {"lc", Argument::Int},
    {"ld", Argument::Long},       {"lx", Argument::Long},       {"lld", Argument::LongLong},
    {"llu", Argument::LongLong},  {"I64d", Argument::LongLong}, {"jd", Argument::LongLong},
    {"zu", Argument::Size},       {"td", Argument::Size},       {"Iu", Argument::Size},
    {"I32d", Argument::Int},      {"f", Argument::Double},      {"F", Argument::Double},
    {"e", Argument::Double},      {"E", Argument::Double},      {"g", Argument::Double},
    {"G", Argument::Double},      {"a", Argument::Double},      {"A", Argument::Double},
    {"Lf", Argument::LongDouble}, {"Lg", Argument::LongDouble}, {"s", Argument::Text},
    {"ls", Argument::Text},       {"S", Argument::Text},        {"ws", Argument::Text},
    {"hs", Argument::Narrow},     {"p", Argument::Pointer},     {"%", Argument::None},
    {"q", Argument::None},        {"n", Argument::None},
};

// Formats `format` with the '*' values first, then the conversion's own argument.
template <typename... Values>
void FormatWithStars(char16_t* buffer, uint32_t length, const char16_t* format, const std::vector<int>& stars,
                     Values... values)
{
    switch (stars.size())
    {
    case 0:
        FormatBuffer(buffer, length, format, values...);
        break;
    case 1:
        FormatBuffer(buffer, length, format, stars[0], values...);
        break;
    default:
        FormatBuffer(buffer, length, format, stars[0], stars[1], values...);
        break;
    }
}

// Text between conversions: a '%' in it is written "%%", so that it asks for no argument.
std::string Literal(const std::string& text)
{
    std::string literal;
    for (char c : text)
        literal += c == '%' ? std::string("%%") : std::string(1, c);
    return literal;
}

std::u16string Widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    uint32_t length = input.ConsumeIntegralInRange<uint32_t>(1, 600);
    std::vector<char16_t> buffer(length + 1, 0xFFFF);
    while (input.remaining_bytes() > 0)
    {
        std::string format = Literal(input.ConsumeRandomLengthString(16));
        std::vector<int> stars;
        format += '%';
        format += input.PickValueInArray({"", "-", "+", " ", "#", "0", "-0", "+ #", "--"});
        if (input.ConsumeBool())
        {
            format += '*';
            stars.push_back(input.ConsumeIntegral<int>());
        }
        else if (input.ConsumeBool())
            format += std::to_string(input.ConsumeIntegralInRange<int>(0, 99999));
        if (input.ConsumeBool())
        {
            format += '.';
            if (input.ConsumeBool())
            {
                format += '*';
                stars.push_back(input.ConsumeIntegral<int>());
            }
            else
                format += std::to_string(input.ConsumeIntegralInRange<int>(0, 99999));
        }
        const Conversion& conversion = input.PickValueInArray(Conversions);
        format += conversion.text;
        format += Literal(input.ConsumeRandomLengthString(16));
        std::u16string wide = Widen(format);
        std::u16string text = Widen(input.ConsumeRandomLengthString(64));
        std::string narrow = input.ConsumeRandomLengthString(64);

        char16_t* out = buffer.data();
        switch (conversion.argument)
        {
        case Argument::Int:
            FormatWithStars(out, length, wide.c_str(), stars, input.ConsumeIntegral<int>());
            break;
        case Argument::Long:
            FormatWithStars(out, length, wide.c_str(), stars, input.ConsumeIntegral<long>());
            break;
        case Argument::LongLong:
            FormatWithStars(out, length, wide.c_str(), stars, input.ConsumeIntegral<long long>());
            break;
        case Argument::Size:
            FormatWithStars(out, length, wide.c_str(), stars, input.ConsumeIntegral<size_t>());
            break;
        case Argument::Double:
            FormatWithStars(out, length, wide.c_str(), stars, input.ConsumeFloatingPoint<double>());
            break;
        case Argument::LongDouble:
            FormatWithStars(out, length, wide.c_str(), stars,
                            (long double)input.ConsumeFloatingPoint<double>());
            break;
        case Argument::Text:
            FormatWithStars(out, length, wide.c_str(), stars, text.c_str());
            break;
        case Argument::Narrow:
            FormatWithStars(out, length, wide.c_str(), stars, narrow.c_str());
            break;
        case Argument::Pointer:
            FormatWithStars(out, length, wide.c_str(), stars, static_cast<const void*>(text.c_str()));
            break;
        case Argument::None:
            FormatWithStars(out, length, wide.c_str(), stars);
            break;
        }
        bool terminated = false;
        for (uint32_t i = 0; i < length && !terminated; ++i)
            terminated = buffer[i] == 0;
        Require(terminated && buffer[length] == 0xFFFF);
    }
    return 0;
}
