// The base of every host object visible to scripts. A bound object is one script table in the current state;
// once a script received that table, the script collector owns the object and deletes it when the table is
// unreachable (as it is once the manager closes the state), unless the host locked or held it.
#pragma once

#include "Common/Queue.h"

#include <cstdint>

struct lua_NativeBlock;
struct lua_State;

namespace Zelto
{

// What the script manager keeps of a bound object.
struct ObjectBinding
{
    int32_t anchored = 1;   // 0 once a script received the object and the anchor entry went
    int32_t ownTable = 0;   // 1: script fields live in a table of the object's own, behind every write
    uint32_t lockCount = 0; // nonzero: the collector keeps the object
    Queue<int32_t> held;    // registry references to the object table, oldest first
    lua_NativeBlock* block = nullptr; // the object table's native block, cleared at unbinding
    const void* classKey = nullptr; // its class metatable's native block: methods of other classes refuse it
    // The state of the object table and the holds; null once the manager let it go.
    lua_State* state = nullptr;
};

class ScriptObject
{
public:
    // Binds the object under the script class `className` (when a script manager exists).
    explicit ScriptObject(const char* className, int32_t ownTable = 0);
    virtual ~ScriptObject(); // unbinds
    ScriptObject(const ScriptObject&) = delete;
    ScriptObject& operator=(const ScriptObject&) = delete;

    ObjectBinding* binding = nullptr; // null when not bound
    int32_t tag = 0;                  // the host's own
    int32_t callState = 0;            // 2 while a script runs one of the object's methods
};

} // namespace Zelto
