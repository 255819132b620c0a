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

// The game's window on the X server: where it is, how large, and its pixels.
struct XWindowView {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, top row first

    // Where a point of the game's 800x600 picture lands in the window
    // (scaled with its aspect kept, centred).
    float Scale() const { return std::min(width / 800.0f, height / 600.0f); }
    int ToWindowX(float gameX) const { return static_cast<int>((width - 800 * Scale()) / 2 + gameX * Scale()); }
    int ToWindowY(float gameY) const { return static_cast<int>((height - 600 * Scale()) / 2 + gameY * Scale()); }
    // Share of the picture's pixels in a rectangle, every 4 game pixels, that
    // are strongly coloured (tiles and the Start button are).
    float SaturatedShare(float x0, float y0, float x1, float y1) const {
        int saturated = 0, total = 0;
        for (float gy = y0; gy < y1; gy += 4) {
            for (float gx = x0; gx < x1; gx += 4) {
                const int wx = ToWindowX(gx), wy = ToWindowY(gy);
                if (wx < 0 || wy < 0 || wx >= width || wy >= height) continue;
                const uint32_t c = rgb[static_cast<size_t>(wy) * width + wx];
                const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
                saturated += std::max({r, g, b}) - std::min({r, g, b}) > 90;
                ++total;
            }
        }
        return total ? static_cast<float>(saturated) / total : 0.0f;
    }
};

Window FindNamed(Display* display, Window under, const char* name) {
    char* title = nullptr;
    if (XFetchName(display, under, &title) && title) {
        const bool match = std::string(title) == name;
        XFree(title);
        if (match) return under;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, under, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) found = FindNamed(display, children[i], name);
        if (children) XFree(children);
    }
    return found;
}

// The mapped window of that title with its pixels; id 0 when there is none.
XWindowView ViewWindow(const char* name) {
    XWindowView view;
    // Windows come and go while the tree is read: an error is no window.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return view;
    const Window window = FindNamed(display, DefaultRootWindow(display), name);
    XWindowAttributes attributes;
    if (window && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) {
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &view.x, &view.y, &child);
        view.id = window;
        view.width = attributes.width;
        view.height = attributes.height;
        // Read from the screen, where the X server holds what the player
        // sees; the part of the window off the screen stays black.
        view.rgb.assign(static_cast<size_t>(view.width) * view.height, 0);
        const int screenW = DisplayWidth(display, DefaultScreen(display));
        const int screenH = DisplayHeight(display, DefaultScreen(display));
        const int left = std::max(view.x, 0), top = std::max(view.y, 0);
        const int right = std::min(view.x + view.width, screenW), bottom = std::min(view.y + view.height, screenH);
        if (right > left && bottom > top) {
            if (XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, right - left, bottom - top,
                                          AllPlanes, ZPixmap)) {
                for (int y = top; y < bottom; ++y)
                    for (int x = left; x < right; ++x)
                        view.rgb[static_cast<size_t>(y - view.y) * view.width + (x - view.x)] =
                            XGetPixel(image, x - left, y - top) & 0xFFFFFFu;
                XDestroyImage(image);
            }
        }
    }
    XCloseDisplay(display);
    return view;
}

// Share of the pixels two views of one window size differ in; 1 for views
// of different sizes.
float ChangedShare(const XWindowView& a, const XWindowView& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0f;
    size_t changed = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) changed += a.rgb[i] != b.rgb[i];
    return static_cast<float>(changed) / static_cast<float>(a.rgb.size());
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
