// What the test control's DLL exports besides COM's entry points: its record, read by the tests that host it.
// The record starts afresh with each control made; the DLL's live-object count spans them all.
#pragma once

#include <windows.h>

extern "C"
{
    // Every dispatch call the newest control received, one line each, in order ("Play", "put_Menu false",
    // ...).
    const char* TestControlCalls();
    // The movie's part: a variable the control then answers GetVariable with.
    void TestControlSetVariable(const wchar_t* name, const wchar_t* value);
    int TestControlLiveObjects();
    // How often the newest control's window received `message`.
    int TestControlMessageCount(UINT message);
    // The newest control's window; null before its in-place activation.
    HWND TestControlWindow();
    // Whether controls made from now on answer for the movie control's own interface (they do at first): a
    // control without it is what a container holds where some other control answers the class identifier.
    void TestControlOfferFlashInterface(BOOL offered);
}
