// The libraries a loading-screen script gets, narrowed so that its limits hold: it loads script text only
// (the interpreter runs compiled bytecode without verifying it), cannot turn the JIT back on (compiled loops
// never pass the time limit's hook) and reaches no part of the debug library beyond tracebacks and function
// information (no hooks to clear, no registry or upvalues that hold the unrestricted loaders).
#pragma once

struct lua_State;

namespace Zelto
{

void NarrowScreenLibraries(lua_State* state);

} // namespace Zelto
