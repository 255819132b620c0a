#include "faults.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

FaultTranslator g_translator = nullptr;
uintptr_t g_stackLow = 0;   // lowest address the main stack may reach
uintptr_t g_stackHigh = 0;  // its top

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

void RememberStackBounds() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* base = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &base, &size) == 0) {
        g_stackLow = reinterpret_cast<uintptr_t>(base);
        g_stackHigh = g_stackLow + size;
    }
    pthread_attr_destroy(&attr);
}

bool IsStackOverflow(const void* address) {
    if (g_stackLow == 0) return false;
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    const uintptr_t guard = 256 * 1024;  // the guard area below the stack
    return a + guard >= g_stackLow && a < g_stackLow + 4096;
}

// Runs on the alternate stack. Leaving it by an exception is what the
// unwinder supports for synchronous faults when code is compiled with
// non-call exceptions; the signal is unblocked first so that a later fault
// is caught again.
void OnFaultSignal(int sig, siginfo_t* info, void*) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);

    const FaultInfo fault{FaultCodeForSignal(sig, info->si_code, info->si_addr), sig, info->si_addr};
    if (g_translator) g_translator(fault.code, fault);
    throw UntranslatedFault{fault.code};
}

}  // namespace

uint32_t FaultCodeForSignal(int signal, int siCode, const void* address) {
    switch (signal) {
        case SIGSEGV:
            return IsStackOverflow(address) ? FAULT_STACK_OVERFLOW : FAULT_ACCESS_VIOLATION;
        case SIGBUS:
            return siCode == BUS_ADRALN ? FAULT_DATATYPE_MISALIGNMENT : FAULT_IN_PAGE_ERROR;
        case SIGFPE:
            switch (siCode) {
                case FPE_INTDIV: return FAULT_INT_DIVIDE_BY_ZERO;
                case FPE_INTOVF: return FAULT_INT_OVERFLOW;
                case FPE_FLTDIV: return FAULT_FLT_DIVIDE_BY_ZERO;
                case FPE_FLTOVF: return FAULT_FLT_OVERFLOW;
                case FPE_FLTUND: return FAULT_FLT_UNDERFLOW;
                case FPE_FLTRES: return FAULT_FLT_INEXACT_RESULT;
                case FPE_FLTSUB: return FAULT_ARRAY_BOUNDS_EXCEEDED;
                default: return FAULT_FLT_INVALID_OPERATION;
            }
        case SIGILL:
            return siCode == ILL_PRVOPC || siCode == ILL_PRVREG ? FAULT_PRIV_INSTRUCTION
                                                                 : FAULT_ILLEGAL_INSTRUCTION;
        case SIGTRAP:
            return siCode == TRAP_TRACE ? FAULT_SINGLE_STEP : FAULT_BREAKPOINT;
        case SIGSYS:
            return FAULT_INVALID_SYSTEM_SERVICE;
        default:
            return 0;
    }
}

void InstallFaultTranslator(FaultTranslator translator) {
    g_translator = translator;
    static bool installed = false;
    if (installed) return;
    installed = true;

    RememberStackBounds();
    static const size_t kAltStackSize = 64 * 1024;
    // The signal stack lives as long as the process; kept here, it is
    // reachable memory rather than a leak.
    static void* const s_altStackMemory = std::malloc(kAltStackSize);
    stack_t altStack{};
    altStack.ss_sp = s_altStackMemory;
    altStack.ss_size = kAltStackSize;
    if (altStack.ss_sp) sigaltstack(&altStack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = OnFaultSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : kFaultSignals) sigaction(sig, &action, nullptr);
}

}  // namespace platform
