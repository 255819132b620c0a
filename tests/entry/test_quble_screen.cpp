// The game as a player sees it: the real program on the X display, clicked
// with xdotool, and the pixels the X server holds for its window.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

// After the test headers: X11 defines macros (None, Bool) that they use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using testsupport::ReadFile;
using testsupport::WaitUntil;

// Tiles and buttons are strongly coloured; the dark background and frames
// are not.
bool IsSaturated(uint32_t c) {
    const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
    return std::max({r, g, b}) - std::min({r, g, b}) > 90;
}

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
    // strongly coloured.
    float SaturatedShare(float x0, float y0, float x1, float y1) const {
        int saturated = 0, total = 0;
        for (float y = y0; y < y1; y += 4) {
            for (float x = x0; x < x1; x += 4) {
                saturated += IsSaturated(At(x, y));
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
        return WaitUntil([&] { return Log().find(text) != std::string::npos; }, std::chrono::seconds(10));
    }
    // The exit status, or -1 when it has not ended within ten seconds.
    int WaitForExit() {
        int status = 0;
        if (!WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, std::chrono::seconds(10)))
            return -1;
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t m_pid = 0;
};

// The board area of the game's data: 5 x 5 cells of 72 pixels from (40, 120).
const float kBoardLeft = 40, kBoardTop = 120, kBoardRight = 400, kBoardBottom = 480;
// The main window's Start and Exit buttons, centred.
const float kStartX = 624, kStartY = 414, kExitX = 624, kExitY = 542;

// The screen once the main window has faded in (it takes clicks only then):
// its Start button in full colour, and the picture the same in two looks
// in a row. An empty screen when that does not happen within ten seconds.
Screen WaitForMainWindow() {
    Screen previous, now;
    const bool shown = WaitUntil(
        [&] {
            previous = std::move(now);
            now = ReadScreen();
            return now.width > 0 && now.rgb == previous.rgb && IsSaturated(now.At(kStartX - 84, kStartY));
        },
        std::chrono::seconds(10));
    return shown ? now : Screen();
}

TEST_F(QubleScreenTest, StartDealsTilesThatTheWindowShowsAndExitEndsTheGame) {
    StartGame();
    ASSERT_TRUE(WaitForLog("Loading highscore data...")) << Log();
    const Screen before = WaitForMainWindow();
    ASSERT_GT(before.width, 0) << "the X screen never showed the main window";
    const float emptyBoard = before.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom);
    EXPECT_LT(emptyBoard, 0.05f) << "no tiles before Start";

    ClickAt(before, kStartX, kStartY);
    Screen dealt;
    float tiles = 0.0f;
    WaitUntil(
        [&] {
            dealt = ReadScreen();
            tiles = dealt.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom);
            return tiles > 0.3f;
        },
        std::chrono::seconds(5));
    EXPECT_GT(tiles, 0.3f) << "the X window shows the dealt tiles";

    ClickAt(dealt, kExitX, kExitY);
    EXPECT_EQ(WaitForExit(), 0);
    const std::string log = Log();
    EXPECT_EQ(log.find("Fatal error"), std::string::npos) << log;
    EXPECT_NE(log.find("End of log."), std::string::npos) << log;
}

}  // namespace
