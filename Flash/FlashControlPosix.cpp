// Linux has no Flash control: the loader always takes the scripted screen here.
#include "Flash/FlashControl.h"

#include "ZeltoLoader.h"

namespace Zelto
{

namespace
{

class NoFlashPlatform : public FlashPlatform
{
public:
    ClientArea WindowArea(void* window) override
    {
        const auto* surface = static_cast<const ZeltoSurface*>(window);
        return surface != nullptr ? ClientArea{surface->width, surface->height} : ClientArea{};
    }

    FlashControl* CreateControl(void*, ClientArea) override { return nullptr; }
};

} // namespace

FlashPlatform& SystemFlashPlatform()
{
    static NoFlashPlatform platform;
    return platform;
}

} // namespace Zelto
