#include "Renderer/PreviewRenderer.h"

#include "Source/Script/IScriptManager.h"

namespace Zelto
{

namespace
{

// A panel that darkens the screen beneath it so that the text stays readable on any background.
const uint32_t PanelColour = 0xE8200808, TitleColour = 0xFFFF6B6B, TextColour = 0xFFF0F0F0;
const int32_t Margin = 12;
const float TitleSize = 18.0f, TextSize = 13.0f;
const char16_t ErrorFontFamily[] = u"DejaVu Sans Mono"; // the generic family stands in where it is missing

// Tracebacks indent with tabs, which fonts draw as boxes or not at all.
String WithoutTabs(const char16_t* text)
{
    String shown;
    for (const char16_t* at = text; *at != u'\0'; ++at)
        shown.Append(*at == u'\t' ? u"  " : at, *at == u'\t' ? 2 : 1);
    return shown;
}

} // namespace

PreviewRenderer::PreviewRenderer(const LoadingFigures* figures, void* window)
    : Zelto3DRenderer_GDI(figures, window)
{
}

PreviewRenderer::~PreviewRenderer()
{
    Drawing::FreeFont(mTitleFont);
    Drawing::FreeFont(mTextFont);
}

void PreviewRenderer::ShowError(const String& text)
{
    mError = WithoutTabs(text.Text());
    if (mError.IsEmpty() || mTextFont != nullptr)
        return;
    mTitleFont = Drawing::MakeFont(ErrorFontFamily, TitleSize);
    mTextFont = Drawing::MakeFont(ErrorFontFamily, TextSize);
}

void PreviewRenderer::CallRenderFunction()
{
    Zelto3DRenderer_GDI::CallRenderFunction();
    // The base has dropped a render function that failed; its error stays on the frames.
    if (renderCallback != 0)
        return;
    if (IScriptManager* manager = GetScriptManager())
    {
        const char16_t* error = u"";
        manager->GetLastErrorText(&error);
        if (error[0] != u'\0')
        {
            String shown(u"in the render function: ");
            shown.Append(error);
            ShowError(shown);
        }
    }
}

void PreviewRenderer::DrawOverFrame()
{
    if (mError.IsEmpty() || graphics == nullptr)
        return;
    int32_t width = 0, height = 0;
    Drawing::ClientSize(window, width, height);
    Drawing::FillRectangle(graphics, 0, 0, width, height, PanelColour);
    const float titleHeight = TitleSize * 1.6f;
    if (mTitleFont != nullptr)
        Drawing::DrawTextBox(graphics, mTitleFont, u"Script error", float(Margin), float(Margin),
                             float(width - 2 * Margin), titleHeight, Drawing::Align::Near,
                             Drawing::Align::Near, TitleColour);
    if (mTextFont != nullptr)
        Drawing::DrawTextBox(graphics, mTextFont, mError.Text(), float(Margin), float(Margin) + titleHeight,
                             float(width - 2 * Margin), float(height - 2 * Margin) - titleHeight,
                             Drawing::Align::Near, Drawing::Align::Near, TextColour);
}

} // namespace Zelto
