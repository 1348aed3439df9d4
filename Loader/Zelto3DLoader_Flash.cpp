#include "Loader/Zelto3DLoader_Flash.h"

#include "Common/DataBuffer.h"
#include "Common/Variable.h"
#include "Renderer/PreviewRenderer.h"
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Script/IScriptManager.h"
#include "Source/Script/LuaScriptManager.h"
#include "ZeltoLoader.h"

namespace Zelto
{

namespace
{

// A loading-screen script's bytes: the embedded resource of that name, else the file in the current
// directory. False when neither gives a byte.
bool FetchScreenScript(const char16_t* name, DataBuffer& buffer)
{
    buffer.Reset();
    if (LoadEmbeddedResource(name, buffer) && buffer.Size() > 0)
        return true;
    buffer.Reset();
    return LoadFile(buffer, name) && buffer.Size() > 0;
}

} // namespace

Zelto3DLoader_Flash::Zelto3DLoader_Flash(int32_t launchMode, void* hwnd)
    : Zelto3DLoader(launchMode, hwnd), previewing(launchMode == ZELTO_PREVIEW_LAUNCH_MODE)
{
    if (previewing)
        return; // the screen starts from the script the host names
    flashHost = new FlashHost(this);
    if (flashHost->ControlCreated())
    {
        // Should neither movie open, the empty control stays: the loader then shows no loading screen.
        if (!flashHost->OpenMovie(u"loader.swf"))
            flashHost->OpenMovie(u"loading.swf");
        return;
    }
    delete flashHost;
    flashHost = nullptr;
    StartScriptScreen();
}

Zelto3DLoader_Flash::~Zelto3DLoader_Flash()
{
    CloseLoadingScreen();
}

IScriptManager* Zelto3DLoader_Flash::OpenScriptScreen(bool preview)
{
    IScriptManager* manager = GetScriptManager();
    if (manager == nullptr)
        return nullptr;
    RegisterRendererClass(*manager);
    manager->Start();
    const auto* figures = static_cast<const LoadingFigures*>(this);
    renderer = preview ? new PreviewRenderer(figures, hwnd) : new Zelto3DRenderer_GDI(figures, hwnd);
    // The loader owns its renderer: a script that lets go of "_gdi" must not hand it to the collector.
    manager->LockObject(renderer);
    Variable object(u"", VariablePointer);
    object.value.pointer = static_cast<ScriptObject*>(renderer);
    manager->SetFieldWide(nullptr, u"_gdi", object);
    return manager;
}

void Zelto3DLoader_Flash::StartScriptScreen()
{
    IScriptManager* manager = OpenScriptScreen(false);
    if (manager == nullptr)
        return;
    DataBuffer script;
    if (!FetchScreenScript(u"loader.lua", script) && !FetchScreenScript(u"loading.lua", script))
        return;
    if (!Unpack(script))
        return; // logged by Unpack
    renderer->RunScreenScript(script);
}

int32_t Zelto3DLoader_Flash::Message(const LoaderMessage& message)
{
    const uint32_t windowSize = 5;
    if (state != Running && message.msg == windowSize && flashHost != nullptr)
    {
        // The size message packs the new client size as two signed 16-bit halves.
        auto width = static_cast<int16_t>(message.lParam & 0xffff);
        auto height = static_cast<int16_t>((message.lParam >> 16) & 0xffff);
        flashHost->Resize(width, height);
    }
    return Zelto3DLoader::Message(message);
}

void Zelto3DLoader_Flash::Update(uint32_t elapsedMs)
{
    // A preview has no package to load: its figures are the host's.
    if (!previewing)
        Zelto3DLoader::Update(elapsedMs);
    if (state == Running)
        return;
    if (flashHost != nullptr)
        flashHost->Tick();
    else if (renderer != nullptr)
        renderer->AdvanceAnimations(elapsedMs);
}

void Zelto3DLoader_Flash::Render()
{
    // The movie control paints itself.
    if (state == Running)
        Zelto3DLoader::Render();
    else if (flashHost == nullptr && renderer != nullptr)
        renderer->RenderFrame();
}

void Zelto3DLoader_Flash::Setup(const String& key, const String& value)
{
    if (previewing && PreviewSetup(key, value))
        return;
    // "loadervar" pairs are movie variables: they never reach the base, and without a movie they go nowhere.
    if (key.EqualsNoCase(u"loadervar"))
    {
        if (flashHost != nullptr)
            flashHost->SetMovieVariables(value);
        return;
    }
    // With a movie, the server list is the movie's to show; it answers with the chosen keys.
    if (key.EqualsNoCase(u"serverdata") && flashHost != nullptr)
    {
        flashHost->SetMovieVariable(u"ServerData", value);
        return;
    }
    Zelto3DLoader::Setup(key, value);
}

void Zelto3DLoader_Flash::CloseLoadingScreen()
{
    delete flashHost;
    flashHost = nullptr;
    delete renderer; // unbinds it while the manager still exists
    renderer = nullptr;
    DeleteScriptMadeRenderers();
    if (LuaScriptManager* manager = LuaScriptManager::Instance())
    {
        manager->Shutdown();
        manager->Release();
    }
}

} // namespace Zelto
