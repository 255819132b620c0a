// Machine faults through structured exception handling. A vectored handler
// sees each fault first. One the program's own code raised on the translated
// thread is turned into a call of the translator, made as if the faulting
// instruction had called it, so that its exception unwinds from there like
// any other; every other fault is reported in place and ends the process.
#include "faults.h"

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace platform {

namespace {

FaultTranslator g_translator = nullptr;
FaultReporter g_reporter = nullptr;
DWORD g_translatedThread = 0;
uintptr_t g_ownCodeLow = 0;  // the executable's image: the engine, the game
uintptr_t g_ownCodeHigh = 0; // and the runtime linked into them
std::atomic<DWORD> g_reportingThread{0};
thread_local bool t_translating = false;
thread_local FaultInfo t_pendingFault{};

// Room for the handler to write its report after the stack overflowed.
const ULONG kStackGuarantee = 64 * 1024;

bool IsMachineFault(DWORD code) {
    switch (code) {
        case FAULT_DATATYPE_MISALIGNMENT: case FAULT_BREAKPOINT: case FAULT_SINGLE_STEP:
        case FAULT_ACCESS_VIOLATION: case FAULT_IN_PAGE_ERROR: case FAULT_INVALID_SYSTEM_SERVICE:
        case FAULT_ILLEGAL_INSTRUCTION: case FAULT_NONCONTINUABLE_EXCEPTION: case FAULT_INVALID_DISPOSITION:
        case FAULT_ARRAY_BOUNDS_EXCEEDED: case FAULT_FLT_DENORMAL_OPERAND: case FAULT_FLT_DIVIDE_BY_ZERO:
        case FAULT_FLT_INEXACT_RESULT: case FAULT_FLT_INVALID_OPERATION: case FAULT_FLT_OVERFLOW:
        case FAULT_FLT_STACK_CHECK: case FAULT_FLT_UNDERFLOW: case FAULT_INT_DIVIDE_BY_ZERO:
        case FAULT_INT_OVERFLOW: case FAULT_PRIV_INSTRUCTION: case FAULT_STACK_OVERFLOW:
            return true;
        default:
            return false;
    }
}

void RememberOwnCode() {
    const auto base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<uintptr_t>(dos->e_lfanew));
    g_ownCodeLow = base;
    g_ownCodeHigh = base + nt->OptionalHeader.SizeOfImage;
}

FaultInfo DescribeFault(const EXCEPTION_RECORD& record) {
    const void* address = record.ExceptionAddress;
    if ((record.ExceptionCode == FAULT_ACCESS_VIOLATION || record.ExceptionCode == FAULT_IN_PAGE_ERROR) &&
        record.NumberParameters >= 2)
        address = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
    return FaultInfo{static_cast<uint32_t>(record.ExceptionCode), 0, address, record.ExceptionAddress};
}

[[noreturn]] void ReportInPlaceAndExit(const FaultInfo& fault) {
    const DWORD self = GetCurrentThreadId();
    DWORD none = 0;
    if (g_reportingThread.compare_exchange_strong(none, self)) {
        if (g_reporter) g_reporter(fault);
        TerminateProcess(GetCurrentProcess(), kFaultExitStatus);
    }
    // The report itself faulted: what it wrote stays.
    if (none == self) TerminateProcess(GetCurrentProcess(), kFaultExitStatus);
    // Another thread is writing its report and ends the process.
    for (;;) Sleep(INFINITE);
}

struct TranslatingGuard {
    TranslatingGuard() { t_translating = true; }
    ~TranslatingGuard() { t_translating = false; }
};

// Entered as if the faulting instruction had called it; the unwinder walks
// from here into the faulting function and on up.
[[noreturn]] void ThrowPendingFault() {
    const FaultInfo fault = t_pendingFault;
    {
        TranslatingGuard translating;
        if (g_translator) g_translator(fault.code, fault);
    }
    throw UntranslatedFault{fault.code};
}

// Only a fault in the program's own code on the translated thread may
// become an exception, and only where the stack is as a call would leave
// it (inside a function's body, not its prologue or epilogue). A stack
// overflow has no room left to unwind in.
bool MayThrow(const FaultInfo& fault, const CONTEXT& context) {
    if (t_translating || GetCurrentThreadId() != g_translatedThread) return false;
    if (fault.code == FAULT_STACK_OVERFLOW) return false;
    const auto pc = reinterpret_cast<uintptr_t>(fault.instruction);
    if (pc < g_ownCodeLow || pc >= g_ownCodeHigh) return false;
#if defined(_M_X64) || defined(__x86_64__)
    return context.Rsp % 16 == 0;
#else
    (void)context;
    return false;
#endif
}

// The call is made up by pushing a return address just past the faulting
// instruction's first byte: the unwinder looks one byte back for the
// handlers that cover it, and so finds the faulting instruction's own.
void RedirectToThrow(CONTEXT& context) {
#if defined(_M_X64) || defined(__x86_64__)
    context.Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context.Rsp) = context.Rip + 1;
    context.Rip = reinterpret_cast<DWORD64>(&ThrowPendingFault);
#else
    (void)context;
#endif
}

LONG CALLBACK OnFirstChance(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!IsMachineFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    const FaultInfo fault = DescribeFault(record);
    if (MayThrow(fault, *pointers->ContextRecord)) {
        t_pendingFault = fault;
        RedirectToThrow(*pointers->ContextRecord);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    const auto pc = reinterpret_cast<uintptr_t>(fault.instruction);
    const bool ownCode = pc >= g_ownCodeLow && pc < g_ownCodeHigh;
    // A library's fault may be one it handles itself; if it does not, the
    // unhandled-exception filter reports it.
    if (!ownCode && fault.code != FAULT_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
    ReportInPlaceAndExit(fault);
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!IsMachineFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    ReportInPlaceAndExit(DescribeFault(record));
}

}  // namespace

void InstallFaultTranslator(FaultTranslator translator, FaultReporter reporter) {
    g_translator = translator;
    g_reporter = reporter;
    g_translatedThread = GetCurrentThreadId();
    static bool installed = false;
    if (installed) return;
    installed = true;
    RememberOwnCode();
    PrepareThreadForFaults();
    AddVectoredExceptionHandler(1, OnFirstChance);
    SetUnhandledExceptionFilter(OnUnhandled);
}

void PrepareThreadForFaults() {
    thread_local bool prepared = false;
    if (prepared) return;
    prepared = true;
    ULONG guarantee = kStackGuarantee;
    SetThreadStackGuarantee(&guarantee);
}

}  // namespace platform
