// Where bytes go that arrive in pieces, in order (a download's body, say), for a receiver that handles them
// on the way instead of keeping them whole.
#pragma once

#include <cstdint>

namespace Zelto
{

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // False refuses these bytes and any that would follow: the sender stops sending.
    virtual bool Take(const uint8_t* bytes, uint32_t count) = 0;
};

} // namespace Zelto
