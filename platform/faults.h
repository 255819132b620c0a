// Machine faults (bad memory access, division by zero, illegal instructions,
// stack overflow), delivered as signals or as structured exceptions, are
// turned into calls of a translator that receives the fault's code in the
// desktop system's numbering.
//
// The translator's exception can only unwind from frames built with unwind
// tables for every instruction: the program's own code. A fault elsewhere (a
// library's code, a thread the program did not start, a signal sent by
// someone) goes to a reporter instead, called inside the signal handler, and
// the process ends there.
#pragma once

#include <cstdint>

namespace platform {

// Codes of the machine faults, as the reports show them.
enum : uint32_t {
    FAULT_DATATYPE_MISALIGNMENT = 0x80000002u,
    FAULT_BREAKPOINT = 0x80000003u,
    FAULT_SINGLE_STEP = 0x80000004u,
    FAULT_ACCESS_VIOLATION = 0xC0000005u,
    FAULT_IN_PAGE_ERROR = 0xC0000006u,
    FAULT_INVALID_SYSTEM_SERVICE = 0xC000001Cu,
    FAULT_ILLEGAL_INSTRUCTION = 0xC000001Du,
    FAULT_NONCONTINUABLE_EXCEPTION = 0xC0000025u,
    FAULT_INVALID_DISPOSITION = 0xC0000026u,
    FAULT_ARRAY_BOUNDS_EXCEEDED = 0xC000008Cu,
    FAULT_FLT_DENORMAL_OPERAND = 0xC000008Du,
    FAULT_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
    FAULT_FLT_INEXACT_RESULT = 0xC000008Fu,
    FAULT_FLT_INVALID_OPERATION = 0xC0000090u,
    FAULT_FLT_OVERFLOW = 0xC0000091u,
    FAULT_FLT_STACK_CHECK = 0xC0000092u,
    FAULT_FLT_UNDERFLOW = 0xC0000093u,
    FAULT_INT_DIVIDE_BY_ZERO = 0xC0000094u,
    FAULT_INT_OVERFLOW = 0xC0000095u,
    FAULT_PRIV_INSTRUCTION = 0xC0000096u,
    FAULT_STACK_OVERFLOW = 0xC00000FDu,
};

// What the translator is given: the fault code, the address it concerns
// and the instruction that raised it.
struct FaultInfo {
    uint32_t code;
    int signal;
    const void* address;
    const void* instruction;
};

// A fault the translator chose not to turn into an exception of its own
// travels on as this.
struct UntranslatedFault {
    uint32_t code;
};

// The translator may throw; if it returns, UntranslatedFault is thrown from
// the faulting point instead.
using FaultTranslator = void (*)(uint32_t code, const FaultInfo& info);

// Writes what it can about a fault that cannot become an exception. It runs
// inside the signal handler, on any thread: async-signal-safe calls only
// (no allocation, no stdio, no locks, no exceptions). A fault inside it ends
// the process at once.
using FaultReporter = void (*)(const FaultInfo& info);

// The process's exit status after a fault the reporter was given.
constexpr int kFaultExitStatus = 1;

// Installs the signal handlers (on an alternate stack, so stack overflow is
// caught too). The calling thread becomes the one whose faults in the
// program's own code are translated. Calling it again replaces both
// functions.
void InstallFaultTranslator(FaultTranslator translator, FaultReporter reporter);

// Gives the calling thread a signal stack of its own, so that its stack
// overflowing is reported too. For threads a library starts (the audio
// device's); cheap after the first call on a thread.
void PrepareThreadForFaults();

#if !defined(_WIN32)
// The code a signal maps to; exposed for tests.
uint32_t FaultCodeForSignal(int signal, int siCode, const void* address);
#endif

}  // namespace platform
