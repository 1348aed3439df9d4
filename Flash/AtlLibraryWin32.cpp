// atl90 through the plug-in's own manifest, else by its bare name.
#include "Flash/AtlLibrary.h"

#include "Common/Log.h"

#include <windows.h>

namespace Zelto
{

namespace
{

const wchar_t AtlFileName[] = L"atl90.dll";

// The module's manifest as an activation context; INVALID_HANDLE_VALUE when the module has none or the system
// cannot resolve the assembly it names.
HANDLE ManifestContext(HMODULE module)
{
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = module;
    context.lpResourceName = MAKEINTRESOURCEW(AtlManifestResource);
    return CreateActCtxW(&context);
}

HMODULE LoadWithManifest(HMODULE manifestModule)
{
    if (manifestModule == nullptr)
        return nullptr;
    HANDLE context = ManifestContext(manifestModule);
    if (context == INVALID_HANDLE_VALUE)
    {
        PrintTrace(u"atl90's assembly is not available through the plug-in's manifest (error %u)",
                   static_cast<unsigned>(GetLastError()));
        return nullptr;
    }
    HMODULE atl = nullptr;
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(context, &cookie))
    {
        atl = LoadLibraryW(AtlFileName);
        DeactivateActCtx(0, cookie);
    }
    ReleaseActCtx(context);
    return atl;
}

} // namespace

AtlLibrary LoadAtlLibrary(void* manifestModule)
{
    AtlLibrary found;
    if ((found.module = LoadWithManifest(static_cast<HMODULE>(manifestModule))) != nullptr)
        found.source = AtlSource::Manifest;
    else if ((found.module = LoadLibraryW(AtlFileName)) != nullptr)
        found.source = AtlSource::BareName;
    return found;
}

} // namespace Zelto
