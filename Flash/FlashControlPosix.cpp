// Linux has no Flash control: the loader always takes the scripted screen here.
#include "Flash/FlashControl.h"

namespace Zelto
{

namespace
{

class NoFlashPlatform : public FlashPlatform
{
public:
    // No control is ever made here, so the window is never measured: the host's window is not read at all.
    ClientArea WindowArea(void*) override { return ClientArea{}; }

    FlashControl* CreateControl(void*, ClientArea) override { return nullptr; }
};

} // namespace

FlashPlatform& SystemFlashPlatform()
{
    static NoFlashPlatform platform;
    return platform;
}

} // namespace Zelto
