// Shared helpers: every engine test runs in a fresh temporary working
// directory on the headless platform.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "d3d8_recording.h"
#include "input_headless.h"
#include "cvelmor_ehs.h"
#include "system_headless.h"
#include "window_headless.h"

namespace testsupport {

std::string ReadFile(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);

// Asks `done` every few milliseconds until it holds or `deadline` has
// passed; true when it held. For what another process or the X server does
// in its own time: a log line, a picture, an exit.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);

// How long a child process may run before the test gives up on it.
constexpr std::chrono::seconds kChildDeadline{60};

#if !defined(_WIN32)

// Waits for the child `pid` to end and returns its wait status. A child
// still running at the deadline is killed, and the test fails.
int WaitForChild(pid_t pid, std::chrono::seconds deadline = kChildDeadline);

// Runs `body` in a forked child and returns its wait status: the child ends
// with the exit status body returns (or dies of a signal, or is killed at the
// deadline, as WaitForChild says).
template <typename Body>
int RunInChild(Body body, std::chrono::seconds deadline = kChildDeadline);
#endif

// The engine exception a call raises; a failure, and an empty exception of
// type 0, when it raises none.
template <typename Call>
CEHSException Raised(Call call) {
    try {
        call();
    } catch (const CEHSException& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was raised";
    return CEHSException(0, 0, "nothing raised", "", 0);
}

// Resets the process-wide engine flags a previous test may have left.
void ResetEngineGlobals();

// True where the test command promises an X server and every tool the
// display tests use (VELMOR_REQUIRE_DISPLAY=1, as scripts/run-tests.sh
// sets): there a test that would skip fails instead.
bool DisplayPromised();

}  // namespace testsupport

// Skips the test when `condition` does not hold, or fails it where a
// display is promised. For SetUp and test bodies (it returns from them).
#define VELMOR_REQUIRE(condition, why)                                       \
    do {                                                                     \
        if (!(condition)) {                                                  \
            if (testsupport::DisplayPromised()) GTEST_FAIL() << (why);       \
            GTEST_SKIP() << (why);                                           \
        }                                                                    \
    } while (0)

#define VELMOR_REQUIRE_DISPLAY() \
    VELMOR_REQUIRE(std::getenv("DISPLAY") != nullptr, "needs an X server (run under xvfb-run)")

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Log() const { return testsupport::ReadFile("gamelog.txt"); }
    std::vector<std::string> LogLines() const { return testsupport::ReadLines("gamelog.txt"); }

    platform::HeadlessSystem* system = nullptr;
    platform::HeadlessInputSystem* input = nullptr;
    platform::HeadlessWindowSystem* windows = nullptr;
    // The recording 3-D device on a typical card; tests may script another.
    std::shared_ptr<vd3d::RecordingControl> d3d;
    std::string tempDir;

private:
    std::string m_oldDir;
};

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>

template <typename Body>
int testsupport::RunInChild(Body body, std::chrono::seconds deadline) {
    static_assert(std::is_same_v<decltype(body()), int>, "the body returns the child's exit status");
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return WaitForChild(pid, deadline);
}
#endif
