// A fresh folder under the system's temporary directory for one test, removed with everything in it at the
// end. Its path is absolute, so a test that changes the current directory still cleans up the right place.
#pragma once

#include "Common/String.h"

#include <filesystem>
#include <string>

namespace Zelto
{

class TempDirectory
{
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // What the code under test is given: the folder, the platform's separator, then `relative` as written
    // (it may separate with '\' on every target).
    String Path(const char16_t* relative = u"") const;
    // The same place for checks through std::filesystem, with '\' taken as a separator on every target.
    std::filesystem::path Native(const char16_t* relative = u"") const;

    void WriteBytes(const char16_t* relative, const std::string& bytes) const;
    std::string ReadBytes(const char16_t* relative) const; // empty when the file cannot be read

private:
    std::filesystem::path mRoot;
};

// For tests that run code in a folder of their own; they change back before the folder goes.
bool ChangeCurrentDirectory(const char16_t* path);

} // namespace Zelto
