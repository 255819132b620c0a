// The engine's exceptions, the checkpoint that locates machine faults, and
// the report file "ehslog.txt".
#pragma once

#include <cstdint>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <string>

#include "faults.h"

enum EHSType : uint32_t {
    EHS_TYPE_UNKNOWN = 0,
    EHS_TYPE_GENERAL = 1,
    EHS_TYPE_GAME = 2,
    EHS_TYPE_WIN32 = 3,
    EHS_TYPE_LUA = 4,
    EHS_TYPE_LUA_GLUE = 5,
    EHS_TYPE_IN_SCRIPT = 6,
};

class CEHSException : public std::exception {
public:
    CEHSException(uint32_t type, uint32_t code, std::string desc, std::string file, uint32_t line)
        : m_type(type), m_code(code), m_desc(std::move(desc)), m_file(std::move(file)), m_line(line) {}

    const char* what() const noexcept override { return m_desc.c_str(); }

    uint32_t GetType() const { return m_type; }
    uint32_t GetCode() const { return m_code; }
    const std::string& GetDesc() const { return m_desc; }
    const std::string& GetFile() const { return m_file; }
    uint32_t GetLine() const { return m_line; }

    const char* GetTypeName() const;
    // Appends the report to "ehslog.txt"; silent when the file cannot be opened.
    void WriteReport() const;

private:
    uint32_t m_type;
    uint32_t m_code;
    std::string m_desc;
    std::string m_file;
    uint32_t m_line;
};

// The second kind of fatal error: a message text and nothing else (the XML
// parser, the item managers, the randomizer, the board's array). The entry
// point logs the text at level 6; there is no report.
class CV2DFatalText : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Two stores and nothing else: called at the top of nearly every function,
// per frame too.
namespace ehs_detail {
extern uint32_t g_checkpointFileID;
extern uint32_t g_checkpointLine;
}  // namespace ehs_detail

inline void SetCheckpoint(uint32_t fileId, uint32_t line) {
    ehs_detail::g_checkpointFileID = fileId;
    ehs_detail::g_checkpointLine = line;
}
inline uint32_t GetCheckpointFileID() { return ehs_detail::g_checkpointFileID; }
inline uint32_t GetCheckpointLine() { return ehs_detail::g_checkpointLine; }

// Turns the twenty known machine faults into a type-3 CEHSException; returns
// for any other code, so the fault travels on untranslated.
void TranslateMachineFault(uint32_t faultCode, const void* faultInformation);

// Reports a machine fault where it happened, inside the signal handler, when
// it cannot become an exception: the report to "ehslog.txt" and the fatal
// block to "gamelog.txt", as the entry point writes them for a translated
// fault (a fault outside the table: only the unknown-exception line).
// Async-signal-safe: it uses what PrepareFaultReportsInPlace set up.
void ReportFaultInPlace(const platform::FaultInfo& fault);

// Resolves the two files' paths in the working directory and the local time
// offset, once, before any fault.
void PrepareFaultReportsInPlace();

// Keeps the name of the script function being called where a report written
// in place can read it (up to 127 characters).
void NoteScriptFunctionForFaultReports(const std::string& name);

// A failed internal consistency check.
#define EHS_ASSERT(cond, file)                                                              \
    do {                                                                                    \
        if (!(cond)) throw CEHSException(EHS_TYPE_GENERAL, 0, "EHS Assertion failed.", file, \
                                         __LINE__);                                         \
    } while (0)

// Local date and time as the log and the report write them: "7.3.2005", "9:5",
// both from one reading of the clock, so they never straddle midnight.
struct V2DLOCALSTAMP {
    std::string date;
    std::string time;
};
V2DLOCALSTAMP LocalStampNow();

// The wall clock the stamps read (seconds since 1970); null restores the
// system's. Tests set their own.
typedef time_t (*V2DWALLCLOCK)();
void SetWallClock(V2DWALLCLOCK clock);

// Program-wide objects (identifiers, XML variables) are built before main,
// where a raised exception could only end the program unreported. Their
// construction errors wait here instead; the entry point raises the first
// one once the engine, its log and its report exist.
void KeepEarlyFault(const CEHSException& fault);
// Raises and forgets the first kept fault; nothing when there is none.
void RaiseKeptEarlyFault();
