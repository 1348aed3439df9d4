// The loader's states; the number is also the report parameter "sg".
#pragma once

#include <cstdint>

namespace Zelto
{

#define ZELTO_LOADER_STATES(X)                                                                               \
    X(Idle, 0)                                                                                               \
    X(ServerList, 1)                                                                                         \
    X(ServerListReady, 2)                                                                                    \
    X(HeaderDownload, 3)                                                                                     \
    X(FileSync, 4)                                                                                           \
    X(EngineLoading, 5)                                                                                      \
    X(Running, 6)

enum LoaderState : int32_t
{
#define ZELTO_STATE_ENUM(name, value) name = value,
    ZELTO_LOADER_STATES(ZELTO_STATE_ENUM)
#undef ZELTO_STATE_ENUM
};

} // namespace Zelto
