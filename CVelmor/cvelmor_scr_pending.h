// An engine exception raised inside a native function that a script called
// waits here while the interpreter unwinds its own frames.
#pragma once

#include <cstdint>

struct lua_State;

// After a failed protected call: rethrows the kept engine exception if there
// is one, otherwise throws the script error (type 4) with the interpreter's
// message and `result` as its code. The stack is emptied either way.
[[noreturn]] void ThrowScriptError(lua_State* L, int result, const char* file, uint32_t line);

// Raises the kept engine exception, if there is one, after a protected call
// that succeeded anyway; nothing kept outlives the call that kept it.
void RethrowPendingEngineError(lua_State* L);

// Replaces the script-visible protected calls (pcall, xpcall,
// coroutine.resume) with versions that let a kept engine error through.
void GuardProtectedCalls(lua_State* L);
