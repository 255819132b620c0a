#include <algorithm>
#include <ctime>
#include <regex>

#include "cvelmor.h"

#include "cvelmor_ehs.h"
#include "faults.h"
#include "test_support.h"
#include "vlm_window.h"

using testsupport::ReadLines;

namespace {

class EhsTest : public EngineTest {};

std::vector<std::string> ExpectedReport(const std::string& type, const std::string& code,
                                        const std::string& desc, const std::string& file,
                                        const std::string& line, const std::string& cpFile,
                                        const std::string& cpLine) {
    return {"", "", "", "DATE", "TIME", "Exception type: " + type, "Exception code: " + code,
            "Exception desc: " + desc, "File: " + file, "Line: " + line, "Last checkpoint:",
            "   FileID: " + cpFile, "   Line:   " + cpLine};
}

// Replaces the date and time lines after checking their shape.
std::vector<std::string> Normalised(std::vector<std::string> lines) {
    for (auto& line : lines) {
        if (line.rfind("Date: ", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, std::regex(R"(Date: [1-9]\d?\.[1-9]\d?\.\d{4})"))) << line;
            line = "DATE";
        } else if (line.rfind("Time: ", 0) == 0) {
            EXPECT_TRUE(std::regex_match(line, std::regex(R"(Time: (0|[1-9]\d?):(0|[1-9]\d?))"))) << line;
            line = "TIME";
        }
    }
    return lines;
}

TEST_F(EhsTest, ReportsAppendWithTheirFields) {
    SetCheckpoint(121, 456);
    CEHSException(EHS_TYPE_GAME, 7, "Invalid sound ID: 9", "cvelmor_sfx_sound", 321).WriteReport();
    SetCheckpoint(111, 114);
    CEHSException(9, 4294967295u, "odd", "x", 1).WriteReport();

    auto expected = ExpectedReport("Game.", "7", "Invalid sound ID: 9", "cvelmor_sfx_sound", "321", "121", "456");
    const auto second = ExpectedReport("Undefined type!", "4294967295", "odd", "x", "1", "111", "114");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Normalised(ReadLines("ehslog.txt")), expected);
}

// A clock one second before local midnight that moves on a second per read.
int g_clockReads = 0;
time_t g_beforeMidnight = 0;
time_t TickingClock() { return g_beforeMidnight + g_clockReads++; }

TEST_F(EhsTest, TheLogHeaderAndTheReportReadTheClockOnceEach) {
    tm evening{};
    evening.tm_year = 2026 - 1900;
    evening.tm_mon = 11;
    evening.tm_mday = 31;
    evening.tm_hour = 23;
    evening.tm_min = 59;
    evening.tm_sec = 59;
    evening.tm_isdst = -1;
    g_beforeMidnight = mktime(&evening);
    SetWallClock(TickingClock);
    {
        CVelmor engine;
        engine.SetAppInfo("Quble", "v. 1.0");
        EXPECT_EQ(g_clockReads, 1);
        CEHSException(EHS_TYPE_GAME, 1, "late", "f", 1).WriteReport();
        EXPECT_EQ(g_clockReads, 2);
    }
    SetWallClock(nullptr);
    const auto log = ReadLines("gamelog.txt");
    EXPECT_NE(std::find(log.begin(), log.end(), "--==: Execution date: 31.12.2026"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "--==: Execution time: 23:59"), log.end());
    // The report's read came a second later: just after midnight, both lines.
    const auto report = ReadLines("ehslog.txt");
    ASSERT_GE(report.size(), 5u);
    EXPECT_EQ(report[3], "Date: 1.1.2027");
    EXPECT_EQ(report[4], "Time: 0:0");
}

TEST_F(EhsTest, TypeNames) {
    const char* names[] = {"Unknown.", "General.", "Game.", "Win32.", "Lua.", "Lua glue function.", "In-script."};
    for (uint32_t type = 0; type < 7; ++type) {
        EXPECT_STREQ(CEHSException(type, 0, "", "", 0).GetTypeName(), names[type]);
    }
    EXPECT_STREQ(CEHSException(7, 0, "", "", 0).GetTypeName(), "Undefined type!");
}

TEST_F(EhsTest, KnownFaultsTranslateAndOthersPassThrough) {
    try {
        TranslateMachineFault(0xC0000005u, nullptr);
        FAIL() << "access violation not translated";
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 3u);
        EXPECT_EQ(e.GetCode(), 3221225477u);
        EXPECT_EQ(e.GetDesc(), "Access violation.");
        EXPECT_EQ(e.GetFile(), "");
        EXPECT_EQ(e.GetLine(), 0u);
    }
    const uint32_t known[] = {0x80000003u, 0x80000002u, 0x80000004u, 0xC0000006u, 0xC0000005u,
                              0xC000001Du, 0xC000008Cu, 0xC000008Du, 0xC0000026u, 0xC0000025u,
                              0xC000008Eu, 0xC000008Fu, 0xC0000090u, 0xC0000091u, 0xC0000092u,
                              0xC0000093u, 0xC0000094u, 0xC0000095u, 0xC0000096u, 0xC00000FDu};
    for (uint32_t code : known) EXPECT_THROW(TranslateMachineFault(code, nullptr), CEHSException) << code;
    EXPECT_NO_THROW(TranslateMachineFault(0xC000001Cu, nullptr));
    EXPECT_NO_THROW(TranslateMachineFault(0, nullptr));
}

