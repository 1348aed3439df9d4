// The Flash loading screen: one movie control in a child window of the loader's window, kept to its size, and
// the exchange with the running movie through its variables (progress and speed out; choices, trace lines
// and user data in).
#pragma once

#include "Common/Array.h"
#include "Common/String.h"
#include "Flash/FlashControl.h"

namespace Zelto
{

// What the host needs of the loader that owns it.
class FlashHostOwner
{
public:
    virtual void* ParentWindow() const = 0; // the loader's window (a ZeltoSurface on Linux)
    virtual float HostProgress() const = 0;
    virtual float HostSpeed() const = 0;
    virtual void Setup(const String& key, const String& value) = 0;

protected:
    ~FlashHostOwner() = default;
};

class FlashHost
{
public:
    explicit FlashHost(FlashHostOwner* loader, FlashPlatform& platform = SystemFlashPlatform());
    ~FlashHost();
    FlashHost(const FlashHost&) = delete;
    FlashHost& operator=(const FlashHost&) = delete;

    bool ControlCreated() const { return controlCreated; } // false: the loader takes the scripted screen
    bool OpenMovie(const char16_t* name);                  // resource or file of that name, then playing
    void Resize(int32_t width, int32_t height);            // a zero size changes nothing
    void Tick();                                           // on every loader update while loading
    void SetMovieVariable(const String& name, const String& value);
    // "name|value|name|value...", each part trimmed of spaces and tabs; an unpaired last name is ignored.
    void SetMovieVariables(const String& pairs);
    void WriteUserData(const String& text); // appended to the user-data file, which is never left torn

private:
    void ReportVersion();
    void InitMovieVariables();
    void ForwardWatchedVariables();
    void HandleTrace();
    void HandleUserData();
    String GetVariable(const char16_t* name) const;

    FlashHostOwner* loader; // not owned
    FlashPlatform& platform;
    FlashControl* flash = nullptr; // owned; null when no usable control came up
    bool controlCreated = false;
    bool resizePending = false;     // the window had no size when last measured
    Array<String> watchedVariables; // movie variables still waited for
    String lastTraceIndex;
    String lastUserDataIndex;
};

// "<current directory>\flashdata.user"; removed at each host construction.
String UserDataPath();

} // namespace Zelto
