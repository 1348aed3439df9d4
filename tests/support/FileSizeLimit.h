// Linux only: the process's file-size limit, under which a write beyond the limit fails as on a full disk
// (EFBIG, the SIGXFSZ it would raise ignored), restored when the object goes.
#pragma once

#include <csignal>
#include <sys/resource.h>

namespace Zelto
{

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active = false;

private:
    rlimit saved{};
    void (*savedSignal)(int) = nullptr;
};

} // namespace Zelto
