// A C library built without unwind tables, as many system libraries are:
// no exception can unwind out of its frames.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Stores `value` at `target`.
void no_unwind_store(int* target, int value);

// Calls `function`.
void no_unwind_call(void (*function)(void));

// Calls itself without end, each call with a frame of its own.
int no_unwind_recurse(volatile char* caller);

#ifdef __cplusplus
}
#endif
