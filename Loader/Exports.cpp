// The eight exports. Each finds the loader of the calling thread in the thread-local slot; without one it
// answers its default. Nothing escapes the boundary: an exception is logged and the default returned.
#include "Common/Log.h"
#include "Loader/Zelto3DLoader_Flash.h"
#include "Source/Platform/File.h"
#include "Source/Platform/Plugin/ModuleEntry.h"
#include "Source/Platform/System.h"
#include "Source/Platform/Window.h"
#include "ZeltoLoader.h"

#include <new>

#ifdef _WIN32
#define ZELTO_EXPORT // exported by name through Exports.def
#else
#define ZELTO_EXPORT __attribute__((visibility("default")))
#endif

namespace Zelto
{

void PluginAttached(void* module)
{
    SetResourceModule(module);
    ThreadSlotCreate();
}

void PluginDetached()
{
    CloseLogFiles();
    ThreadSlotDestroy();
}

namespace
{

Zelto3DLoader* ThreadLoader()
{
    return static_cast<Zelto3DLoader*>(ThreadSlotGet());
}

template <typename Result, typename Call> Result Guarded(const char* exportName, Result fallback, Call call)
{
    try
    {
        return call();
    }
    catch (...)
    {
        LogError(u"[Loader] %hs failed with an exception", exportName);
        return fallback;
    }
}

} // namespace
} // namespace Zelto

using namespace Zelto;

extern "C"
{

    ZELTO_EXPORT int32_t ZELTO_CALL _ZeltoCreate(void* window, int32_t, int32_t, int32_t, int32_t launchMode)
    {
        return Guarded("_ZeltoCreate", 1,
                       [&]
                       {
                           ThreadSlotSet(new (std::nothrow) Zelto3DLoader_Flash(launchMode, window));
                           StartWindowTimer(window);
                           return 1;
                       });
    }

    ZELTO_EXPORT int32_t ZELTO_CALL _ZeltoDelete()
    {
        return Guarded("_ZeltoDelete", 0,
                       []
                       {
                           // Calls made while the loader goes (from the engine's delete) find no loader.
                           Zelto3DLoader* loader = ThreadLoader();
                           bool cleared = ThreadSlotSet(nullptr);
                           delete loader;
                           return cleared ? 1 : 0;
                       });
    }

    ZELTO_EXPORT void ZELTO_CALL _ZeltoSetup(const ZeltoChar* key, const ZeltoChar* value)
    {
        Guarded("_ZeltoSetup", 0,
                [&]
                {
                    if (Zelto3DLoader* loader = ThreadLoader())
                        loader->Setup(String(reinterpret_cast<const char16_t*>(key)),
                                      String(reinterpret_cast<const char16_t*>(value)));
                    return 0;
                });
    }

    ZELTO_EXPORT int32_t ZELTO_CALL _ZeltoUpdate(int32_t, uint32_t elapsedMs)
    {
        return Guarded("_ZeltoUpdate", 1,
                       [&]
                       {
                           if (Zelto3DLoader* loader = ThreadLoader())
                               loader->Update(elapsedMs);
                           return 1;
                       });
    }

    ZELTO_EXPORT void ZELTO_CALL _ZeltoRender()
    {
        Guarded("_ZeltoRender", 0,
                []
                {
                    if (Zelto3DLoader* loader = ThreadLoader())
                        loader->Render();
                    return 0;
                });
    }

    ZELTO_EXPORT int32_t ZELTO_CALL _ZeltoMessage(int32_t, uint32_t msg, uintptr_t wParam, intptr_t lParam)
    {
        return Guarded("_ZeltoMessage", 1,
                       [&]
                       {
                           Zelto3DLoader* loader = ThreadLoader();
                           return loader != nullptr ? loader->Message(LoaderMessage{msg, wParam, lParam}) : 1;
                       });
    }

    ZELTO_EXPORT float ZELTO_CALL _ZeltoProgress()
    {
        return Guarded("_ZeltoProgress", 0.0f,
                       []
                       {
                           Zelto3DLoader* loader = ThreadLoader();
                           return loader != nullptr ? loader->Progress() : 0.0f;
                       });
    }

    ZELTO_EXPORT void ZELTO_CALL _ZeltoStart() {}

} // extern "C"
