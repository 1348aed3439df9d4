// What the control saw and holds, kept for the tests to read through the DLL's exports.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace TestControl
{

// The version text a new control reports as its "$version" variable.
extern const wchar_t Version[];

struct Record
{
    std::vector<std::string> calls;
    std::map<std::wstring, std::wstring> variables;
    std::map<UINT, int> messages;
    HWND window = nullptr;
};

Record& NewestRecord();
void StartRecord(); // a new control: the previous one's record is forgotten

// Whether a control answers QueryInterface for the movie control's interface.
extern bool flashInterfaceOffered;

// Objects of this DLL still referenced (controls and class factories); DllCanUnloadNow answers from it.
extern volatile LONG liveObjects;

// The reference count of one of the DLL's objects, which is live from its construction to its last release.
class Counted
{
protected:
    Counted() { InterlockedIncrement(&liveObjects); }
    virtual ~Counted() { InterlockedDecrement(&liveObjects); }

    ULONG AddReference() { return ULONG(InterlockedIncrement(&references)); }
    ULONG DropReference()
    {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

private:
    volatile LONG references = 1;
};

std::string Utf8(const wchar_t* text, int length);

} // namespace TestControl
