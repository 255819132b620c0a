#include "faults.h"

#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

FaultTranslator g_translator = nullptr;
FaultReporter g_reporter = nullptr;
pid_t g_translatedThread = 0;  // the thread whose faults may become exceptions
uintptr_t g_ownCodeLow = 0;    // the program's own machine code, built with
uintptr_t g_ownCodeHigh = 0;   // unwind tables for every instruction
// Lowest address this thread's stack may reach; 0 where it is not known
// (threads not prepared for faults).
thread_local uintptr_t t_stackLow = 0;

// The thread writing a fault report; 0 while none is.
std::atomic<pid_t> g_reportingThread{0};
// Set while the translator runs on this thread: a fault inside it is not
// translated again.
thread_local bool t_translating = false;

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
const size_t kAltStackSize = 64 * 1024;

void RememberStackLimit() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* base = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &base, &size) == 0) t_stackLow = reinterpret_cast<uintptr_t>(base);
    pthread_attr_destroy(&attr);
}

// The executable's own code: the engine and the game are linked into it, and
// everything built with the project's options has full unwind tables. The
// first object dl_iterate_phdr reports is the executable.
int FindExecutableCode(dl_phdr_info* info, size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
        const uintptr_t low = info->dlpi_addr + segment.p_vaddr;
        const uintptr_t high = low + segment.p_memsz;
        if (g_ownCodeLow == 0 || low < g_ownCodeLow) g_ownCodeLow = low;
        if (high > g_ownCodeHigh) g_ownCodeHigh = high;
    }
    return 1;
}

void RememberOwnCode() {
    if (g_ownCodeHigh == 0) dl_iterate_phdr(FindExecutableCode, nullptr);
}

bool IsStackOverflow(const void* address) {
    if (t_stackLow == 0) return false;
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    const uintptr_t guard = 256 * 1024;  // the guard area below the stack
    return a + guard >= t_stackLow && a < t_stackLow + 4096;
}

const void* FaultingInstruction(const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<const void*>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return nullptr;  // unknown: every fault is reported in place
#endif
}

// An exception may leave the handler only for a fault the processor raised
// (not a signal someone sent) in the program's own code on the translated
// thread: only there does every frame up to the entry point's handlers have
// the tables to unwind, and a handler to catch it.
bool MayThrow(const siginfo_t& info, const FaultInfo& fault) {
    if (t_translating || g_translatedThread != gettid() || info.si_code <= 0) return false;
    const uintptr_t pc = reinterpret_cast<uintptr_t>(fault.instruction);
    return pc >= g_ownCodeLow && pc < g_ownCodeHigh;
}

[[noreturn]] void ReportInPlaceAndExit(const FaultInfo& fault) {
    const pid_t self = gettid();
    pid_t none = 0;
    if (g_reportingThread.compare_exchange_strong(none, self)) {
        if (g_reporter) g_reporter(fault);
        _exit(kFaultExitStatus);
    }
    // The report itself faulted: what it wrote stays.
    if (none == self) _exit(kFaultExitStatus);
    // Another thread is writing its report and ends the process.
    for (;;) pause();
}

struct TranslatingGuard {
    TranslatingGuard() { t_translating = true; }
    ~TranslatingGuard() { t_translating = false; }
};

// Runs on the alternate stack. Leaving it by an exception is what the
// unwinder supports for synchronous faults when code is compiled with
// non-call exceptions; the signal is unblocked first so that a later fault
// is caught again.
void OnFaultSignal(int sig, siginfo_t* info, void* context) {
    const FaultInfo fault{FaultCodeForSignal(sig, info->si_code, info->si_addr), sig, info->si_addr,
                          FaultingInstruction(context)};
    if (!MayThrow(*info, fault)) ReportInPlaceAndExit(fault);

    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    {
        TranslatingGuard translating;
        if (g_translator) g_translator(fault.code, fault);
    }
    throw UntranslatedFault{fault.code};
}

void UseAltStack(void* memory) {
    stack_t altStack{};
    altStack.ss_sp = memory;
    altStack.ss_size = kAltStackSize;
    sigaltstack(&altStack, nullptr);
}

bool HasAltStack() {
    stack_t current{};
    return sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0;
}

// A signal stack that goes with its thread.
class ThreadAltStack {
public:
    ThreadAltStack() {
        RememberStackLimit();
        if (HasAltStack()) return;
        m_memory = std::malloc(kAltStackSize);
        if (m_memory) UseAltStack(m_memory);
    }
    ~ThreadAltStack() {
        if (!m_memory) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        std::free(m_memory);
    }
    ThreadAltStack(const ThreadAltStack&) = delete;
    ThreadAltStack& operator=(const ThreadAltStack&) = delete;

private:
    void* m_memory = nullptr;
};

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

void InstallFaultTranslator(FaultTranslator translator, FaultReporter reporter) {
    g_translator = translator;
    g_reporter = reporter;
    g_translatedThread = gettid();
    static bool installed = false;
    if (installed) return;
    installed = true;

    RememberStackLimit();
    RememberOwnCode();
    // The signal stack lives as long as the process; kept here, it is
    // reachable memory rather than a leak.
    static void* const s_altStackMemory = std::malloc(kAltStackSize);
    if (s_altStackMemory) UseAltStack(s_altStackMemory);

    struct sigaction action {};
    action.sa_sigaction = OnFaultSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : kFaultSignals) sigaction(sig, &action, nullptr);
}

void PrepareThreadForFaults() {
    thread_local ThreadAltStack stack;
    (void)stack;
}

}  // namespace platform
