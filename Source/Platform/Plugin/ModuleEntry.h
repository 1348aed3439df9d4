// What the plug-in does when the system loads and unloads it; called from the module entry routine.
#pragma once

namespace Zelto
{

void PluginAttached(void* module); // the plug-in's own module handle (null on Linux)
void PluginDetached();

} // namespace Zelto
