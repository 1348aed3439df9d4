// The plug-in as a host sees it: a loaded module and its eight exports.
#pragma once

#include "Common/String.h"
#include "ZeltoLoader.h"

#include <string>

namespace Zelto
{

class Plugin
{
public:
    Plugin() = default;
    ~Plugin() { Unload(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Loads the module and resolves every export; false (with `error` saying why) when any is missing.
    bool Load(const char16_t* path, String& error);
    void Unload();

    ZeltoCreateFunction create = nullptr;
    ZeltoSetupFunction setup = nullptr;
    ZeltoUpdateFunction update = nullptr;
    ZeltoRenderFunction render = nullptr;
    ZeltoMessageFunction message = nullptr;
    ZeltoProgressFunction progress = nullptr;
    ZeltoDeleteFunction destroy = nullptr;
    ZeltoStartFunction start = nullptr;

private:
    void* mModule = nullptr;
};

// The plug-in beside the running executable.
String PluginBesideExecutable();

// UTF-8 text as the exports take it.
std::basic_string<ZeltoChar> ZeltoText(const char* utf8);

} // namespace Zelto
