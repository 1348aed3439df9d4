// The engine module: its handle and its ten entry points, in this order. Every entry point uses the
// caller-cleans-up convention; the window argument is the host's window (a ZeltoSurface on Linux).
#pragma once

#include "Loader/PackageHeader.h"
#include "ZeltoLoader.h"

#include <cstdint>

namespace Zelto
{

extern "C"
{
    typedef void(ZELTO_CALL* ZobVersionFunction)(void);
    typedef int32_t(ZELTO_CALL* ZobCreateFunction)(void* window, PackageHeader* header, const ZeltoChar* url,
                                                   const ZeltoChar* parameters, int32_t reserved);
    typedef void(ZELTO_CALL* ZobDeleteFunction)(void* window);
    typedef int32_t(ZELTO_CALL* ZobUpdateFunction)(void* window, uint32_t elapsedMs);
    typedef void(ZELTO_CALL* ZobRenderFunction)(void* window);
    typedef void(ZELTO_CALL* ZobConfigFunction)(const ZeltoChar* key, const ZeltoChar* value);
    typedef int32_t(ZELTO_CALL* ZobMessageFunction)(void* window, uint32_t msg, uintptr_t wParam,
                                                    intptr_t lParam);
    typedef void(ZELTO_CALL* ZobProgressFunction)(float* progress, int32_t* resCount, int32_t* finishCount,
                                                  int32_t* resSize, int32_t* finishSize);
    typedef void(ZELTO_CALL* ZobSpeedFunction)(float* speed);
    typedef void(ZELTO_CALL* ZobExternalValueFunction)(void);
}

struct EngineModule
{
    void* module;
    ZobVersionFunction version; // resolved only
    ZobCreateFunction create;   // required
    ZobDeleteFunction destroy;  // required
    ZobUpdateFunction update;   // required
    ZobRenderFunction render;   // required
    ZobConfigFunction config;
    ZobMessageFunction message;   // required
    ZobProgressFunction progress; // required
    ZobSpeedFunction speed;
    ZobExternalValueFunction externalValue; // resolved only
};

} // namespace Zelto
