// The encoders from outside bytes: UTF-8 into buffers of every capacity, and UTF-16 through UTF-8 and back
// unchanged (lone surrogates included, each as its own 3-byte form).
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
    delete[] all;

    std::u16string wide((size - 1) / 2, u' ');
    std::memcpy(&wide[0], data + 1, wide.size() * sizeof(char16_t));
    wide = wide.substr(0, wide.find(u'\0'));
    std::string utf8 = StringToUtf8(wide.c_str());
    String back = Utf8ToString(utf8.c_str());
    Require(std::u16string(back.Text(), back.Length()) == wide);

    std::vector<char> narrow(capacity + 1, 'X');
    WideToUtf8(narrow.data(), capacity, wide.c_str(), -1, &written, &truncated);
    Require(narrow[capacity] == 'X' && (capacity == 0 || written < capacity));

    AnsiToString(bytes, count);
    StringToAnsi(wide.c_str());
    return 0;
}
