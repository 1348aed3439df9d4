// zoa-pack --list: a package's header in readable form, with the packing of each entry read from its bytes.
#pragma once

#include "Common/String.h"

namespace Zelto
{

// Appends the listing to `text`, one line per item. True when the loader would accept the package: the file
// holds the 1132 bytes it fetches, the magic and key digest are right, every entry lies inside the file and
// the file's length is the one the header announces.
bool ListPackage(const char16_t* path, String& text);

} // namespace Zelto
