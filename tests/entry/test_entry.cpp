// The whole program path from the entry point: fatal errors, machine faults,
// the single instance and the real executable.
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <SDL.h>
#include <lua.h>

#include <regex>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
#include "cvelmor_utils_cxmlvar.h"
#include "faults.h"
#include "no_unwind_library.h"
#include "system.h"
#include "test_support.h"
#include "vlm_window.h"

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::ReadLines;
using testsupport::RunInChild;

namespace {

class EntryTest : public EngineTest {};

const std::string kSep3 = "|:::::::::::::::::::::::::::::::::::::::::::::::::::|";

// Index of the first line equal to `text` at or after `from`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == text) return static_cast<int>(i);
    return -1;
}

void LogShutdown() { CVelmor::LogLine("termination callback"); }

void StartLikeTheGame(CVelmor* engine) {
    engine->SetAppInfo("Quble", "v. 1.0");
    engine->RegisterCallback(LogShutdown, CALLBACK_TERMINATION);
}

bool EndsWithFooter(const std::vector<std::string>& lines) {
    return lines.size() >= 7 && lines[lines.size() - 4] == "--==: End of log.";
}

TEST_F(EntryTest, EngineExceptionIsReportedThenTheGameAndEngineStop) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            SetCheckpoint(1013, 55);
            throw CEHSException(EHS_TYPE_GAME, 12, "Invalid sound ID: 9", "cvelmor_sfx_sound", 321);
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a fatal error is no success";

    const auto lines = ReadLines("gamelog.txt");
    const int block = FindLine(lines, " !!!: Fatal error!");
    ASSERT_GT(block, 2);
    EXPECT_EQ(lines[block - 1], kSep3);
    const std::vector<std::string> expected = {
        " !!!: Fatal error!", " !!!: Error type: Game.", " !!!: Error code: 12",
        " !!!: Error desc: Invalid sound ID: 9", " !!!: Error location: ",
        " !!!:    File: cvelmor_sfx_sound", " !!!:    Line: 321",
        " !!!: Last called Lua function name: ", kSep3, "", "", "termination callback",
    };
    ASSERT_GE(lines.size(), block + expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + block, lines.begin() + block + expected.size()), expected);
    EXPECT_TRUE(EndsWithFooter(lines));

    const auto report = ReadLines("ehslog.txt");
    ASSERT_EQ(report.size(), 13u);
    EXPECT_EQ(report[5], "Exception type: Game.");
    EXPECT_EQ(report[6], "Exception code: 12");
    EXPECT_EQ(report[11], "   FileID: 1013");
    EXPECT_EQ(report[12], "   Line:   55");
}

TEST_F(EntryTest, ANormalEndAndEveryKindOfFatalErrorGiveTheirExitStatus) {
    struct Case {
        V2DGAMEMAIN game;
        int status;
    };
    const Case cases[] = {
        {[](CVelmor* engine) { StartLikeTheGame(engine); }, 0},
        {[](CVelmor*) { throw CEHSException(EHS_TYPE_LUA, 2, "bad", "f", 1); }, 1},
        {[](CVelmor*) { throw CV2DFatalText("Error in TItemsManager<T>::FreeItem"); }, 1},
        {[](CVelmor*) { throw 42; }, 1},
        // The game ends normally, but a stop step of the engine fails.
        {[](CVelmor* engine) {
             engine->ScriptsInit();
             engine->ScriptsDeinit();
         },
         1},
    };
    for (const Case& c : cases) {
        const V2DGAMEMAIN game = c.game;
        const int status = RunInChild([game] { return VelmorEntryPoint(game); });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status) << &c - cases;
    }
}

