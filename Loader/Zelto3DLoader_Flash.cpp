#include "Loader/Zelto3DLoader_Flash.h"

namespace Zelto
{

Zelto3DLoader_Flash::Zelto3DLoader_Flash(int32_t launchMode, void* hwnd) : Zelto3DLoader(launchMode, hwnd) {}

Zelto3DLoader_Flash::~Zelto3DLoader_Flash()
{
    CloseLoadingScreen();
}

void Zelto3DLoader_Flash::Setup(const String& key, const String& value)
{
    // "loadervar" pairs are movie variables: they never reach the base, and without a movie they go nowhere.
    if (key.EqualsNoCase(u"loadervar"))
        return;
    Zelto3DLoader::Setup(key, value);
}

void Zelto3DLoader_Flash::CloseLoadingScreen() {}

} // namespace Zelto
