/*
** Extensions of our LuaJIT build, installed beside lua.h.
**
** Every table carries a peer (a second table consulted by non-raw reads after a miss, and its own peer after
** that, before "__index"), a native block (two pointer-sized words owned by the host, zero at creation, part of
** the table's allocation) and a clear callback (asked before the collector removes an entry of a weak table).
** One allocation hook per process sees interpreter memory change while a script function runs.
*/
#ifndef ZELTO_LUA_EXTENSIONS_H
#define ZELTO_LUA_EXTENSIONS_H

#include <stddef.h>
#include <stdint.h>

#include "lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The native block: lua_topointer on a table returns its address. */
typedef struct lua_NativeBlock {
  uintptr_t word[2];
} lua_NativeBlock;

/* Why a weak entry is about to go (the callback's flags). */
#define LUA_CLEAR_KEYDEAD 1u
#define LUA_CLEAR_VALUEDEAD 2u
/* Added to those when the entry goes now: the answer is ignored. */
#define LUA_CLEAR_FINAL 4u

/*
** Called by the collector, before it removes an entry of a weak table that has this callback, with the
** table's native block, and the entry's key and value each as a payload and a type (LUA_T*). A payload is what
** lua_topointer gives for the value: a light userdata's address, a table's native block, another collectable
** object's address; 0 for nil, booleans and numbers. Answer non-zero to let the entry go, 0 to keep it and
** everything it reaches for this cycle. An entry let go may still be kept through another one kept later, so
** the asking repeats until no entry is newly kept; then the callback is told of every entry that goes, with
** LUA_CLEAR_FINAL in the flags. Only that call is final: release what an entry stands for then, not before.
** The callback must not touch the state.
*/
typedef int32_t (*lua_ClearCallback)(lua_State *L, lua_NativeBlock *table, uintptr_t keyPayload, int keyType,
                                     uintptr_t valuePayload, int valueType, uint32_t flags);

/*
** Called on every allocation, reallocation and free of interpreter memory while a script function runs, with
** the size change in bytes (negative when shrinking or freeing), the running function's name ("" when unknown),
** its source without a leading "@", and its current line. It must not allocate interpreter memory.
*/
typedef void (*lua_AllocHook)(ptrdiff_t sizeChange, const char *name, const char *source, int line);

LUA_API void lua_getpeer(lua_State *L, int index);  /* pushes the table's peer, or nil */
LUA_API void lua_setpeer(lua_State *L, int index);  /* pops a table (or nil) and makes it the peer */
LUA_API void lua_setclearfunc(lua_State *L, int index, lua_ClearCallback callback);  /* NULL clears */
LUA_API void lua_rawsetfield(lua_State *L, int index, const char *name, int valueIndex);  /* raw, resets the metamethod cache */
LUA_API void lua_setallochook(lua_AllocHook hook);  /* process-wide; NULL clears */

#ifdef __cplusplus
}
#endif

#endif
