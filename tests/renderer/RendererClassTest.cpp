// The renderer through its script class "_GDI": how the script's values reach the drawing, chained calls,
// the render function's replacement and removal, and a render function that fails.
#include "RendererFixture.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Script/IScriptManager.h"

#include <string>

namespace Zelto
{

namespace
{

int recordedErrors = 0;
int32_t CountError(const char16_t*)
{
    ++recordedErrors;
    return 0;
}

class RendererClassTest : public RendererFixture
{
protected:
    // A script manager with the class, and a renderer bound to it as "_gdi" (bound at its construction, so
    // made after the manager).
    void SetUp() override
    {
        manager = GetScriptManager();
        ASSERT_NE(manager, nullptr);
        RegisterRendererClass(*manager);
        manager->SetErrorHandler(CountError);
        recordedErrors = 0;
        scripted = new Zelto3DRenderer_GDI(nullptr, window.Handle());
        Variable object(u"", VariablePointer);
        object.value.pointer = static_cast<ScriptObject*>(scripted);
        manager->SetFieldWide(nullptr, u"_gdi", object);
    }

    void TearDown() override
    {
        delete scripted;
        DeleteScriptMadeRenderers();
        if (manager != nullptr)
            manager->Release();
    }

    // The chunk's result as text ("" for anything else); EXPECTs that it ran.
    std::u16string Run(const char16_t* script)
    {
        Variable out;
        manager->RunString(out, script, u"test", 1);
        const char16_t* error = u"";
        manager->GetLastErrorText(&error);
        EXPECT_EQ(std::u16string(error), u"");
        return out.ValueType() == VariableText && out.value.text != nullptr ? out.value.text : u"";
    }

    Frame RenderScripted()
    {
        scripted->RenderFrame();
        return Frame(window);
    }

    IScriptManager* manager = nullptr;
    Zelto3DRenderer_GDI* scripted = nullptr;
};

TEST_F(RendererClassTest, CoordinatesRoundHalfToEvenWhileHandlesAndColoursTruncate)
{
    Run(uR"(
        font = _gdi:loadFont("DejaVu Sans", 12)
        _gdi:onRender(function()
            _gdi:fillRect(0.5, 1.5, 2.5, 3.5, 4278255360.9) -- (0, 2) to (2, 4), 0xFF00FF00
            _gdi:fillRect(10, 10, 12, 12, -16776961.5)     -- 0xFF0000FF
            heights = string.format("%d %d %d", _gdi:getTextHeight(font + 0.9), _gdi:getTextHeight(font),
                                    _gdi:getTextHeight(font + 1))
        end))");
    Frame frame = RenderScripted();
    EXPECT_EQ(frame.At(0, 2), Green);
    EXPECT_EQ(frame.At(1, 3), Green);
    EXPECT_EQ(frame.At(2, 2), Black);
    EXPECT_EQ(frame.At(1, 1), Black);
    EXPECT_EQ(frame.At(0, 4), Black);
    EXPECT_EQ(frame.At(11, 11), Blue);

    std::u16string heights = Run(u"return heights");
    size_t space = heights.find(u' ');
    ASSERT_NE(space, std::u16string::npos);
    EXPECT_EQ(heights.substr(space + 1), heights.substr(0, space) + u" 0"); // 1.9 is font 1; 2 is no font
    EXPECT_NE(heights.substr(0, space), u"0");
}

TEST_F(RendererClassTest, BackgroundColourReadsBackAsSigned32Bits)
{
    const struct
    {
        const char16_t* set;
        const char16_t* read;
    } cases[] = {
        {u"_gdi.bgColor = 4278190080", u"-16777216"},
        {u"_gdi.bgColor = -16777216", u"-16777216"},
        {u"_gdi.bgColor = 0x7F336699", u"2134075033"},
    };
    for (const auto& colour : cases)
    {
        SCOPED_TRACE(StringToUtf8(colour.set));
        Run(colour.set);
        EXPECT_EQ(Run(u"return tostring(_gdi.bgColor)"), colour.read);
    }
    Run(u"_gdi.bgColor = -16777216");
    EXPECT_EQ(scripted->bgColor, 0xFF000000u);
}

TEST_F(RendererClassTest, DrawingFunctionsReturnTheObjectSoCallsChain)
{
    Run(uR"(_gdi:onRender(function()
        _gdi:fillRect(0, 0, 20, 20, 0xFFFF0000):drawLine(0, 30, 40, 30, 0xFF00FF00):drawRect(50, 50, 60, 60, -1)
    end))");
    Frame frame = RenderScripted();
    EXPECT_EQ(frame.At(10, 10), Red);
    EXPECT_EQ(frame.At(20, 30), Green);
    EXPECT_EQ(frame.At(50, 55), White);
}

TEST_F(RendererClassTest, OnRenderWithNilLeavesTheBackground)
{
    Run(uR"(_gdi.bgColor = 0xFF336699
        _gdi:onRender(function() _gdi:fillRect(0, 0, 200, 120, 0xFFFF0000) end))");
    EXPECT_EQ(RenderScripted().At(100, 60), Red);
    Run(u"_gdi:onRender(nil)");
    EXPECT_EQ(scripted->renderCallback, 0);
    EXPECT_TRUE(RenderScripted().AllAre(0xFF336699));
}

TEST_F(RendererClassTest, DrawImageWithFourArgumentsTakesTheImagesHeight)
{
    // The program embeds a 6 x 4 blue picture as "EMBEDDED-PICTURE.PNG".
    Run(uR"(picture = _gdi:loadImage("embedded-picture.png")
        _gdi:onRender(function() _gdi:drawImage(picture, 10.5, 0, 8) end))");
    Frame frame = RenderScripted();
    EXPECT_EQ(frame.At(10, 0), Blue); // 10.5 rounds to 10
    EXPECT_EQ(frame.At(9, 0), Black);
    EXPECT_EQ(frame.At(17, 3), Blue); // 8 wide, mirrored beyond the picture's 6
    EXPECT_EQ(frame.At(18, 0), Black);
    EXPECT_EQ(frame.At(12, 4), Black); // the picture's own 4 rows
}

TEST_F(RendererClassTest, FailingRenderFunctionIsReportedOnceAndDroppedUntilReplaced)
{
    Run(uR"(_gdi.bgColor = 0xFF336699
        _gdi:onRender(function() _gdi:fillRect(0, 0, 10, 10, 0xFFFF0000); error("the screen broke") end))");
    EXPECT_EQ(RenderScripted().At(5, 5), Red); // drawn up to the error
    EXPECT_EQ(recordedErrors, 1);
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_TRUE(RenderScripted().AllAre(0xFF336699));
    EXPECT_EQ(recordedErrors, 1);

    Run(u"_gdi:onRender(function() _gdi:fillRect(0, 0, 10, 10, 0xFF00FF00) end)");
    EXPECT_EQ(RenderScripted().At(5, 5), Green);
}

TEST_F(RendererClassTest, RenderersMadeByScriptsAreDeletedWhenTheScreenCloses)
{
    Run(uR"(kept = _GDI.new()
        kept:loadFont("DejaVu Sans", 12)
        local dropped = _GDI.new()
        alsoKept = { _GDI.new() })");
    manager->CollectGarbage(); // deletes the one no script refers to
    EXPECT_EQ(DeleteScriptMadeRenderers(), 2u);
    EXPECT_EQ(DeleteScriptMadeRenderers(), 0u);
}

} // namespace
} // namespace Zelto
