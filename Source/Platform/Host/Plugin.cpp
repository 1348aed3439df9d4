#include "Source/Platform/Host/Plugin.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/System.h"

namespace Zelto
{

bool Plugin::Load(const char16_t* path, String& error)
{
    Unload();
    mModule = LoadModule(path);
    if (mModule == nullptr)
    {
        error = Format(u"cannot load the plug-in %ls", path);
        return false;
    }
    struct Export
    {
        const char* name;
        void** slot;
    };
    const Export exports[] = {
        {"_ZeltoCreate", reinterpret_cast<void**>(&create)},
        {"_ZeltoSetup", reinterpret_cast<void**>(&setup)},
        {"_ZeltoUpdate", reinterpret_cast<void**>(&update)},
        {"_ZeltoRender", reinterpret_cast<void**>(&render)},
        {"_ZeltoMessage", reinterpret_cast<void**>(&message)},
        {"_ZeltoProgress", reinterpret_cast<void**>(&progress)},
        {"_ZeltoDelete", reinterpret_cast<void**>(&destroy)},
        {"_ZeltoStart", reinterpret_cast<void**>(&start)},
    };
    for (const Export& entry : exports)
    {
        *entry.slot = ModuleSymbol(mModule, entry.name);
        if (*entry.slot == nullptr)
        {
            error = Format(u"the plug-in %ls has no export %hs", path, entry.name);
            Unload();
            return false;
        }
    }
    return true;
}

void Plugin::Unload()
{
    if (mModule != nullptr)
        UnloadModule(mModule);
    mModule = nullptr;
    create = nullptr;
    setup = nullptr;
    update = nullptr;
    render = nullptr;
    message = nullptr;
    progress = nullptr;
    destroy = nullptr;
    start = nullptr;
}

String PluginBesideExecutable()
{
    return Format(u"%ls\\%ls", PathDirectory(ExecutablePath().Text(), true).Text(), PluginFileName());
}

std::basic_string<ZeltoChar> ZeltoText(const char* utf8)
{
    String text = Utf8ToString(utf8);
    return std::basic_string<ZeltoChar>(text.Text(), text.Text() + text.Length());
}

} // namespace Zelto
