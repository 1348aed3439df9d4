// Linux only: the process's address-space limit, set a given number of bytes above what it has mapped now,
// so that mappings beyond them fail as in a 32-bit process whose address space is used up; restored when the
// object goes. A sanitizer's shadow memory does not live under such a limit.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace Zelto
{

class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(rlim_t headroom)
    {
        getrlimit(RLIMIT_AS, &saved);
        rlimit limited = saved;
        limited.rlim_cur = MappedBytes() + headroom;
        active = MappedBytes() != 0 && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool active = false;

    // The address space the process has mapped now, in bytes; 0 when it cannot be read.
    static rlim_t MappedBytes()
    {
        unsigned long pages = 0;
        FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr)
            return 0;
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
        return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
    }

private:
    rlimit saved{};
};

} // namespace Zelto
