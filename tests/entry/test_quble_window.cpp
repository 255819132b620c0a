// The game in a window of the player's choice, as the X server shows it:
// the window's size, Alt+Enter, a resized window whose clicks still land
// where the player sees them, and the choice remembered for the next start.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "x_window.h"

// After the test headers: X11 defines macros (None, Bool) that they use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using testsupport::ReadFile;

// Polls until `done` holds, at most `seconds`.
bool WaitUntil(const std::function<bool()>& done, double seconds = 10.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

void ScreenSize(int& width, int& height) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
    XCloseDisplay(display);
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// The game's Start and Exit buttons and its board, in picture pixels.
const float kStartX = 624, kStartY = 414, kExitX = 624, kExitY = 542;
const float kBoardLeft = 40, kBoardTop = 120, kBoardRight = 400, kBoardBottom = 480;

class QubleWindowTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        VELMOR_REQUIRE_DISPLAY();
        std::filesystem::copy(QUBLE_DATA_DIR, "DATA", std::filesystem::copy_options::recursive);
        std::error_code ignored;
        std::filesystem::remove("DATA/qbhs.dat", ignored);
    }
    void TearDown() override {
        Stop();
        EngineTest::TearDown();
    }
    void Start(const char* option, const char* locale = nullptr) {
        m_pid = fork();
        if (m_pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (locale) setenv("LC_ALL", locale, 1);
            execl(QUBLE_BINARY, "quble", option, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }
    // The exit status, or -1 when the game has not ended within ten seconds.
    int WaitForExit() {
        int status = -1;
        const bool ended = WaitUntil([&] {
            int raw = 0;
            if (waitpid(m_pid, &raw, WNOHANG) != m_pid) return false;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        });
        if (ended) m_pid = 0;
        return ended ? status : -1;
    }
    // The game's window once it has this size and shows its main window.
    XWindowView WaitForWindow(int width, int height) {
        XWindowView view;
        WaitUntil([&] {
            view = ViewWindow("Quble");
            return view.width == width && view.height == height &&
                   view.SaturatedShare(kStartX - 40, kStartY - 8, kStartX + 40, kStartY + 8) > 0.5f;
        });
        return view;
    }
    void Click(const XWindowView& view, float gameX, float gameY) {
        ASSERT_EQ(Shell("xdotool mousemove " + std::to_string(view.x + view.ToWindowX(gameX)) + " " +
                      std::to_string(view.y + view.ToWindowY(gameY)) + " click 1"),
                  0);
    }

    pid_t m_pid = 0;
};

TEST_F(QubleWindowTest, AWindowAltEnterAndAResizeKeepThePictureAndTheClicksInPlace) {
    int screenW = 0, screenH = 0;
    ScreenSize(screenW, screenH);
    Start("--windowed");
    XWindowView view = WaitForWindow(800, 600);
    ASSERT_EQ(view.width, 800) << "the window at the picture's size on a " << screenW << "x" << screenH << " screen";
    EXPECT_EQ(view.x, (screenW - 800) / 2);

    const std::string toggle = "xdotool key --window " + std::to_string(view.id) + " alt+Return";
    ASSERT_EQ(Shell(toggle), 0);
    view = WaitForWindow(screenW, screenH);
    EXPECT_EQ(view.width, screenW) << "Alt+Enter covers the screen";
    ASSERT_EQ(Shell(toggle), 0);
    view = WaitForWindow(800, 600);
    EXPECT_EQ(view.width, 800) << "and back into the window";

    // A window of another shape: bars at the sides, and a click on Start
    // lands on Start.
    ASSERT_EQ(Shell("xdotool windowsize " + std::to_string(view.id) + " 1000 700"), 0);
    view = WaitForWindow(1000, 700);
    ASSERT_EQ(view.width, 1000);
    EXPECT_EQ(view.rgb[350 * 1000 + 5], 0u) << "a black bar left of the picture";
    Click(view, kStartX, kStartY);
    EXPECT_TRUE(WaitUntil([&] {
        view = ViewWindow("Quble");
        return view.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom) > 0.3f;
    })) << "the tiles are dealt";

    // A round in progress lives through Alt+Enter.
    ASSERT_EQ(Shell(toggle), 0);
    view = WaitForWindow(screenW, screenH);
    EXPECT_GT(view.SaturatedShare(kBoardLeft, kBoardTop, kBoardRight, kBoardBottom), 0.3f);
    ASSERT_EQ(Shell(toggle), 0);
    view = WaitForWindow(1000, 700);

    Click(view, kExitX, kExitY);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_NE(ReadFile("display.cfg").find("display=window\nwidth=1000\nheight=700\n"), std::string::npos)
        << ReadFile("display.cfg");

    // The next start without options opens the same window.
    Start(nullptr);
    view = WaitForWindow(1000, 700);
    EXPECT_EQ(view.width, 1000);
    EXPECT_EQ(view.height, 700);
}

