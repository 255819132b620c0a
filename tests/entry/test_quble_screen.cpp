// The game as a player sees it: the real program on the X display, clicked
// with xdotool, and the pixels the X server holds for its window.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

// After the test headers: X11 defines macros (None, Bool) that they use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using testsupport::ReadFile;

// The screen as the X server shows it, and where the game's 800x600 frame
// lands on it (scaled with its aspect kept, centred).
struct Screen {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, top row first

    float Scale() const { return std::min(width / 800.0f, height / 600.0f); }
    int ToScreenX(float x) const { return static_cast<int>((width - 800 * Scale()) / 2 + x * Scale()); }
    int ToScreenY(float y) const { return static_cast<int>((height - 600 * Scale()) / 2 + y * Scale()); }
    uint32_t At(float gameX, float gameY) const {
        return rgb[static_cast<size_t>(ToScreenY(gameY)) * static_cast<size_t>(width) + static_cast<size_t>(ToScreenX(gameX))];
    }
    // Share of the game area's pixels, sampled every 4 pixels, that are
    // strongly coloured (tiles are; the dark background and frames are not).
    float SaturatedShare(float x0, float y0, float x1, float y1) const {
        int saturated = 0, total = 0;
        for (float y = y0; y < y1; y += 4) {
            for (float x = x0; x < x1; x += 4) {
                const uint32_t c = At(x, y);
                const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
                saturated += std::max({r, g, b}) - std::min({r, g, b}) > 90;
                ++total;
            }
        }
        return total ? static_cast<float>(saturated) / total : 0.0f;
    }
};

Screen ReadScreen() {
    Screen screen;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return screen;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image != nullptr) {
        screen.width = attributes.width;
        screen.height = attributes.height;
        screen.rgb.resize(static_cast<size_t>(screen.width) * screen.height);
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x)
                screen.rgb[static_cast<size_t>(y) * screen.width + x] = XGetPixel(image, x, y) & 0xFFFFFFu;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return screen;
}

void ClickAt(const Screen& screen, float gameX, float gameY) {
    const std::string command = "xdotool mousemove " + std::to_string(screen.ToScreenX(gameX)) + " " +
                                std::to_string(screen.ToScreenY(gameY)) + " click 1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The game runs in the test's own folder, on a copy of the game's data,
// with the test's own instance lock.
class QubleScreenTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        VELMOR_REQUIRE_DISPLAY();
        std::filesystem::copy(QUBLE_DATA_DIR, "DATA", std::filesystem::copy_options::recursive);
        std::error_code ignored;
        std::filesystem::remove("DATA/qbhs.dat", ignored);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        EngineTest::TearDown();
    }
    void StartGame() {
        m_pid = fork();
        if (m_pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            execl(QUBLE_BINARY, "quble", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    std::string Log() const { return ReadFile("gamelog.txt"); }
    // Until the text is in the log, at most ten seconds.
    bool WaitForLog(const std::string& text) const {
        for (int i = 0; i < 200; ++i) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The exit status, or -1 when it has not ended within ten seconds.
    int WaitForExit() {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    pid_t m_pid = 0;
};

// The board area of the game's data: 5 x 5 cells of 72 pixels from (40, 120).
const float kBoardLeft = 40, kBoardTop = 120, kBoardRight = 400, kBoardBottom = 480;
// The main window's Start and Exit buttons, centred.
const float kStartX = 624, kStartY = 414, kExitX = 624, kExitY = 542;

TEST_F(QubleScreenTest, StartDealsTilesThatTheWindowShowsAndExitEndsTheGame) {
    StartGame();
    ASSERT_TRUE(WaitForLog("Loading highscore data...")) << Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the main window fades in
    const Screen before = ReadScreen();
    ASSERT_GT(before.width, 0) << "cannot read the X screen";
    const float emptyBoard = before.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom);
    EXPECT_LT(emptyBoard, 0.05f) << "no tiles before Start";

    ClickAt(before, kStartX, kStartY);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const Screen dealt = ReadScreen();
    const float tiles = dealt.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom);
    EXPECT_GT(tiles, 0.3f) << "the X window shows the dealt tiles";

    ClickAt(dealt, kExitX, kExitY);
    EXPECT_EQ(WaitForExit(), 0);
    const std::string log = Log();
    EXPECT_EQ(log.find("Fatal error"), std::string::npos) << log;
    EXPECT_NE(log.find("End of log."), std::string::npos) << log;
}

}  // namespace
