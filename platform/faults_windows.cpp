// Machine faults through structured exception handling. A vectored handler
// sees each fault first. One the program's own code raised on the translated
// thread is turned into a call of the translator, made as if the faulting
// instruction had called it, so that its exception unwinds from there like
// any other; every other fault is reported in place and ends the process.
#include "faults.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
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

// A thread kept waiting to write the report of a stack overflow: the
// overflowed stack has no room left for it.
HANDLE g_overflowReady = nullptr;
FaultInfo g_overflow{};

DWORD WINAPI ReportOverflows(void*) {
    WaitForSingleObject(g_overflowReady, INFINITE);
    if (g_reporter) g_reporter(g_overflow);
    TerminateProcess(GetCurrentProcess(), kFaultExitStatus);
    return 0;
}

void StartOverflowReporter() {
    g_overflowReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!g_overflowReady) return;
    HANDLE thread = CreateThread(nullptr, 256 * 1024, ReportOverflows, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

[[noreturn]] void ReportInPlaceAndExit(const FaultInfo& fault) {
    const DWORD self = GetCurrentThreadId();
    DWORD none = 0;
    if (g_reportingThread.compare_exchange_strong(none, self)) {
        if (fault.code == FAULT_STACK_OVERFLOW && g_overflowReady) {
            g_overflow = fault;
            SetEvent(g_overflowReady);
            for (;;) Sleep(INFINITE);
        }
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

}  // namespace

// Entered from the trampoline below; the unwinder walks from here through
// the trampoline into the faulting function and on up.
extern "C" [[noreturn]] void velmor_throw_pending_fault() {
    const FaultInfo fault = t_pendingFault;
    {
        TranslatingGuard translating;
        if (g_translator) g_translator(fault.code, fault);
    }
    throw UntranslatedFault{fault.code};
}

#if defined(__x86_64__)
// The faulting instruction "calls" this: its stack may be aligned as inside
// a function's body or as on entry to one, so the trampoline keeps the stack
// pointer in a frame register (which the unwind data names) and aligns the
// stack itself before the call.
asm(R"(
    .text
    .globl velmor_fault_trampoline
    .def velmor_fault_trampoline; .scl 2; .type 32; .endef
    .seh_proc velmor_fault_trampoline
velmor_fault_trampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call velmor_throw_pending_fault
    int3
    .seh_endproc
)");
extern "C" void velmor_fault_trampoline();
#endif

namespace {

// Only a fault in the program's own code on the translated thread may
// become an exception. A stack overflow has no room left to unwind in.
bool MayThrow(const FaultInfo& fault) {
#if defined(__x86_64__)
    if (t_translating || GetCurrentThreadId() != g_translatedThread) return false;
    if (fault.code == FAULT_STACK_OVERFLOW) return false;
    const auto pc = reinterpret_cast<uintptr_t>(fault.instruction);
    return pc >= g_ownCodeLow && pc < g_ownCodeHigh;
#else
    (void)fault;
    return false;
#endif
}

// The call is made up by pushing a return address just past the faulting
// instruction's first byte: the unwinder looks one byte back for the
// handlers that cover it, and so finds the faulting instruction's own.
void RedirectToThrow(CONTEXT& context) {
#if defined(__x86_64__)
    context.Rsp -= sizeof(DWORD64);
    *reinterpret_cast<DWORD64*>(context.Rsp) = context.Rip + 1;
    context.Rip = reinterpret_cast<DWORD64>(&velmor_fault_trampoline);
#else
    (void)context;
#endif
}

LONG CALLBACK OnFirstChance(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!IsMachineFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    const FaultInfo fault = DescribeFault(record);
    if (MayThrow(fault)) {
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
    StartOverflowReporter();
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
