// The renderer as a preview runs it for the screen's author: it keeps the script's last error (from its start
// or from its render function) and draws it, message and traceback, over every frame until the screen is
// started again.
#pragma once

#include "Common/String.h"
#include "Renderer/Zelto3DRenderer_GDI.h"

namespace Zelto
{

class PreviewRenderer : public Zelto3DRenderer_GDI
{
public:
    PreviewRenderer(const LoadingFigures* figures, void* window);
    ~PreviewRenderer() override;

    void ShowError(const String& text); // empty: nothing is drawn over the frames
    const String& Error() const { return mError; }

protected:
    void CallRenderFunction() override;
    void DrawOverFrame() override;

private:
    String mError;
    Drawing::Font* mTitleFont = nullptr; // made at the first error shown
    Drawing::Font* mTextFont = nullptr;
};

} // namespace Zelto
