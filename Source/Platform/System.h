// The small set of operating-system services the loader needs beyond files: the thread-local slot, clocks,
// environment, debugger, process paths, dynamic modules and the machine's MAC address. One implementation per
// target (SystemWin32.cpp, SystemPosix.cpp); nothing outside Source/Platform includes system headers.
#pragma once

#include "Common/String.h"

#include <cstdint>

namespace Zelto
{

// The slot that ties a loader object to the host thread that created it.
bool ThreadSlotCreate();
void ThreadSlotDestroy();
void* ThreadSlotGet();
bool ThreadSlotSet(void* value); // true on success

uint32_t MillisecondClock(); // milliseconds from an arbitrary start, wrapping at 2^32

struct LocalTime
{
    int year, month, day, hour, minute, second;
};
LocalTime CurrentLocalTime();

// The variable's text, at most maxUnits - 1 units; false when it is not set.
bool ReadEnvironmentVariable(const char16_t* name, uint32_t maxUnits, String& value);

bool IsDebuggerAttached();
void DebuggerOutput(const char16_t* text); // the debugger's output (standard error on Linux)

String CurrentDirectory(); // at most 1024 units; empty on failure
String ExecutablePath();   // full path of the process's executable, at most 1024 units; empty on failure
String ProfileFolder();    // the user's profile folder; empty on failure
uint32_t CurrentProcessId();

// The six bytes of the Ethernet adapter that carries the host name's IPv4 address as "XX:XX:XX:XX:XX:XX",
// empty when there is none.
String LocalMacAddress();

// Dynamic modules: the plug-in itself, the engine module, test fixtures.
void* LoadModule(const char16_t* path);
void* ModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);

// Stores the export `name` of `module` in a function pointer (null when absent), without aliasing tricks.
template <typename Function> bool ResolveExport(void* module, const char* name, Function& slot)
{
    slot = reinterpret_cast<Function>(ModuleSymbol(module, name));
    return slot != nullptr;
}

} // namespace Zelto
