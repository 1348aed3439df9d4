// The loader with its loading screen: a Flash movie where the control can be hosted, else a script drawing
// through the renderer. The screen lives until the engine takes over the window; with neither movie nor
// script the loader runs without one.
#pragma once

#include "Flash/FlashHost.h"
#include "Loader/Zelto3DLoader.h"

namespace Zelto
{

class IScriptManager;
class Zelto3DRenderer_GDI;

class Zelto3DLoader_Flash : public Zelto3DLoader, private FlashHostOwner
{
public:
    Zelto3DLoader_Flash(int32_t launchMode, void* hwnd);
    ~Zelto3DLoader_Flash() override;

    int32_t Message(const LoaderMessage& message) override;
    void Update(uint32_t elapsedMs) override;
    void Render() override;
    void Setup(const String& key, const String& value) override;
    void CloseLoadingScreen() override;

private:
    // What the Flash host reads of this loader; its `Setup` is the loader's own.
    void* ParentWindow() const override { return hwnd; }
    float HostProgress() const override { return progress; }
    float HostSpeed() const override { return speed; }

    // The screen drawn by "loader.lua" (else "loading.lua") through the renderer: for a host that shows no
    // movie.
    void StartScriptScreen();
    // The script manager with the class "_GDI", and a renderer (a preview's, or the loader's own) that
    // scripts reach as "_gdi"; null without a manager.
    IScriptManager* OpenScriptScreen(bool preview);

    // The preview launch mode (LoaderPreview.cpp): the screen runs from the script a host names and shows the
    // figures it gives; true for the keys it takes.
    bool PreviewSetup(const String& key, const String& value);
    void StartPreviewScreen(const String& scriptName);
    void SetPreviewFigures(const String& figures);

    bool previewing = false; // launched in the preview launch mode

    FlashHost* flashHost = nullptr;          // owned; null without the movie screen
    Zelto3DRenderer_GDI* renderer = nullptr; // owned; null without the scripted screen
};

} // namespace Zelto
