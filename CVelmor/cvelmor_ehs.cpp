#include "cvelmor_ehs.h"

#include <time.h>

#include <cstdio>
#include <memory>

namespace ehs_detail {
uint32_t g_checkpointFileID = 0;
uint32_t g_checkpointLine = 0;
}  // namespace ehs_detail

namespace {

time_t SystemWallClock() { return time(nullptr); }

V2DWALLCLOCK g_wallClock = SystemWallClock;

tm LocalNow() {
    time_t now = g_wallClock();
    tm local{};
    localtime_r(&now, &local);
    return local;
}

struct KnownFault {
    uint32_t code;
    const char* desc;
};

const KnownFault kKnownFaults[] = {
    {0x80000003u, "Breakpoint."},
    {0x80000002u, "Data type misalingment."},
    {0x80000004u,
     "A trace trap or other single-instruction mechanism signaled that one instruction has been "
     "executed."},
    {0xC0000006u, "Page error."},
    {0xC0000005u, "Access violation."},
    {0xC000001Du, "Illegal instruction."},
    {0xC000008Cu, "Array bounds exceeded."},
    {0xC000008Du, "Denormal operand (float)."},
    {0xC0000026u, "Invalid disposition."},
    {0xC0000025u, "Noncontinuable exception ignored."},
    {0xC000008Eu, "Divide by zero (float)."},
    {0xC000008Fu, "Inexact result (float)."},
    {0xC0000090u, "Invalid operation (float)."},
    {0xC0000091u, "Overflow (float)."},
    {0xC0000092u, "Stack overflow or underflow (float)."},
    {0xC0000093u, "Underflow (float)."},
    {0xC0000094u, "Divide by zero (int)."},
    {0xC0000095u, "Overflow (int)."},
    {0xC0000096u,
     "The thread tried to execute an instruction whose operation is not allowed in the current "
     "machine mode."},
    {0xC00000FDu, "Stack overflow."},
};

}  // namespace

namespace {
std::unique_ptr<CEHSException>& KeptEarlyFault() {
    static std::unique_ptr<CEHSException> fault;
    return fault;
}
}  // namespace

void KeepEarlyFault(const CEHSException& fault) {
    if (!KeptEarlyFault()) KeptEarlyFault() = std::make_unique<CEHSException>(fault);
}

void RaiseKeptEarlyFault() {
    std::unique_ptr<CEHSException> fault = std::move(KeptEarlyFault());
    if (fault) throw CEHSException(*fault);
}

void SetWallClock(V2DWALLCLOCK clock) { g_wallClock = clock ? clock : SystemWallClock; }

V2DLOCALSTAMP LocalStampNow() {
    const tm t = LocalNow();
    V2DLOCALSTAMP stamp;
    stamp.date = std::to_string(t.tm_mday) + "." + std::to_string(t.tm_mon + 1) + "." + std::to_string(t.tm_year + 1900);
    stamp.time = std::to_string(t.tm_hour) + ":" + std::to_string(t.tm_min);
    return stamp;
}

const char* CEHSException::GetTypeName() const {
    switch (m_type) {
        case EHS_TYPE_UNKNOWN: return "Unknown.";
        case EHS_TYPE_GENERAL: return "General.";
        case EHS_TYPE_GAME: return "Game.";
        case EHS_TYPE_WIN32: return "Win32.";
        case EHS_TYPE_LUA: return "Lua.";
        case EHS_TYPE_LUA_GLUE: return "Lua glue function.";
        case EHS_TYPE_IN_SCRIPT: return "In-script.";
        default: return "Undefined type!";
    }
}

void CEHSException::WriteReport() const {
    FILE* f = std::fopen("ehslog.txt", "a");
    if (!f) return;
    const V2DLOCALSTAMP now = LocalStampNow();
    std::fprintf(f, "\n\n\n");
    std::fprintf(f, "Date: %s\n", now.date.c_str());
    std::fprintf(f, "Time: %s\n", now.time.c_str());
    std::fprintf(f, "Exception type: %s\n", GetTypeName());
    std::fprintf(f, "Exception code: %u\n", m_code);
    std::fprintf(f, "Exception desc: %s\n", m_desc.c_str());
    std::fprintf(f, "File: %s\n", m_file.c_str());
    std::fprintf(f, "Line: %u\n", m_line);
    std::fprintf(f, "Last checkpoint:\n");
    std::fprintf(f, "   FileID: %u\n", GetCheckpointFileID());
    std::fprintf(f, "   Line:   %u\n", GetCheckpointLine());
    std::fclose(f);
}

void TranslateMachineFault(uint32_t faultCode, const void*) {
    for (const KnownFault& fault : kKnownFaults) {
        if (fault.code == faultCode) throw CEHSException(EHS_TYPE_WIN32, faultCode, fault.desc, "", 0);
    }
}
