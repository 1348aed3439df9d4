#include "Source/Platform/Host/Plugin.h"

#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Host/HostWindow.h"
#include "Source/Platform/System.h"

#include <filesystem>

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
    bool complete =
        ResolveExport(mModule, "_ZeltoCreate", create) & ResolveExport(mModule, "_ZeltoSetup", setup) &
        ResolveExport(mModule, "_ZeltoUpdate", update) & ResolveExport(mModule, "_ZeltoRender", render) &
        ResolveExport(mModule, "_ZeltoMessage", message) &
        ResolveExport(mModule, "_ZeltoProgress", progress) & ResolveExport(mModule, "_ZeltoDelete", destroy) &
        ResolveExport(mModule, "_ZeltoStart", start);
    if (!complete)
    {
        error = Format(u"the plug-in %ls lacks one of the eight exports", path);
        Unload();
        return false;
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

// Joined with the platform's own separator: the path is printed for people to read.
String PluginBesideExecutable()
{
    return Format(u"%ls%lc%ls", PathDirectory(ExecutablePath().Text(), true).Text(),
                  char16_t(std::filesystem::path::preferred_separator), PluginFileName());
}

std::basic_string<ZeltoChar> ZeltoText(const char* utf8)
{
    String text = Utf8ToString(utf8);
    return std::basic_string<ZeltoChar>(text.Text(), text.Text() + text.Length());
}

} // namespace Zelto