// Program-wide identifiers and variables are built before main, before any
// engine exists; their faults end the run through the fatal path once it does.
TEST_F(EntryTest, FaultsOfProgramWideObjectsAreReportedWhenTheEngineStarts) {
    const int status = RunInChild([] {
        static CSmartID first("TEX_ENTRY_TWICE");
        static CSmartID second("TEX_ENTRY_TWICE");
        static CXMLVarInt size("entry_size", 1);
        static CXMLVarInt sizeAgain("entry_size", 2);
        return VelmorEntryPoint([](CVelmor*) { CVelmor::LogLine("the game ran"); });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_EQ(FindLine(lines, "the game ran"), -1);
    EXPECT_GE(FindLine(lines, " !!!: Error desc: Error in CSmartID::CSmartID(const char* fp_pszID, int fp_iResType). "
                              "An object with same strID already exists! strID = TEX_ENTRY_TWICE"),
              0)
        << ReadFile("gamelog.txt");
    EXPECT_TRUE(EndsWithFooter(lines));
    const auto report = ReadLines("ehslog.txt");
    ASSERT_EQ(report.size(), 13u);
    EXPECT_EQ(report[5], "Exception type: Game.");
    EXPECT_EQ(report[8], "File: cvelmor_utils_csmartid");
}

TEST_F(EntryTest, TwoFatalRunsAppendTwoReports) {
    for (int run = 0; run < 2; ++run) {
        const int status =
            RunInChild([] { return VelmorEntryPoint([](CVelmor*) { throw CEHSException(9, 0, "nine", "f", 1); }); });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
    }
    const auto report = ReadLines("ehslog.txt");
    ASSERT_EQ(report.size(), 26u);
    for (int base : {0, 13}) {
        EXPECT_EQ(report[base], "");
        EXPECT_EQ(report[base + 1], "");
        EXPECT_EQ(report[base + 2], "");
        EXPECT_EQ(report[base + 5], "Exception type: Undefined type!");
    }
    // The log is new each run: one fatal block only.
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), " !!!: Fatal error!"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), " !!!: Error type: Undefined type!"), 1);
}

TEST_F(EntryTest, ThrownTextIsOneFatalLine) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            throw CV2DFatalText("Error in TItemsManager<T>::FreeItem");
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    const int at = FindLine(lines, " !!!: Error in TItemsManager<T>::FreeItem");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[at + 1], "termination callback");
    EXPECT_TRUE(EndsWithFooter(lines));
    EXPECT_FALSE(FileExists("ehslog.txt"));
}

TEST_F(EntryTest, AnythingElseIsAnUnknownException) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            throw 42;
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_GE(FindLine(lines, " !!!: EXCEPTION OF UNKNOWN TYPE!"), 0);
    EXPECT_GE(FindLine(lines, "termination callback"), 0);
    EXPECT_TRUE(EndsWithFooter(lines));
    EXPECT_FALSE(FileExists("ehslog.txt"));
}

// The faults below are real machine faults on purpose: the sanitizers must
// not stop them before the processor does.
__attribute__((noinline, no_sanitize("address", "undefined"))) void WriteThroughNull() {
    SetCheckpoint(1011, 77);
    volatile int* volatile target = nullptr;
    *target = 1;
}

volatile int g_quotient = 0;

__attribute__((noinline, no_sanitize("address", "undefined"))) void DivideByZero() {
    SetCheckpoint(1025, 40);
    volatile int zero = 0;
    volatile int ten = 10;
    g_quotient = ten / zero;
}

// The translator takes the fault signals over from the sanitizer runtime in
// the child that runs the game, so these run in the sanitizer build too.
class FaultTest : public EntryTest {};

TEST_F(FaultTest, AccessViolationReportsTheCheckpointAndStopsNormally) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            WriteThroughNull();
        });
    });
    ASSERT_TRUE(WIFEXITED(status)) << "the child died from the fault";
    EXPECT_EQ(WEXITSTATUS(status), 1);

    const auto report = ReadLines("ehslog.txt");
    ASSERT_EQ(report.size(), 13u) << ReadFile("gamelog.txt");
    EXPECT_EQ(report[5], "Exception type: Win32.");
    EXPECT_EQ(report[6], "Exception code: 3221225477");
    EXPECT_EQ(report[7], "Exception desc: Access violation.");
    EXPECT_EQ(report[8], "File: ");
    EXPECT_EQ(report[9], "Line: 0");
    EXPECT_EQ(report[11], "   FileID: 1011");
    EXPECT_EQ(report[12], "   Line:   77");

    const auto lines = ReadLines("gamelog.txt");
    const int block = FindLine(lines, " !!!: Fatal error!");
    ASSERT_GE(block, 0);
    EXPECT_EQ(lines[block + 1], " !!!: Error type: Win32.");
    EXPECT_EQ(lines[block + 2], " !!!: Error code: 3221225477");
    EXPECT_EQ(lines[block + 5], " !!!:    FileID: 1011");
    EXPECT_EQ(lines[block + 6], " !!!:    Line: 77");
    EXPECT_GE(FindLine(lines, "termination callback", block), 0);
    EXPECT_TRUE(EndsWithFooter(lines));
}

