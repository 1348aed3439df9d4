// The preview launch mode: a host shows a loading screen to its author without a server or a package. The
// screen runs from the script the host names, again at every naming (the host's live reload), reads the
// figures the host simulates, and shows a script's error over its frames.
#include "Loader/Zelto3DLoader_Flash.h"

#include "Common/DataBuffer.h"
#include "Common/Log.h"
#include "Renderer/PreviewRenderer.h"
#include "Source/Common/StringEncoding.h"
#include "Source/Common/StringFormatter.h"
#include "Source/Platform/Decompress.h"
#include "Source/Platform/File.h"
#include "Source/Script/IScriptManager.h"

#include <cstdlib>
#include <string>

namespace Zelto
{

bool Zelto3DLoader_Flash::PreviewSetup(const String& key, const String& value)
{
    if (key.EqualsNoCase(u"previewscript"))
        StartPreviewScreen(value);
    else if (key.EqualsNoCase(u"previewfigures"))
        SetPreviewFigures(value);
    else
        return false;
    return true;
}

void Zelto3DLoader_Flash::StartPreviewScreen(const String& scriptName)
{
    CloseLoadingScreen(); // the screen before, with its script state, fonts and images
    IScriptManager* manager = OpenScriptScreen(true);
    if (manager == nullptr)
        return;
    auto* preview = static_cast<PreviewRenderer*>(renderer);
    DataBuffer script;
    if (!LoadFile(script, scriptName.Text()) || script.Size() == 0)
    {
        String error = Format(u"cannot read the script \"%ls\"", scriptName.Text());
        LogError(u"[Loader] Preview: %ls", error.Text());
        preview->ShowError(error);
        return;
    }
    if (!Unpack(script))
    {
        preview->ShowError(Format(u"the script \"%ls\" does not unpack", scriptName.Text()));
        return;
    }
    // As a real run starts its screen: text only, within the same time.
    String error = preview->RunScreenScript(script);
    preview->ShowError(error); // empty when the script ran: the frames show no error
    PrintTrace(u"[Loader] Preview: \"%ls\" started%ls", scriptName.Text(),
               error.IsEmpty() ? u"" : u" with an error");
}

namespace
{

// A count or size as the loader keeps it: figures beyond its range stand at its ends.
int32_t Whole(double number)
{
    const double largest = 2147483647.0;
    return number >= largest ? int32_t(largest) : number <= -largest ? -int32_t(largest) : int32_t(number);
}

} // namespace

// Six numbers apart by blanks, in the order of the loader's own figures; missing ones read as 0.
void Zelto3DLoader_Flash::SetPreviewFigures(const String& figures)
{
    std::string text = StringToUtf8(figures.Text());
    const char* at = text.c_str();
    double numbers[6] = {};
    for (double& number : numbers)
    {
        char* end = nullptr;
        number = std::strtod(at, &end);
        if (end == at)
            break;
        at = end;
    }
    progress = float(numbers[0]);
    speed = float(numbers[1]);
    resCount = Whole(numbers[2]);
    finishCount = Whole(numbers[3]);
    resSize = Whole(numbers[4]);
    finishSize = Whole(numbers[5]);
}

} // namespace Zelto
