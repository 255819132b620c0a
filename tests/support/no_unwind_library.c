#include "no_unwind_library.h"

void no_unwind_store(int* target, int value) { *target = value; }

void no_unwind_call(void (*function)(void)) { function(); }

int no_unwind_recurse(volatile char* caller) {
    volatile char frame[512];
    frame[0] = (char)(caller ? caller[0] + 1 : 0);
    /* Not a tail call: the result is used after it returns. */
    return no_unwind_recurse(frame) + frame[1];
}
