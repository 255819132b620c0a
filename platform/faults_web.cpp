// Machine faults in the browser. WebAssembly has no signals: a bad memory
// access beyond the heap, an integer division by zero, an unreachable
// instruction or an exhausted call stack stops the program with a trap that
// no C++ handler can catch. The page catches it and hands its message here,
// so the reporter writes the usual report before the page says the program
// has stopped. Nothing is translated into an exception.
#include <emscripten.h>

#include <cstring>

#include "faults.h"

namespace platform {

namespace {

FaultReporter g_reporter = nullptr;
bool g_reported = false;

struct TrapCode {
    const char* words;  // as the browser words the trap
    uint32_t code;
};

const TrapCode kTrapCodes[] = {
    {"divide by zero", FAULT_INT_DIVIDE_BY_ZERO},
    {"integer overflow", FAULT_INT_OVERFLOW},
    {"out of bounds", FAULT_ACCESS_VIOLATION},
    {"call stack", FAULT_STACK_OVERFLOW},
    {"too much recursion", FAULT_STACK_OVERFLOW},
    {"unaligned", FAULT_DATATYPE_MISALIGNMENT},
    {"unreachable", FAULT_ILLEGAL_INSTRUCTION},
};

uint32_t FaultCodeForTrap(const char* message) {
    for (const TrapCode& trap : kTrapCodes)
        if (std::strstr(message, trap.words)) return trap.code;
    return FAULT_ILLEGAL_INSTRUCTION;
}

}  // namespace

void InstallFaultTranslator(FaultTranslator, FaultReporter reporter) { g_reporter = reporter; }

void PrepareThreadForFaults() {}

}  // namespace platform

// Called by the page with the trap's message; reports once.
extern "C" EMSCRIPTEN_KEEPALIVE void velmor_report_trap(const char* message) {
    using namespace platform;
    if (g_reported || !g_reporter || !message) return;
    g_reported = true;
    g_reporter(FaultInfo{FaultCodeForTrap(message), 0, nullptr, nullptr});
}
