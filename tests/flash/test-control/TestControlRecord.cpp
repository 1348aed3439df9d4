// The record and the exports that hand it to the tests.
#include "TestControlRecord.h"
#include "TestControlApi.h"

namespace TestControl
{

const wchar_t Version[] = L"WIN 11,0,1,152";
volatile LONG liveObjects = 0;
bool flashInterfaceOffered = true;

Record& NewestRecord()
{
    static Record record;
    return record;
}

void StartRecord()
{
    NewestRecord() = Record();
    NewestRecord().variables[L"$version"] = Version;
}

std::string Utf8(const wchar_t* text, int length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

} // namespace TestControl

using namespace TestControl;

const char* TestControlCalls()
{
    static std::string joined;
    joined.clear();
    for (const std::string& call : NewestRecord().calls)
        joined += call + "\n";
    return joined.c_str();
}

void TestControlSetVariable(const wchar_t* name, const wchar_t* value)
{
    NewestRecord().variables[name] = value;
}

int TestControlLiveObjects()
{
    return int(liveObjects);
}

int TestControlMessageCount(UINT message)
{
    auto found = NewestRecord().messages.find(message);
    return found != NewestRecord().messages.end() ? found->second : 0;
}

HWND TestControlWindow()
{
    return NewestRecord().window;
}

void TestControlOfferFlashInterface(BOOL offered)
{
    flashInterfaceOffered = offered != FALSE;
}