TEST_F(FaultTest, IntegerDivisionByZero) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            DivideByZero();
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto report = ReadLines("ehslog.txt");
    ASSERT_EQ(report.size(), 13u);
    EXPECT_EQ(report[6], "Exception code: 3221225620");
    EXPECT_EQ(report[7], "Exception desc: Divide by zero (int).");
    EXPECT_EQ(report[11], "   FileID: 1025");
    EXPECT_TRUE(EndsWithFooter(ReadLines("gamelog.txt")));
}

// A signal sent (here by the program to itself) is no fault of the
// instruction it interrupts, so it is reported where it arrives.
TEST_F(FaultTest, FaultOutsideTheTableIsUnknownAndWritesNoReport) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            raise(SIGSYS);  // a bad system call has no entry in the table
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_GE(FindLine(lines, " !!!: EXCEPTION OF UNKNOWN TYPE!"), 0) << ReadFile("gamelog.txt");
    EXPECT_FALSE(FileExists("ehslog.txt"));
}

TEST_F(FaultTest, SecondFaultAfterTheFirstIsCaughtToo) {
    // The handler must leave the signal unblocked: the termination callback
    // faulting again still ends in a logged stop, not a dead process.
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            engine->RegisterCallback([] { DivideByZero(); }, CALLBACK_TERMINATION);
            try {
                WriteThroughNull();
            } catch (const CEHSException& e) {
                CVelmor::LogLine("caught " + e.GetDesc());
            }
            WriteThroughNull();
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_GE(FindLine(lines, "caught Access violation."), 0) << ReadFile("gamelog.txt");
    EXPECT_GE(FindLine(lines, " !!!: Error desc: Access violation."), 0);
    EXPECT_GE(FindLine(lines, " !!!: Error desc: Divide by zero (int)."), 0);
    EXPECT_TRUE(EndsWithFooter(lines));
}

// Faults no exception can leave: on a thread of a library, inside C code
// built without unwind tables, inside a system library's C code, and a
// stack overflow there. Each is reported where it happens, with the fault's
// checkpoint and the last script function, and the process ends with a
// failure status (without the stop sequence: nothing after the fault runs).

void SDLCALL FaultOnAudioThread(void*, Uint8*, int) {
    SetCheckpoint(130, 61);
    no_unwind_store(nullptr, 1);
}

// As the audio layer's device callback does, the thread gets a signal stack
// of its own first.
void SDLCALL StackOverflowOnAudioThread(void*, Uint8*, int) {
    platform::PrepareThreadForFaults();
    SetCheckpoint(130, 75);
    no_unwind_recurse(nullptr);
}

void RunSdlAudioThread(SDL_AudioCallback callback) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = callback;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device == 0) return;
    SDL_PauseAudioDevice(device, 0);
    // The audio thread ends the process; the deadline of the test ends a
    // wait that lasts.
    for (;;) SDL_Delay(100);
}

void FaultOnSdlAudioThread() { RunSdlAudioThread(FaultOnAudioThread); }

void StackOverflowOnSdlAudioThread() { RunSdlAudioThread(StackOverflowOnAudioThread); }

void FaultInCWithoutUnwindTables() {
    SetCheckpoint(118, 240);
    no_unwind_store(nullptr, 1);
}

void FaultInLua() {
    SetCheckpoint(137, 103);
    lua_gettop(reinterpret_cast<lua_State*>(16));
}

// The fault is in the program's own code, but its exception cannot unwind
// through the C frame that called it.
void FaultInOwnCodeCalledFromC() { no_unwind_call(WriteThroughNull); }

void StackOverflowInC() {
    SetCheckpoint(1023, 12);
    no_unwind_recurse(nullptr);
}

