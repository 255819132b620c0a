#include "cvelmor_ehs.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "os.h"

namespace ehs_detail {
uint32_t g_checkpointFileID = 0;
uint32_t g_checkpointLine = 0;
}  // namespace ehs_detail

namespace {

time_t SystemWallClock() { return time(nullptr); }

V2DWALLCLOCK g_wallClock = SystemWallClock;

tm LocalNow() { return platform::LocalTime(g_wallClock()); }

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

const char* KnownFaultDesc(uint32_t code) {
    for (const KnownFault& fault : kKnownFaults) {
        if (fault.code == code) return fault.desc;
    }
    return nullptr;
}

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
    FILE* f = std::fopen("ehslog.txt", "ab");  // as the in-place reports: the same bytes everywhere
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
    if (const char* desc = KnownFaultDesc(faultCode)) throw CEHSException(EHS_TYPE_WIN32, faultCode, desc, "", 0);
}

// Reports written inside the signal handler: no allocation, no stdio, no
// time zone lookups. Everything they need is prepared beforehand or kept in
// fixed buffers.
namespace {

const size_t kMaxPath = 4096;
char g_reportPath[kMaxPath] = "ehslog.txt";
char g_logPath[kMaxPath] = "gamelog.txt";
long g_localTimeOffset = 0;  // seconds east of UTC when the reports were prepared
char g_lastScriptFunction[128] = "";

// Text built in a fixed buffer; what does not fit is cut off.
class FixedText {
public:
    FixedText& operator<<(const char* text) {
        while (*text && m_size < sizeof(m_bytes)) m_bytes[m_size++] = *text++;
        return *this;
    }
    FixedText& operator<<(uint64_t number) {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (count > 0 && m_size < sizeof(m_bytes)) m_bytes[m_size++] = digits[--count];
        return *this;
    }
    FixedText& operator<<(uint32_t number) { return *this << static_cast<uint64_t>(number); }

    void AppendTo(const char* path) const { platform::AppendToFileInPlace(path, m_bytes, m_size); }
    void WriteToStandardError() const { platform::WriteToStandardErrorInPlace(m_bytes, m_size); }

private:
    char m_bytes[2048];
    size_t m_size = 0;
};

struct CivilTime {
    uint64_t year, month, day, hour, minute;
};

// Local time from the wall clock and the prepared offset (days to a
// proleptic Gregorian date after Howard Hinnant's civil_from_days).
CivilTime LocalCivilTimeInPlace() {
    const int64_t local = static_cast<int64_t>(g_wallClock()) + g_localTimeOffset;
    int64_t days = local / 86400;
    int64_t seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {static_cast<uint64_t>(year), static_cast<uint64_t>(month), static_cast<uint64_t>(day),
            static_cast<uint64_t>(seconds / 3600), static_cast<uint64_t>(seconds % 3600 / 60)};
}

void WriteReportInPlace(uint32_t code, const char* desc) {
    const CivilTime now = LocalCivilTimeInPlace();
    FixedText report;
    report << "\n\n\n";
    report << "Date: " << now.day << "." << now.month << "." << now.year << "\n";
    report << "Time: " << now.hour << ":" << now.minute << "\n";
    report << "Exception type: Win32.\n";
    report << "Exception code: " << code << "\n";
    report << "Exception desc: " << desc << "\n";
    report << "File: \n";
    report << "Line: 0\n";
    report << "Last checkpoint:\n";
    report << "   FileID: " << GetCheckpointFileID() << "\n";
    report << "   Line:   " << GetCheckpointLine() << "\n";
    report.AppendTo(g_reportPath);
}

const char* const kFatalSeparator = "|:::::::::::::::::::::::::::::::::::::::::::::::::::|\n";

void WriteLogBlockInPlace(uint32_t code, const char* desc) {
    FixedText block;
    block << "\n\n" << kFatalSeparator;
    block << " !!!: Fatal error!\n";
    block << " !!!: Error type: Win32.\n";
    block << " !!!: Error code: " << code << "\n";
    block << " !!!: Error desc: " << desc << "\n";
    block << " !!!: Error location: \n";
    block << " !!!:    FileID: " << GetCheckpointFileID() << "\n";
    block << " !!!:    Line: " << GetCheckpointLine() << "\n";
    block << " !!!: Last called Lua function name: " << g_lastScriptFunction << "\n";
    block << kFatalSeparator << "\n\n";
    block.AppendTo(g_logPath);
}

// The same one-line summary the entry point prints for other fatal errors.
void WriteSummaryInPlace(const char* desc) {
    FixedText line;
    line << "Fatal error: Win32. " << desc << " (checkpoint " << GetCheckpointFileID() << ":" << GetCheckpointLine()
         << ")";
    if (g_lastScriptFunction[0] != '\0') line << " in Lua function " << g_lastScriptFunction;
    line << "\n";
    line.WriteToStandardError();
}

// "dir" + "/" + name into `path`; the bare name when it does not fit.
void ResolveInFolder(char (&path)[kMaxPath], const std::string& dir, const char* name) {
    if (dir.size() + 1 + std::strlen(name) >= kMaxPath) return;
    std::snprintf(path, kMaxPath, "%s/%s", dir.c_str(), name);
}

}  // namespace

void PrepareFaultReportsInPlace() {
    std::error_code ec;
    const std::string dir = std::filesystem::current_path(ec).u8string();
    if (!ec) {
        ResolveInFolder(g_reportPath, dir, "ehslog.txt");
        ResolveInFolder(g_logPath, dir, "gamelog.txt");
    }
    g_localTimeOffset = platform::LocalUtcOffset(g_wallClock());
}

void NoteScriptFunctionForFaultReports(const std::string& name) {
    const size_t length = std::min(name.size(), sizeof(g_lastScriptFunction) - 1);
    std::memcpy(g_lastScriptFunction, name.data(), length);
    g_lastScriptFunction[length] = '\0';
}

void ReportFaultInPlace(const platform::FaultInfo& fault) {
    const char* desc = KnownFaultDesc(fault.code);
    if (!desc) {
        FixedText line;
        line << " !!!: EXCEPTION OF UNKNOWN TYPE!\n";
        line.AppendTo(g_logPath);
        FixedText summary;
        summary << "Fatal error: EXCEPTION OF UNKNOWN TYPE!\n";
        summary.WriteToStandardError();
        return;
    }
    WriteReportInPlace(fault.code, desc);
    WriteLogBlockInPlace(fault.code, desc);
    WriteSummaryInPlace(desc);
}
