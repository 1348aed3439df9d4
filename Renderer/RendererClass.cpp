// The renderer as scripts see it: the class "_GDI" with its alignment constants, the loader's figures, the
// background colour, the drawing functions and the constructor `new`.
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "Source/Script/ScriptClass.h"

#include <algorithm>
#include <vector>

namespace Zelto
{

namespace
{

// A renderer made by a script with `_GDI.new()`. The collector deletes it once no script refers to it; one
// still referred to (a global) when the screen closes is deleted by the screen, before the manager closes
// the state (which would delete it as well).
class ScriptMadeRenderer : public Zelto3DRenderer_GDI
{
public:
    ScriptMadeRenderer() { Live().push_back(this); }
    ~ScriptMadeRenderer() override
    {
        std::vector<ScriptMadeRenderer*>& live = Live();
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
    }

    // Screens run on the host's thread, one at a time.
    static std::vector<ScriptMadeRenderer*>& Live()
    {
        static std::vector<ScriptMadeRenderer*> live;
        return live;
    }
};

} // namespace

uint32_t DeleteScriptMadeRenderers()
{
    uint32_t deleted = 0;
    for (std::vector<ScriptMadeRenderer*>& live = ScriptMadeRenderer::Live(); !live.empty(); ++deleted)
        delete live.back(); // unbinds it, and takes it off the list
    return deleted;
}

void RegisterRendererClass(IScriptManager& manager)
{
    using Renderer = Zelto3DRenderer_GDI;
    static const ScriptMember members[] = {
        ScriptConstant("hLeft", 0),
        ScriptConstant("hRight", 2),
        ScriptConstant("hCenter", 1),
        ScriptConstant("vTop", 0),
        ScriptConstant("vBottom", 32),
        ScriptConstant("vCenter", 16),
        ScriptReadOnly<&Renderer::w>("w"),
        ScriptReadOnly<&Renderer::h>("h"),
        ScriptReadOnly<&Renderer::progress>("progress"),
        ScriptReadOnly<&Renderer::speed>("speed"),
        ScriptReadOnly<&Renderer::resCount>("resCount"),
        ScriptReadOnly<&Renderer::finishCount>("finishCount"),
        ScriptReadOnly<&Renderer::resSize>("resSize"),
        ScriptReadOnly<&Renderer::finishSize>("finishSize"),
        ScriptProperty<&Renderer::getBgColor, &Renderer::setBgColor>("bgColor"),
        ScriptMethod<&Renderer::drawLine>("drawLine"),
        ScriptMethod<&Renderer::drawRect>("drawRect"),
        ScriptMethod<&Renderer::fillRect>("fillRect"),
        ScriptMethod<&Renderer::loadFont>("loadFont"),
        ScriptMethod<&Renderer::drawText>("drawText"),
        ScriptMethod<&Renderer::getTextHeight>("getTextHeight"),
        ScriptMethod<&Renderer::getTextWidth>("getTextWidth"),
        ScriptMethod<&Renderer::loadImage>("loadImage"),
        ScriptMethod<&Renderer::drawImageOfScript>("drawImage"),
        ScriptMethod<&Renderer::getImageHeight>("getImageHeight"),
        ScriptMethod<&Renderer::getImageWidth>("getImageWidth"),
        ScriptMethod<&Renderer::onRender>("onRender"),
    };
    RegisterScriptClass(manager, "_GDI", ScriptConstructor<ScriptMadeRenderer>, members);
}

} // namespace Zelto
