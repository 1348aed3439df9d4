// Finding atl90, the library whose container window hosts the movie control. On Windows it lives in the
// side-by-side store, which a load by bare name searches only while an activation context naming the assembly
// is active; the host's own manifest may not name it, so the plug-in carries a manifest of its own (resource
// AtlManifestResource of type RT_MANIFEST) and activates it around the load. The bare name stays the
// fallback.
#pragma once

namespace Zelto
{

// Not 2: a DLL's manifest of that number is applied by the system's loader to the DLL's own imports, and a
// missing assembly would then keep the whole plug-in from loading.
constexpr int AtlManifestResource = 3;

enum class AtlSource
{
    Missing,  // neither way found it
    Manifest, // through the activation context of the module's manifest
    BareName, // by its bare name, the manifest's context being unavailable or not finding it
};

struct AtlLibrary
{
    void* module = nullptr; // HMODULE
    AtlSource source = AtlSource::Missing;
};

// Loads atl90 with the manifest resource of manifestModule (an HMODULE) active, else by its bare name.
AtlLibrary LoadAtlLibrary(void* manifestModule);

} // namespace Zelto