TEST_F(FaultTest, FaultsNoExceptionCanLeaveAreReportedWhereTheyHappen) {
    struct Case {
        const char* where;
        void (*fault)();
        const char* code;
        const char* desc;
        const char* fileId;
        const char* line;
    };
    const Case cases[] = {
        {"SDL's audio thread", FaultOnSdlAudioThread, "3221225477", "Access violation.", "130", "61"},
        {"C without unwind tables", FaultInCWithoutUnwindTables, "3221225477", "Access violation.", "118", "240"},
        {"Lua's C code", FaultInLua, "3221225477", "Access violation.", "137", "103"},
        {"stack overflow in C", StackOverflowInC, "3221225725", "Stack overflow.", "1023", "12"},
        {"stack overflow on SDL's audio thread", StackOverflowOnSdlAudioThread, "3221225725", "Stack overflow.", "130",
         "75"},
        {"own code called from C", FaultInOwnCodeCalledFromC, "3221225477", "Access violation.", "1011", "77"},
    };
    static void (*s_fault)();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        std::remove("gamelog.txt");
        std::remove("ehslog.txt");
        s_fault = c.fault;
        const int status = RunInChild([] {
            return VelmorEntryPoint([](CVelmor* engine) {
                StartLikeTheGame(engine);
                engine->ScriptsInit();
                const std::string chunk = "function on_fault() end";
                engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "chunk");
                engine->ScriptCallFunction("on_fault", -1);
                s_fault();
            });
        });
        if (!WIFEXITED(status)) {
            ADD_FAILURE() << "ended by signal " << WTERMSIG(status) << "\n" << ReadFile("gamelog.txt");
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 1);

        auto report = ReadLines("ehslog.txt");
        if (report.size() != 13u) {
            ADD_FAILURE() << "report of " << report.size() << " lines\n" << ReadFile("ehslog.txt");
            continue;
        }
        EXPECT_TRUE(std::regex_match(report[3], std::regex(R"(Date: [1-9]\d?\.[1-9]\d?\.\d{4})"))) << report[3];
        EXPECT_TRUE(std::regex_match(report[4], std::regex(R"(Time: (0|[1-9]\d?):(0|[1-9]\d?))"))) << report[4];
        report.erase(report.begin() + 3, report.begin() + 5);
        const std::vector<std::string> expectedReport = {
            "", "", "", "Exception type: Win32.", std::string("Exception code: ") + c.code,
            std::string("Exception desc: ") + c.desc, "File: ", "Line: 0", "Last checkpoint:",
            std::string("   FileID: ") + c.fileId, std::string("   Line:   ") + c.line,
        };
        EXPECT_EQ(report, expectedReport);

        const auto lines = ReadLines("gamelog.txt");
        const int block = FindLine(lines, " !!!: Fatal error!");
        if (block < 3) {
            ADD_FAILURE() << "no fatal block\n" << ReadFile("gamelog.txt");
            continue;
        }
        const std::vector<std::string> expectedBlock = {
            "", "", kSep3, " !!!: Fatal error!", " !!!: Error type: Win32.",
            std::string(" !!!: Error code: ") + c.code, std::string(" !!!: Error desc: ") + c.desc,
            " !!!: Error location: ", std::string(" !!!:    FileID: ") + c.fileId,
            std::string(" !!!:    Line: ") + c.line, " !!!: Last called Lua function name: on_fault", kSep3, "", "",
        };
        EXPECT_EQ(std::vector<std::string>(lines.begin() + block - 3, lines.end()), expectedBlock);
    }
}

// Becomes another user in a forked child: root drops to "nobody", anyone
// else enters a user namespace of their own (where the id reads as the
// overflow id). False when neither is possible.
bool BecomeAnotherUser() {
    const uid_t before = getuid();
    if (before == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) return false;
    } else if (unshare(CLONE_NEWUSER) != 0) {
        return false;
    }
    return getuid() != before;
}

