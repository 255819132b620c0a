#include "test_support.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#endif

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "audio_output.h"
#include "bass.h"
#include "cvelmor.h"
#include "engineroutine.h"
#include "frame_pacer.h"
#include "os.h"
#include "v2dgui_cvelmorgui_main.h"

namespace testsupport {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

void SetEnvironment(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnvironment(const std::string& name) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), "");  // an empty value removes it there
#else
    unsetenv(name.c_str());
#endif
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

#if !defined(_WIN32)
int WaitForChild(pid_t pid, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) return status;
        if (ended < 0 && errno != EINTR) {
            ADD_FAILURE() << "cannot wait for child " << pid << ": " << std::strerror(errno);
            return W_EXITCODE(127, 0);
        }
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "child " << pid << " still ran after " << deadline.count() << " s and was killed";
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
#endif

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool DisplayPromised() {
    const char* promised = std::getenv("VELMOR_REQUIRE_DISPLAY");
    return promised && std::string(promised) == "1";
}

void ResetEngineGlobals() {
    g_bQuitFlag = 0;
    g_bWindowActive = 0;
    g_iDisplayMode = 1;
    SetCheckpoint(0, 0);
}

}  // namespace testsupport

void EngineTest::SetUp() {
    std::error_code ec;
    m_oldDir = std::filesystem::current_path(ec).u8string();
    tempDir = platform::MakeScratchFolder("velmor-test");
    ASSERT_FALSE(tempDir.empty());
    std::filesystem::current_path(std::filesystem::u8path(tempDir), ec);
    ASSERT_FALSE(ec) << ec.message();
    system = &platform::InstallHeadlessSystem();
    input = &platform::InstallHeadlessInputSystem();
    // No sound card is touched: device -1 mixes for the test to pull.
    platform::SetAudioOutput(platform::AudioOutput::Offline);
    windows = &platform::InstallHeadlessWindowSystem();
    d3d = vd3d::InstallRecordingDirect3D();
    // Presents return at once unless a test of the frame cap turns it on.
    vd3d::SetFrameCap(false);
    testsupport::ResetEngineGlobals();
    // An engine or GUI manager an earlier test left behind, already freed or
    // not, would be reached from here on.
    EXPECT_EQ(GetEngine(), nullptr) << "an earlier test left its engine";
    EXPECT_EQ(GetGUI(), nullptr) << "an earlier test left its GUI manager";
    EXPECT_EQ(g_pV2D, nullptr) << "an earlier test left the game's engine pointer";
    EXPECT_EQ(g_pGUIManager, nullptr) << "an earlier test left the game's GUI manager";
    // A single-instance lock of the test's own: no game running on this
    // machine, nor another test, holds it.
    testsupport::SetEnvironment("VELMOR_INSTANCE_LOCK", "velmor-test " + tempDir);
}

void EngineTest::TearDown() {
    testsupport::UnsetEnvironment("VELMOR_INSTANCE_LOCK");
    vbass::BASS_Free();  // whatever a test left open
    vd3d::SetDirect3DFactory(nullptr);
    vd3d::SetFrameCap(true);
    d3d.reset();
    platform::SetWindowSystem(nullptr);
    platform::SetInputSystem(nullptr);
    platform::SetSystem(nullptr);
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::u8path(m_oldDir), ec);
    if (ec) return;
    std::filesystem::remove_all(std::filesystem::u8path(tempDir), ec);
}
