// The host window's timer: Windows gets a 1 ms timer on the window; on Linux the host keeps time itself.
#pragma once

namespace Zelto
{

void StartWindowTimer(void* window);

} // namespace Zelto
