// The server list: text from a server (JSON, though read only through two patterns) naming a default server
// number and, per server number, an array whose items 5, 6 and 7 are the package URL, the port and the
// address that the loader takes.
#pragma once

#include "Common/String.h"

namespace Zelto
{

struct ServerChoice
{
    String packageUrl;  // item 5 without surrounding double quotes; empty when the item is
    String engineParam; // "host|<item 7 without quotes>:<item 6>"; empty unless items 6 and 7 are both given
};

// False for a list without the default number, without the array of that number, or with fewer than eight
// items in it. A default number of more than 9 digits names no server.
bool ReadServerList(const String& text, ServerChoice& choice);

} // namespace Zelto
