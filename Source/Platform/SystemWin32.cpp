#include "Source/Platform/System.h"

#include "Source/Common/StringFormatter.h"

// Winsock 2 before <windows.h>, and the helpers that need the Windows types after it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <vector>

namespace Zelto
{

namespace
{

DWORD slotIndex = TLS_OUT_OF_INDEXES;

constexpr DWORD PathUnits = 1024;

const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

String FromWide(const wchar_t* text, DWORD length)
{
    return String(reinterpret_cast<const char16_t*>(text), int32_t(length));
}

// The first IPv4 address of the host name, in network byte order.
bool HostAddress(ULONG& address)
{
    char host[1024];
    if (gethostname(host, sizeof(host)) != 0)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0)
        return false;
    bool resolved = found != nullptr;
    if (resolved)
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return resolved;
}

// The first Ethernet adapter whose first IP address is `address`.
String AdapterMacAddress(ULONG address)
{
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW)
        return String();
    std::vector<uint8_t> block(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(block.data());
    if (GetAdaptersInfo(adapters, &size) != NO_ERROR)
        return String();
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next)
        if (adapter->Type == MIB_IF_TYPE_ETHERNET && adapter->AddressLength >= 6 &&
            inet_addr(adapter->IpAddressList.IpAddress.String) == address)
        {
            const BYTE* bytes = adapter->Address;
            return Format(u"%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                          bytes[5]);
        }
    return String();
}

} // namespace

bool ThreadSlotCreate()
{
    if (slotIndex == TLS_OUT_OF_INDEXES)
        slotIndex = TlsAlloc();
    return slotIndex != TLS_OUT_OF_INDEXES;
}

void ThreadSlotDestroy()
{
    if (slotIndex != TLS_OUT_OF_INDEXES)
        TlsFree(slotIndex);
    slotIndex = TLS_OUT_OF_INDEXES;
}

void* ThreadSlotGet()
{
    return slotIndex == TLS_OUT_OF_INDEXES ? nullptr : TlsGetValue(slotIndex);
}

bool ThreadSlotSet(void* value)
{
    return slotIndex != TLS_OUT_OF_INDEXES && TlsSetValue(slotIndex, value) != FALSE;
}

uint32_t MillisecondClock()
{
    return timeGetTime();
}

LocalTime CurrentLocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool ReadEnvironmentVariable(const char16_t* name, uint32_t maxUnits, String& value)
{
    value = String();
    // The first call sizes the text (terminator included); a variable set to nothing needs 1.
    DWORD needed = name == nullptr ? 0 : GetEnvironmentVariableW(Wide(name), nullptr, 0);
    if (needed == 0)
        return false;
    std::vector<wchar_t> text(needed);
    DWORD length = GetEnvironmentVariableW(Wide(name), text.data(), needed);
    if (length >= needed) // changed between the calls: taken as not readable
        return false;
    DWORD kept = maxUnits == 0 ? 0 : maxUnits - 1;
    value = FromWide(text.data(), length < kept ? length : kept);
    return true;
}

bool IsDebuggerAttached()
{
    return IsDebuggerPresent() != FALSE;
}

void DebuggerOutput(const char16_t* text)
{
    if (text != nullptr)
        OutputDebugStringW(Wide(text));
}

String CurrentDirectory()
{
    wchar_t buffer[PathUnits];
    DWORD length = GetCurrentDirectoryW(PathUnits, buffer);
    return length == 0 || length >= PathUnits ? String() : FromWide(buffer, length);
}

String ExecutablePath()
{
    wchar_t buffer[PathUnits];
    DWORD length = GetModuleFileNameW(nullptr, buffer, PathUnits);
    return length == 0 || length >= PathUnits ? String() : FromWide(buffer, length);
}

String ProfileFolder()
{
    wchar_t buffer[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
        return String();
    return FromWide(buffer, DWORD(wcslen(buffer)));
}

uint32_t CurrentProcessId()
{
    return GetCurrentProcessId();
}

String LocalMacAddress()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return String();
    ULONG address = 0;
    String text = HostAddress(address) ? AdapterMacAddress(address) : String();
    WSACleanup();
    return text;
}

void* LoadModule(const char16_t* path)
{
    return path == nullptr || *path == 0 ? nullptr : LoadLibraryW(Wide(path));
}

void* ModuleSymbol(void* module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module)
{
    if (module != nullptr)
        FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace Zelto