TEST_F(EntryTest, TheInstanceLockIsPerUserAndTestsNameTheirOwn) {
    // Each test runs with a lock name of its own.
    const std::string own = std::getenv("VELMOR_INSTANCE_LOCK");
    ASSERT_NE(own.find(tempDir), std::string::npos);
    {
        platform::InstanceLock first("Velmor2D App");
        ASSERT_TRUE(first.Acquired());
        platform::InstanceLock second("Velmor2D App");
        EXPECT_FALSE(second.Acquired()) << "one copy per user";

        // Another user's copy is not this user's.
        const int status = RunInChild([] {
            if (!BecomeAnotherUser()) return 2;
            platform::InstanceLock theirs("Velmor2D App");
            return theirs.Acquired() ? 0 : 1;
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 1) << "another user's game was refused";
        if (WEXITSTATUS(status) == 2) std::cout << "(no second user id to try the lock with)\n";

        // Another name is another lock.
        setenv("VELMOR_INSTANCE_LOCK", (own + " other").c_str(), 1);
        platform::InstanceLock other("Velmor2D App");
        EXPECT_TRUE(other.Acquired());
        setenv("VELMOR_INSTANCE_LOCK", own.c_str(), 1);
    }
    platform::InstanceLock again("Velmor2D App");
    EXPECT_TRUE(again.Acquired()) << "released with its holder";
}

TEST_F(EntryTest, SecondInstanceReturnsAtOnceAndLeavesTheLogAlone) {
    int toFirst[2];
    int fromFirst[2];
    ASSERT_EQ(pipe(toFirst), 0);
    ASSERT_EQ(pipe(fromFirst), 0);
    static int s_in, s_out;
    s_in = toFirst[0];
    s_out = fromFirst[1];
    const pid_t first = fork();
    if (first == 0) {
        close(toFirst[1]);
        close(fromFirst[0]);
        _exit(VelmorEntryPoint([](CVelmor* engine) {
            engine->SetAppInfo("Quble", "v. 1.0");
            char c = 'r';
            if (write(s_out, &c, 1) != 1) return;  // started
            if (read(s_in, &c, 1) != 1) return;    // wait until told to finish
            CVelmor::LogLine("first instance ends");
        }));
    }
    // With only the child holding the other ends, a first copy that ends
    // early shows as end of file instead of a read that never returns.
    close(toFirst[0]);
    close(fromFirst[1]);
    char c;
    ASSERT_EQ(read(fromFirst[0], &c, 1), 1) << "the first copy did not start";
    const std::string before = ReadFile("gamelog.txt");
    ASSERT_NE(before.find("Starting Quble v. 1.0"), std::string::npos);

    const int status = RunInChild([] { return VelmorEntryPoint([](CVelmor*) { _exit(3); }); });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the second copy must not run the game, and ends quietly";
    EXPECT_EQ(ReadFile("gamelog.txt"), before);

    ASSERT_EQ(write(toFirst[1], "g", 1), 1);
    close(toFirst[1]);
    close(fromFirst[0]);
    const int firstStatus = testsupport::WaitForChild(first);
    ASSERT_TRUE(WIFEXITED(firstStatus));
    EXPECT_EQ(WEXITSTATUS(firstStatus), 0);
    const auto lines = ReadLines("gamelog.txt");
    EXPECT_GE(FindLine(lines, "first instance ends"), 0);
    EXPECT_TRUE(EndsWithFooter(lines));
}

TEST_F(EntryTest, GameBinaryWritesHeaderAndEndsWithFooterOnQuit) {
    // The game opens its window and 3-D device on the X display, and plays
    // on a copy of its data.
    VELMOR_REQUIRE_DISPLAY();
    std::filesystem::copy(QUBLE_DATA_DIR, "DATA", std::filesystem::copy_options::recursive);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(QUBLE_BINARY, "quble", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait for the start-up to reach its last step before the main loop.
    const bool started = testsupport::WaitUntil(
        [] { return ReadFile("gamelog.txt").find("Loading highscore data...") != std::string::npos; },
        std::chrono::seconds(10));
    kill(pid, SIGTERM);  // arrives as the quit event, as closing the window does
    const int status = testsupport::WaitForChild(pid);
    ASSERT_TRUE(started) << ReadFile("gamelog.txt");
    ASSERT_TRUE(WIFEXITED(status));
    const auto lines = ReadLines("gamelog.txt");
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[3], "--==: Starting Quble v. 1.0");
    EXPECT_GE(FindLine(lines, "          Display Mode 2 is valid."), 0) << ReadFile("gamelog.txt");
    const int deinit = FindLine(lines, "--==: Deinitializing Graphics Subsystem...");
    ASSERT_GT(deinit, 0) << ReadFile("gamelog.txt");
    for (const char* manager : {"Textures", "Lights", "Techniques", "Fonts"})
        EXPECT_GE(FindLine(lines, std::string("   =: Destroying ") + manager + " Manager...", deinit), 0) << manager;
    // The GUI manager starts after the scripts and goes before the engine stops.
    const int scripts = FindLine(lines, "--==: Initializing Scripts Subsystem...");
    const int guiUp = FindLine(lines, "--==: Initializing GUI Manager...");
    const int guiDown = FindLine(lines, "--==: Deinitializing GUI Manager...");
    EXPECT_GT(guiUp, scripts);
    EXPECT_GT(guiDown, guiUp);
    EXPECT_LT(guiDown, FindLine(lines, "--==: Deinitializing Input Subsystem..."));
    EXPECT_EQ(FindLine(lines, " !!!: pD3Device references left!"), -1);
    EXPECT_EQ(FindLine(lines, " !!!: pD3D references left!"), -1);
    EXPECT_EQ(FindLine(lines, " !!!: Fatal error!"), -1) << ReadFile("gamelog.txt");
    EXPECT_TRUE(EndsWithFooter(lines)) << ReadFile("gamelog.txt");
}

TEST_F(EntryTest, GameBinaryEndsWithAFailureStatusAfterAFatalError) {
    VELMOR_REQUIRE_DISPLAY();
    std::filesystem::create_directory("DATA");
    testsupport::WriteFile("DATA/res.xml", "<resources/>");
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(QUBLE_BINARY, "quble", static_cast<char*>(nullptr));
        _exit(127);
    }
    const int status = testsupport::WaitForChild(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << ReadFile("gamelog.txt");
    EXPECT_GE(FindLine(ReadLines("gamelog.txt"), " !!!: Error desc: Wrong XML ResPack descriptor: ./DATA/res.xml"), 0)
        << ReadFile("gamelog.txt");
}

// Without a display SDL would fall back to drawing offscreen, and the game
// would run on where nobody can see or stop it.
TEST_F(EntryTest, GameBinaryWithoutADisplayStopsWithAFatalErrorInsteadOfRunningUnseen) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("DISPLAY", ":64999", 1);
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("WAYLAND_DISPLAY");
        execl(QUBLE_BINARY, "quble", static_cast<char*>(nullptr));
        _exit(127);
    }
    const int status = testsupport::WaitForChild(pid, std::chrono::seconds(30));
    ASSERT_TRUE(WIFEXITED(status)) << ReadFile("gamelog.txt");
    EXPECT_EQ(WEXITSTATUS(status), 1) << ReadFile("gamelog.txt");
    EXPECT_GE(FindLine(ReadLines("gamelog.txt"), " !!!: Error desc: Cannot create Direct3D object!"), 0)
        << ReadFile("gamelog.txt");
}

}  // namespace

namespace {

V2D_SCRIPT_FUNCTION(TEST_Fault) {
    (void)L;
    WriteThroughNull();
    return 0;
}

TEST_F(FaultTest, FaultInsideAScriptCallIsReportedWithTheScriptName) {
    const int status = RunInChild([] {
        return VelmorEntryPoint([](CVelmor* engine) {
            StartLikeTheGame(engine);
            engine->ScriptsInit();
            engine->ScriptRegisterFunction("TEST_Fault", script_TEST_Fault);
            const std::string chunk = "function on_click() TEST_Fault() end";
            engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "chunk");
            engine->ScriptCallFunction("on_click", -1);
        });
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto lines = ReadLines("gamelog.txt");
    const int block = FindLine(lines, " !!!: Fatal error!");
    ASSERT_GE(block, 0);
    EXPECT_EQ(lines[block + 3], " !!!: Error desc: Access violation.");
    EXPECT_EQ(lines[block + 5], " !!!:    FileID: 1011");
    EXPECT_EQ(lines[block + 7], " !!!: Last called Lua function name: on_click");
    EXPECT_GE(FindLine(lines, "--==: Deinitializing Scripts Subsystem...", block), 0);
    EXPECT_TRUE(EndsWithFooter(lines));
}

}  // namespace
