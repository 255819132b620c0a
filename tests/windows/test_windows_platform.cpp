// What the Windows platform does differently: machine faults through
// structured exception handling, the named-mutex instance lock, replacing
// files, and the player's folder filled by copies where links are refused.
#include <process.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "cvelmor_ehs.h"
#include "faults.h"
#include "os.h"
#include "system.h"
#include "test_support.h"
#include "user_folder.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

void TranslateForTest(uint32_t code, const platform::FaultInfo& info) { TranslateMachineFault(code, &info); }

__attribute__((noinline)) int ReadThrough(volatile int* pointer) { return *pointer; }
__attribute__((noinline)) int Divide(volatile int a, volatile int b) { return a / b; }
__attribute__((noinline)) int Recurse(volatile int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

class WindowsPlatformTest : public EngineTest {};

TEST_F(WindowsPlatformTest, FaultsOfTheProgramsOwnCodeBecomeEngineExceptionsWithTheirCodes) {
    platform::InstallFaultTranslator(TranslateForTest, ReportFaultInPlace);
    struct Case {
        const char* name;
        int (*fault)();
        uint32_t code;
    };
    const Case cases[] = {
        {"null read", [] { return ReadThrough(nullptr); }, 0xC0000005u},
        {"integer division by zero", [] { return Divide(1, 0); }, 0xC0000094u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CEHSException raised = testsupport::Raised([&] { c.fault(); });
        EXPECT_EQ(raised.GetType(), EHS_TYPE_WIN32);
        EXPECT_EQ(raised.GetCode(), c.code);
        EXPECT_FALSE(raised.GetDesc().empty());
    }
    // The handler is ready for the next fault after one has been turned
    // into an exception.
    EXPECT_EQ(testsupport::Raised([] { ReadThrough(nullptr); }).GetCode(), 0xC0000005u);
}

// The child's part of the test below: set up as the engine does, then fault
// where no exception can help.
TEST_F(WindowsPlatformTest, FaultChild) {
    const char* kind = std::getenv("VELMOR_FAULT_CHILD");
    if (!kind) GTEST_SKIP() << "runs only as the child of the fault report test";
    fs::current_path(fs::u8path(std::getenv("VELMOR_FAULT_FOLDER")));
    PrepareFaultReportsInPlace();
    platform::InstallFaultTranslator(TranslateForTest, ReportFaultInPlace);
    if (std::string(kind) == "stack") Recurse(0);
    std::thread([] { ReadThrough(nullptr); }).join();  // a thread that is not the engine's
}

TEST_F(WindowsPlatformTest, FaultsNoExceptionCanHelpAreReportedInPlaceAndEndTheProcess) {
    const std::string program = platform::ExecutableFolder() + "/velmor_windows_tests.exe";
    const char* self = program.c_str();
    struct Case {
        const char* kind;
        const char* code;
    };
    for (const Case c : {Case{"stack", "3221225725"}, Case{"thread", "3221225477"}}) {
        SCOPED_TRACE(c.kind);
        const std::string folder = tempDir + "/" + c.kind;
        fs::create_directory(folder);
        testsupport::SetEnvironment("VELMOR_FAULT_CHILD", c.kind);
        testsupport::SetEnvironment("VELMOR_FAULT_FOLDER", folder);
        const intptr_t status =
            _spawnl(_P_WAIT, self, self, "--gtest_filter=WindowsPlatformTest.FaultChild", nullptr);
        testsupport::UnsetEnvironment("VELMOR_FAULT_CHILD");
        EXPECT_EQ(status, platform::kFaultExitStatus);
        const std::string report = ReadFile(folder + "/ehslog.txt");
        EXPECT_NE(report.find("Exception type: Win32."), std::string::npos) << report;
        EXPECT_NE(report.find(std::string("Exception code: ") + c.code), std::string::npos) << report;
        EXPECT_NE(ReadFile(folder + "/gamelog.txt").find(" !!!: Fatal error!"), std::string::npos);
    }
}

TEST_F(WindowsPlatformTest, OneInstanceHoldsTheLockUntilItEnds) {
    auto first = std::make_unique<platform::InstanceLock>("Velmor2D App");
    EXPECT_TRUE(first->Acquired());
    EXPECT_FALSE(platform::InstanceLock("Velmor2D App").Acquired());
    first.reset();
    EXPECT_TRUE(platform::InstanceLock("Velmor2D App").Acquired());
}

TEST_F(WindowsPlatformTest, ReplacingAFileTakesTheNewBytesOverTheOld) {
    WriteFile("qbhs.dat", "old");
    WriteFile("qbhs.tmp", "new bytes");
    ASSERT_TRUE(platform::ReplaceFile("qbhs.tmp", "qbhs.dat"));
    EXPECT_EQ(ReadFile("qbhs.dat"), "new bytes");
    EXPECT_FALSE(testsupport::FileExists("qbhs.tmp"));
    EXPECT_FALSE(platform::ReplaceFile("missing.tmp", "qbhs.dat"));
    EXPECT_EQ(ReadFile("qbhs.dat"), "new bytes");
}

TEST_F(WindowsPlatformTest, ThePlayersFolderGetsTheInstalledPackAndFollowsItsChanges) {
    const std::string installed = tempDir + "/Program Files/Quble/gamedata";
    const std::string player = tempDir + "/AppData/Roaming/Quble";
    fs::create_directories(installed);
    WriteFile(installed + "/quble.pak", "pack one");
    std::string error;
    ASSERT_TRUE(platform::EnterUserFolder(player, installed, error)) << error;
    EXPECT_EQ(fs::current_path(), fs::u8path(player));
    EXPECT_EQ(ReadFile("DATA/quble.pak"), "pack one");
    WriteFile("DATA/mine.txt", "the player's own");

    fs::current_path(fs::u8path(tempDir));
    WriteFile(installed + "/quble.pak", "pack two, longer");
    ASSERT_TRUE(platform::EnterUserFolder(player, installed, error)) << error;
    EXPECT_EQ(ReadFile("DATA/quble.pak"), "pack two, longer");
    EXPECT_EQ(ReadFile("DATA/mine.txt"), "the player's own");
    EXPECT_EQ(platform::UserGameFolder("Quble"), (fs::u8path(platform::UserDataHome()) / "Quble").u8string());
}

}  // namespace
