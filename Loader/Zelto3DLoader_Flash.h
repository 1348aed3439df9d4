// The loader with its loading screen. The screen (a Flash movie, or a script drawing through the renderer)
// lives until the engine takes over the window. Until a screen can be made, the loader runs without one.
#pragma once

#include "Loader/Zelto3DLoader.h"

namespace Zelto
{

class Zelto3DRenderer_GDI;

class Zelto3DLoader_Flash : public Zelto3DLoader
{
public:
    Zelto3DLoader_Flash(int32_t launchMode, void* hwnd);
    ~Zelto3DLoader_Flash() override;

    void Update(uint32_t elapsedMs) override;
    void Render() override;
    void Setup(const String& key, const String& value) override;
    void CloseLoadingScreen() override;

private:
    // The screen drawn by "loader.lua" (else "loading.lua") through the renderer: for a host that shows no
    // movie.
    void StartScriptScreen();

    Zelto3DRenderer_GDI* renderer = nullptr; // owned; null without the scripted screen
};

} // namespace Zelto
