// The encoders from outside bytes: UTF-8 into buffers of every capacity, and UTF-16 through UTF-8 and back
// unchanged, but for lone surrogate halves: each is written as its own 3-byte form, which no decoder takes.
#include "FuzzCheck.h"
#include "Source/Common/StringEncoding.h"

#include <cstring>
#include <string>
#include <vector>

using namespace Zelto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks a buffer capacity; the rest is the text.
    uint32_t capacity = data[0];
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    int32_t count = int32_t(size - 1);

    uint32_t whole = 0;
    char16_t* all = Utf8ToWide(nullptr, 0, bytes, count, &whole, nullptr);
    std::vector<char16_t> room(capacity + 1, 0xFFFF);
    uint32_t written = 0;
    bool truncated = false;
    Utf8ToWide(room.data(), capacity, bytes, count, &written, &truncated);
    Require(written <= whole && truncated == (written < whole));
    Require(capacity == 0 ? written == 0 : written < capacity && room[written] == 0);
    Require(room[capacity] == 0xFFFF);
    Require(std::memcmp(room.data(), all, written * sizeof(char16_t)) == 0);
    // What decodes has no lone surrogate halves: it encodes to UTF-8 that decodes the same.
    String again = Utf8ToString(StringToUtf8(all).c_str());
    Require(std::u16string(again.Text(), again.Length()) == std::u16string(all, whole));
    delete[] all;

    std::u16string wide((size - 1) / 2, u' ');
    std::memcpy(&wide[0], data + 1, wide.size() * sizeof(char16_t));
    wide = wide.substr(0, wide.find(u'\0'));
    std::string utf8 = StringToUtf8(wide.c_str());
    String back = Utf8ToString(utf8.c_str());
    std::u16string paired;
    for (size_t i = 0; i < wide.size(); ++i)
    {
        bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF;
        bool pair = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
        if (pair)
            paired.append(wide, i++, 2);
        else if (wide[i] < 0xD800 || wide[i] > 0xDFFF)
            paired += wide[i];
    }
    Require(std::u16string(back.Text(), back.Length()) == paired);

    std::vector<char> narrow(capacity + 1, 'X');
    WideToUtf8(narrow.data(), capacity, wide.c_str(), -1, &written, &truncated);
    Require(narrow[capacity] == 'X' && (capacity == 0 || written < capacity));

    AnsiToString(bytes, count);
    StringToAnsi(wide.c_str());
    return 0;
}
