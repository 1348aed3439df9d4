// The control object that ATL's container creates by its class identifier.
#pragma once

#include <windows.h>

namespace TestControl
{

HRESULT CreateControl(REFIID interfaceId, void** object);

} // namespace TestControl
