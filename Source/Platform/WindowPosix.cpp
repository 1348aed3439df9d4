#include "Source/Platform/Window.h"

namespace Zelto
{

void StartWindowTimer(void*) {}

} // namespace Zelto
