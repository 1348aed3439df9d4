// A renderer whose render function is a C++ function instead of a script's, for drawing without a script.
#pragma once

#include "Renderer/Zelto3DRenderer_GDI.h"

#include <functional>

namespace Zelto
{

class DrawnRenderer : public Zelto3DRenderer_GDI
{
public:
    using Zelto3DRenderer_GDI::Zelto3DRenderer_GDI;

    std::function<void()> callRenderFunction; // called while `renderCallback` is set

protected:
    void CallRenderFunction() override
    {
        if (callRenderFunction)
            callRenderFunction();
    }
};

} // namespace Zelto
