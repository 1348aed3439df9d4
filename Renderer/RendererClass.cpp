// The renderer as scripts see it: the class "_GDI" with its alignment constants, the loader's figures, the
// background colour, the drawing functions and the constructor `new`.
#include "Renderer/Zelto3DRenderer_GDI.h"
#include "Source/Script/ScriptClass.h"

namespace Zelto
{

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
    RegisterScriptClass(manager, "_GDI", ScriptConstructor<Renderer>, members);
}

} // namespace Zelto
