#include "Source/Platform/Plugin/ModuleEntry.h"

#include <windows.h>

// Thread attach and detach do nothing; the entry routine always reports success.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Zelto::PluginAttached(instance);
    else if (reason == DLL_PROCESS_DETACH)
        Zelto::PluginDetached();
    return TRUE;
}
