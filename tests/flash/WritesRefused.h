// Writes the system refuses to a file that exists: it cannot grow, held open without sharing writes on
// Windows, limited to its present size elsewhere (with FileSizeLimit).
#pragma once

#include <filesystem>

#ifdef _WIN32
#include <cstdio>
#include <share.h>
#else
#include "support/FileSizeLimit.h"
#endif

namespace Zelto
{

class WritesRefused
{
public:
#ifdef _WIN32
    explicit WritesRefused(const std::filesystem::path& file)
        : mHolder(_wfsopen(file.c_str(), L"rb", _SH_DENYWR)), active(mHolder != nullptr)
    {
    }
    ~WritesRefused()
    {
        if (mHolder != nullptr)
            std::fclose(mHolder);
    }

private:
    FILE* mHolder;

public:
#else
    explicit WritesRefused(const std::filesystem::path& file)
        : mLimit(rlim_t(std::filesystem::file_size(file))), active(mLimit.active)
    {
    }

private:
    FileSizeLimit mLimit;

public:
#endif
    WritesRefused(const WritesRefused&) = delete;
    WritesRefused& operator=(const WritesRefused&) = delete;

    const bool active;
};

} // namespace Zelto
