// atl90 is found through the manifest the plug-in carries, and by its bare name where a module has none.
// Wine's side-by-side store holds the VC90 ATL assembly, so the manifest's context resolves here as it does
// on a Windows machine with the VC90 runtime installed.
#include "Flash/AtlLibrary.h"
#include "Source/Platform/Host/HostWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace Zelto
{
namespace
{

std::string ManifestOf(HMODULE module)
{
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(AtlManifestResource), RT_MANIFEST);
    if (resource == nullptr)
        return {};
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return std::string(text, SizeofResource(module, resource));
}

TEST(AtlLibrary, ThePluginCarriesTheManifestOfItsArchitecture)
{
    HMODULE plugin = LoadLibraryExW(reinterpret_cast<const wchar_t*>(PluginFileName()), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(plugin, nullptr);
    std::string manifest = ManifestOf(plugin);
    FreeLibrary(plugin);
    EXPECT_NE(manifest.find("name=\"Microsoft.VC90.ATL\""), std::string::npos) << manifest;
    const char* architecture =
        sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    EXPECT_NE(manifest.find(architecture), std::string::npos) << manifest;
}

TEST(AtlLibrary, LoadsThroughTheManifestsActivationContext)
{
    AtlLibrary atl = LoadAtlLibrary(GetModuleHandleW(nullptr)); // this test program carries the same manifest
    ASSERT_NE(atl.module, nullptr);
    EXPECT_EQ(atl.source, AtlSource::Manifest);
    EXPECT_NE(GetProcAddress(static_cast<HMODULE>(atl.module), "AtlAxWinInit"), nullptr);
}

TEST(AtlLibrary, AModuleWithoutTheManifestFallsBackToTheBareName)
{
    for (HMODULE module : {GetModuleHandleW(L"kernel32.dll"), static_cast<HMODULE>(nullptr)})
    {
        AtlLibrary atl = LoadAtlLibrary(module);
        ASSERT_NE(atl.module, nullptr);
        EXPECT_EQ(atl.source, AtlSource::BareName);
        EXPECT_NE(GetProcAddress(static_cast<HMODULE>(atl.module), "AtlAxWinInit"), nullptr);
    }
}

} // namespace
} // namespace Zelto
