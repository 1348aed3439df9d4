// The frame delays of a GIF file, read from its block structure: the decoder we use on Linux reports delays
// already adjusted for display, while the loading screen wants the values the file states.
#pragma once

#include "Common/Array.h"

#include <cstdint>

namespace Zelto
{

// One value per image in the file, in hundredths of a second, from the graphic control extension before it
// (0 without one). False when the bytes are not a GIF or end before its first image; a file cut off later
// gives the images up to the cut.
bool ReadGifFrameDelays(const uint8_t* bytes, uint32_t size, Array<uint32_t>& delays);

} // namespace Zelto
