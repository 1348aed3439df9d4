/* The plug-in's host interface: the eight exports a launcher calls, and the record a Linux host passes where
 * a Windows host passes its window handle. Every export uses the caller-cleans-up convention. */
#ifndef ZELTO_LOADER_H
#define ZELTO_LOADER_H

#include <stdint.h>

#ifdef _WIN32
#define ZELTO_CALL __cdecl
typedef wchar_t ZeltoChar; /* UTF-16 */
#else
#define ZELTO_CALL
#ifdef __cplusplus
typedef char16_t ZeltoChar;
#else
#include <uchar.h>
typedef char16_t ZeltoChar;
#endif
#endif

#ifdef __cplusplus
extern "C"
{
#endif

    /* The launch mode of a host that previews a loading screen for its author (zelto-host --preview): no
     * package, no movie; the screen runs from the script named by the Setup key "previewscript" (again at
     * every such key), shows the figures of the key "previewfigures" ("progress speed resCount finishCount
     * resSize finishSize") and draws a script's error over its frames. No other launch mode honours either
     * key. */
#define ZELTO_PREVIEW_LAUNCH_MODE 0x5A505256 /* "ZPRV" */

    /* Linux: the host's drawing surface, passed as the window argument of _ZeltoCreate. */
    typedef struct ZeltoSurface
    {
        int32_t width;    /* client width in pixels */
        int32_t height;   /* client height in pixels */
        uint32_t* pixels; /* width * height 32-bit ARGB pixels, rows top to bottom */
        void (*present)(struct ZeltoSurface* surface); /* called when a frame is ready */
        void* user;                                    /* the host's own pointer */
    } ZeltoSurface;

    typedef int32_t(ZELTO_CALL* ZeltoCreateFunction)(void* window, int32_t, int32_t, int32_t,
                                                     int32_t launchMode);
    typedef void(ZELTO_CALL* ZeltoSetupFunction)(const ZeltoChar* key, const ZeltoChar* value);
    typedef int32_t(ZELTO_CALL* ZeltoUpdateFunction)(int32_t, uint32_t elapsedMs);
    typedef void(ZELTO_CALL* ZeltoRenderFunction)(void);
    /* wParam and lParam are pointer-sized, as the window's own: 32 bits in the 32-bit plug-in. */
    typedef int32_t(ZELTO_CALL* ZeltoMessageFunction)(int32_t, uint32_t msg, uintptr_t wParam,
                                                      intptr_t lParam);
    typedef float(ZELTO_CALL* ZeltoProgressFunction)(void);
    typedef int32_t(ZELTO_CALL* ZeltoDeleteFunction)(void);
    typedef void(ZELTO_CALL* ZeltoStartFunction)(void);

#ifdef __cplusplus
}
#endif

#endif