// What the signal handler writes in place of a thrown fault must read as
// what the entry point writes for it: the same report, the same log block,
// in every time zone and on every date.
time_t g_fixedTime = 0;
time_t FixedClock() { return g_fixedTime; }

TEST_F(EhsTest, AFaultReportedInPlaceReadsAsTheThrownOne) {
    const char* const oldZone = std::getenv("TZ");
    const std::string savedZone = oldZone ? oldZone : "";
    struct Case {
        const char* zone;
        time_t time;
        uint32_t code;
    };
    const Case cases[] = {
        {"UTC0", 0, 0xC0000005u},                   // 1.1.1970 0:0
        {"XST-5:30", 1709229599, 0xC0000094u},      // 29.2.2024 23:29 local, on a leap day
        {"YST+10", 1798761599, 0xC00000FDu},        // 31.12.2026 13:59 local
        {"ZST-14", 4102444800 - 1, 0x80000003u},    // 1.1.2100 13:59 local, not a leap year
    };
    SetWallClock(FixedClock);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        std::remove("ehslog.txt");
        std::remove("gamelog.txt");
        setenv("TZ", c.zone, 1);
        tzset();
        g_fixedTime = c.time;
        {
            CVelmor engine;
            engine.ScriptsInit();
            engine.ScriptCallFunction("on_fault", -1);
            SetCheckpoint(1017, 33);
            try {
                TranslateMachineFault(c.code, nullptr);
            } catch (...) {
                ReportCurrentFatalError();
            }
            PrepareFaultReportsInPlace();
            SetCheckpoint(1017, 33);  // the report above moved it on
            const platform::FaultInfo fault{c.code, SIGSEGV, nullptr, nullptr};
            ReportFaultInPlace(fault);
        }
        const auto report = ReadLines("ehslog.txt");
        ASSERT_EQ(report.size(), 26u);
        EXPECT_EQ(std::vector<std::string>(report.begin(), report.begin() + 13),
                  std::vector<std::string>(report.begin() + 13, report.end()));
        tm local{};
        localtime_r(&c.time, &local);
        EXPECT_EQ(report[3], "Date: " + std::to_string(local.tm_mday) + "." + std::to_string(local.tm_mon + 1) + "." +
                                 std::to_string(local.tm_year + 1900));

        const auto log = ReadLines("gamelog.txt");
        const auto thrown = std::find(log.begin(), log.end(), " !!!: Fatal error!");
        ASSERT_NE(thrown, log.end());
        const auto inPlace = std::find(thrown + 1, log.end(), " !!!: Fatal error!");
        ASSERT_NE(inPlace, log.end()) << testsupport::ReadFile("gamelog.txt");
        const std::vector<std::string> thrownBlock(thrown - 3, thrown + 11);
        EXPECT_EQ(std::vector<std::string>(inPlace - 3, inPlace + 11), thrownBlock);
        EXPECT_EQ(thrownBlock[10], " !!!: Last called Lua function name: on_fault");
    }
    SetWallClock(nullptr);
    if (oldZone) {
        setenv("TZ", savedZone.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST_F(EhsTest, AFaultOutsideTheTableReportedInPlaceIsOneUnknownLine) {
    PrepareFaultReportsInPlace();
    ReportFaultInPlace(platform::FaultInfo{0xC000001Cu, SIGSYS, nullptr, nullptr});
    EXPECT_EQ(ReadLines("gamelog.txt"), std::vector<std::string>{" !!!: EXCEPTION OF UNKNOWN TYPE!"});
    EXPECT_FALSE(testsupport::FileExists("ehslog.txt"));
}

TEST(FaultCodes, SignalsMapToTheirFaults) {
    EXPECT_EQ(platform::FaultCodeForSignal(SIGSEGV, SEGV_MAPERR, nullptr), 0xC0000005u);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGFPE, FPE_INTDIV, nullptr), 0xC0000094u);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGFPE, FPE_FLTDIV, nullptr), 0xC000008Eu);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGILL, ILL_ILLOPC, nullptr), 0xC000001Du);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGILL, ILL_PRVOPC, nullptr), 0xC0000096u);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGBUS, BUS_ADRALN, nullptr), 0x80000002u);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGTRAP, TRAP_BRKPT, nullptr), 0x80000003u);
    EXPECT_EQ(platform::FaultCodeForSignal(SIGSYS, 0, nullptr), 0xC000001Cu);
}

}  // namespace