TEST_F(QubleWindowTest, HelpVersionAndAWrongOptionAnswerWithoutAWindow) {
    EXPECT_EQ(Shell(std::string(QUBLE_BINARY) + " --help > out.txt"), 0);
    EXPECT_NE(ReadFile("out.txt").find("--windowed"), std::string::npos);
    EXPECT_EQ(Shell(std::string(QUBLE_BINARY) + " --version > out.txt"), 0);
    EXPECT_EQ(ReadFile("out.txt"), "quble 1.0\n");
    const int status = Shell(std::string(QUBLE_BINARY) + " --sideways 2> err.txt > out.txt");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile("err.txt").find("unknown option '--sideways'"), std::string::npos);
    EXPECT_EQ(ReadFile("out.txt"), "");
    EXPECT_FALSE(testsupport::FileExists("gamelog.txt")) << "no game was started";
}

// A record's name typed on the player's own layout: the letters the keys
// give there, shown in the name box and stored as UTF-8. A board of one
// tile makes the record one click away.
TEST_F(QubleWindowTest, ANameTypedOnAGermanOrFrenchLayoutIsStoredAsTyped) {
    VELMOR_REQUIRE(Shell("command -v setxkbmap > /dev/null 2>&1") == 0, "needs setxkbmap");
    testsupport::WriteFile("DATA/game/settings.xml",
                           "<xmldata><game qbgameid=\"3\"/><board sizex=\"1\" sizey=\"1\"/>"
                           "<tiles color1r=\"1\" color1g=\"0\" color1b=\"0\" color2r=\"1\" color2g=\"0\" "
                           "color2b=\"0\" color3r=\"1\" color3g=\"0\" color3b=\"0\"/></xmldata>");
    struct UsLayoutAgain {
        ~UsLayoutAgain() { EXPECT_EQ(Shell("setxkbmap us"), 0); }
    } restore;
    // The keys a player presses there: letters where the layout has them, ë
    // and ü through the dead diaeresis where it has none (no remapped keys).
    const std::pair<const char*, const char*> layouts[] = {
        {"de", "Z o dead_diaeresis e space M udiaeresis l l e r"},
        {"fr", "Z o dead_diaeresis e space M dead_diaeresis u l l e r"},
    };
    for (const auto& [layout, keys] : layouts) {
        SCOPED_TRACE(layout);
        std::error_code ignored;
        std::filesystem::remove("DATA/qbhs.dat", ignored);
        ASSERT_EQ(Shell(std::string("setxkbmap ") + layout), 0);
        Start("--windowed", "C.UTF-8");
        XWindowView view = WaitForWindow(800, 600);
        ASSERT_EQ(view.width, 800);
        Click(view, kStartX, kStartY);
        const float tileX = kBoardLeft + 36, tileY = kBoardTop + 36;  // the one tile, in the first cell
        ASSERT_TRUE(WaitUntil([&] {
            view = ViewWindow("Quble");
            return view.SaturatedShare(tileX - 20, tileY - 20, tileX + 20, tileY + 20) > 0.5f;
        })) << "the tile is dealt";
        const XWindowView board = ViewWindow("Quble");
        Click(view, tileX, tileY);
        // The record window has faded in (it gives the name box the keyboard
        // as it shows) once the picture has changed and holds still but for
        // the blinking cursor.
        XWindowView previous = board;
        EXPECT_TRUE(WaitUntil([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const XWindowView now = ViewWindow("Quble");
            const bool still = ChangedShare(previous, now) < 0.005f && ChangedShare(board, now) > 0.05f;
            previous = now;
            return still;
        })) << "the record window shows";
        const std::string window = std::to_string(view.id);
        ASSERT_EQ(Shell("xdotool key --window " + window + " --delay 40 " + keys), 0);
        ASSERT_EQ(Shell("xdotool key --window " + window + " Return"), 0);
        EXPECT_TRUE(WaitUntil([] { return testsupport::FileExists("DATA/qbhs.dat"); }));
        const std::string stored = ReadFile("DATA/qbhs.dat");
        EXPECT_EQ(stored.substr(0, stored.find('\0')), "Zo\xC3\xAB M\xC3\xBCller");
        Stop();
    }
}

}  // namespace
