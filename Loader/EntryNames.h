// Entry names as Windows resolves them, so that a header cannot name one file twice: "./zelto3d.zob",
// "ZELTO3D.ZOB" and "zelto3d.zob" are the same file there, and a later entry would overwrite a checked one.
#pragma once

#include "Common/String.h"

namespace Zelto
{

// The file a relative name resolves to: both separators alike, empty and "." steps dropped, trailing dots
// and blanks of each step dropped, letters folded to upper case. Equal keys name the same file.
String EntryNameKey(const char16_t* name);

} // namespace Zelto
