#include "Source/Platform/System.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/PosixPath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Zelto
{

namespace
{

pthread_key_t slotKey;
bool slotCreated = false;

constexpr uint32_t PathUnits = 1024; // the buffers Windows reads these paths into
constexpr size_t NativePathBytes = 4096;

// A path too long for the Windows buffers counts as a failure there, and here too.
String CappedPath(const char* native)
{
    String path = Utf8ToString(native);
    return path.Length() < PathUnits ? path : String();
}

// The interface's first IPv4 address, in network byte order.
bool FirstIpv4(const ifaddrs* list, const char* interfaceName, in_addr_t& address)
{
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
            std::strcmp(entry->ifa_name, interfaceName) == 0)
        {
            address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
            return true;
        }
    return false;
}

bool HostAddress(in_addr_t& address)
{
    char host[1024];
    if (gethostname(host, sizeof(host)) != 0)
        return false;
    host[sizeof(host) - 1] = 0;
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

} // namespace

bool ThreadSlotCreate()
{
    if (!slotCreated)
        slotCreated = pthread_key_create(&slotKey, nullptr) == 0;
    return slotCreated;
}

void ThreadSlotDestroy()
{
    if (slotCreated)
        pthread_key_delete(slotKey);
    slotCreated = false;
}

void* ThreadSlotGet()
{
    return slotCreated ? pthread_getspecific(slotKey) : nullptr;
}

bool ThreadSlotSet(void* value)
{
    return slotCreated && pthread_setspecific(slotKey, value) == 0;
}

uint32_t MillisecondClock()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

LocalTime CurrentLocalTime()
{
    time_t seconds = time(nullptr);
    tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

bool ReadEnvironmentVariable(const char16_t* name, uint32_t maxUnits, String& value)
{
    value = String();
    const char* text = name == nullptr ? nullptr : std::getenv(StringToUtf8(name).c_str());
    if (text == nullptr)
        return false;
    String whole = Utf8ToString(text);
    uint32_t kept = maxUnits == 0 ? 0 : maxUnits - 1;
    value.Assign(whole.Text(), int32_t(whole.Length() < kept ? whole.Length() : kept));
    return true;
}

bool IsDebuggerAttached()
{
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr)
        return false;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof(line), status) != nullptr)
        if (std::strncmp(line, "TracerPid:", 10) == 0)
        {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    std::fclose(status);
    return tracer != 0;
}

void DebuggerOutput(const char16_t* text)
{
    std::string bytes = StringToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

String CurrentDirectory()
{
    char buffer[NativePathBytes];
    return getcwd(buffer, sizeof(buffer)) != nullptr ? CappedPath(buffer) : String();
}

String ExecutablePath()
{
    char buffer[NativePathBytes];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return String();
    buffer[length] = 0;
    return CappedPath(buffer);
}

String ProfileFolder()
{
    const char* home = std::getenv("HOME");
    return home == nullptr ? String() : Utf8ToString(home);
}

uint32_t CurrentProcessId()
{
    return uint32_t(getpid());
}

// The Ethernet interface whose first IPv4 address is the host name's; its hardware address comes with the
// interface's packet entry.
String LocalMacAddress()
{
    in_addr_t hostAddress = 0;
    ifaddrs* list = nullptr;
    if (!HostAddress(hostAddress) || getifaddrs(&list) != 0)
        return String();
    String text;
    for (const ifaddrs* entry = list; entry != nullptr && text.IsEmpty(); entry = entry->ifa_next)
    {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        in_addr_t address = 0;
        if (link->sll_hatype != ARPHRD_ETHER || link->sll_halen != 6 ||
            !FirstIpv4(list, entry->ifa_name, address) || address != hostAddress)
            continue;
        const unsigned char* bytes = link->sll_addr;
        text = Format(u"%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                      bytes[5]);
    }
    freeifaddrs(list);
    return text;
}

void* LoadModule(const char16_t* path)
{
    return path == nullptr || *path == 0 ? nullptr : dlopen(NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* ModuleSymbol(void* module, const char* name)
{
    return module == nullptr || name == nullptr ? nullptr : dlsym(module, name);
}

void UnloadModule(void* module)
{
    if (module != nullptr)
        dlclose(module);
}

} // namespace Zelto
