// The Windows game as a Windows player meets it, under Wine on the X
// display: the zip's quble.exe started outside its folder plays in the
// player's folder (%APPDATA%\Quble), and the installer installs a game that
// starts, and an uninstaller that leaves the player's folder alone.
// WINEPREFIX is the test run's own, made once (a new one takes a minute).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "x_window.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

const float kStartX = 624, kStartY = 414, kExitX = 624, kExitY = 542;
const float kBoardLeft = 40, kBoardTop = 120, kBoardRight = 400, kBoardBottom = 480;

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class WineGameTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        VELMOR_REQUIRE_DISPLAY();
        const char* prefix = std::getenv("WINEPREFIX");
        ASSERT_TRUE(prefix && fs::is_directory(prefix)) << "needs the run's Wine prefix in WINEPREFIX";
        m_prefix = prefix;
        const fs::path users = m_prefix / "drive_c" / "users";
        for (const auto& user : fs::directory_iterator(users))
            if (fs::is_directory(user.path() / "AppData" / "Roaming")) m_playerFolder = user.path() / "AppData" / "Roaming" / "Quble";
        ASSERT_FALSE(m_playerFolder.empty()) << "no user folder in " << users;
        fs::remove_all(m_playerFolder);
    }
    void TearDown() override {
        Stop();
        EngineTest::TearDown();
    }

    // A Windows program under Wine, started from the test's folder (no DATA).
    void Start(const std::vector<std::string>& arguments) {
        m_pid = fork();
        if (m_pid == 0) {
            setenv("WINEDEBUG", "-all", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            std::vector<char*> argv{const_cast<char*>("wine")};
            for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execvp("wine", argv.data());
            _exit(127);
        }
    }
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
            Shell("wineserver -k > /dev/null 2>&1");
        }
    }
    int WaitForExit(std::chrono::milliseconds deadline = 30s) {
        int status = -1;
        const bool ended = WaitUntil(
            [&] {
                int raw = 0;
                if (waitpid(m_pid, &raw, WNOHANG) != m_pid) return false;
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return true;
            },
            deadline);
        if (ended) m_pid = 0;
        return ended ? status : -1;
    }
    XWindowView WaitForMainWindow() {
        XWindowView view;
        WaitUntil(
            [&] {
                view = ViewWindow("Quble");
                return view.width == 800 && view.height == 600 &&
                       view.SaturatedShare(kStartX - 40, kStartY - 8, kStartX + 40, kStartY + 8) > 0.5f;
            },
            60s);
        return view;
    }
    void Click(const XWindowView& view, float gameX, float gameY) {
        ASSERT_EQ(Shell("xdotool mousemove " + std::to_string(view.x + view.ToWindowX(gameX)) + " " +
                        std::to_string(view.y + view.ToWindowY(gameY)) + " click 1"),
                  0);
    }

    fs::path m_prefix;
    fs::path m_playerFolder;
    pid_t m_pid = 0;
};

// The game's data with a board of three tiles coloured red, green and blue
// by their numbers, packed as the installed game's pack.
void PackThreeTileGame(const fs::path& pack) {
    fs::create_directories("source/DATA");
    fs::copy(QUBLE_DATA_DIR, "source/DATA", fs::copy_options::recursive);
    fs::remove("source/DATA/qbhs.dat");
    testsupport::WriteFile("source/DATA/game/settings.xml",
                           "<xmldata><game qbgameid=\"3\"/><board sizex=\"3\" sizey=\"1\"/>"
                           "<tiles color1r=\"1\" color1g=\"0\" color1b=\"0\" color2r=\"0\" color2g=\"1\" "
                           "color2b=\"0\" color3r=\"0\" color3g=\"0\" color3b=\"1\"/></xmldata>");
    std::string command = std::string(VELMORPAK_BINARY) + " " + Quoted(pack.string());
    for (const auto& entry : fs::directory_iterator("source/DATA"))
        if (entry.path().extension() == ".xml") command += " " + Quoted(fs::absolute(entry.path()).string());
    ASSERT_EQ(Shell(command + " > /dev/null"), 0);
}

// Where the tile of this colour (0xRRGGBB, pure) lies on the board; false
// while none shows.
bool FindTile(const XWindowView& view, int channel, float& x, float& y) {
    double sumX = 0, sumY = 0;
    int count = 0;
    for (float gy = kBoardTop; gy < kBoardBottom; gy += 3) {
        for (float gx = kBoardLeft; gx < kBoardRight; gx += 3) {
            const uint32_t c = view.At(gx, gy);
            const int rgb[3] = {static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF),
                                static_cast<int>(c & 0xFF)};
            const int others = std::max(rgb[(channel + 1) % 3], rgb[(channel + 2) % 3]);
            if (rgb[channel] > 150 && others < 70) {
                sumX += gx;
                sumY += gy;
                ++count;
            }
        }
    }
    if (count < 30) return false;
    x = static_cast<float>(sumX / count);
    y = static_cast<float>(sumY / count);
    return true;
}

TEST_F(WineGameTest, TheZipsGamePlaysARoundInThePlayersFolderAndEndsCleanly) {
    ASSERT_EQ(Shell("unzip -q " + Quoted(VELMOR_WINDOWS_ZIP) + " -d unzipped"), 0);
    const fs::path game = fs::absolute("unzipped/quble-1.0");
    ASSERT_NO_FATAL_FAILURE(PackThreeTileGame(game / "gamedata" / "quble.pak"));

    Start({(game / "quble.exe").string(), "--windowed"});
    XWindowView view = WaitForMainWindow();
    ASSERT_EQ(view.width, 800) << "the main window shows in the X server";
    EXPECT_TRUE(fs::exists(m_playerFolder / "DATA" / "quble.pak")) << "the game runs in the player's folder";

    Click(view, kStartX, kStartY);
    float tileX[3] = {}, tileY[3] = {};
    ASSERT_TRUE(WaitUntil(
        [&] {
            view = ViewWindow("Quble");
            for (int i = 0; i < 3; ++i)
                if (!FindTile(view, i, tileX[i], tileY[i])) return false;
            return true;
        },
        20s))
        << "Start deals the three tiles";
    const XWindowView board = view;
    for (int i = 0; i < 3; ++i) {
        Click(view, tileX[i], tileY[i]);
        std::this_thread::sleep_for(150ms);
    }
    XWindowView previous = board;
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::this_thread::sleep_for(100ms);
            const XWindowView now = ViewWindow("Quble");
            const bool still = ChangedShare(previous, now) < 0.005f && ChangedShare(board, now) > 0.05f;
            previous = now;
            return still;
        },
        20s))
        << "the solved board asks for a name";
    // Typed as a keyboard types (XTEST, with Shift held for the capitals);
    // Wine takes no Shift state from events sent to a window.
    ASSERT_EQ(Shell("xdotool key --delay 60 W i n e space P l a y e r Return"), 0);
    const fs::path record = m_playerFolder / "DATA" / "qbhs.dat";
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(record) && fs::file_size(record) == 16; }, 20s))
        << "the best result is written in the player's folder";
    const std::string bytes = ReadFile(record.string());
    EXPECT_EQ(bytes.substr(0, 12), std::string("Wine Player\0", 12));
    float seconds = 0;
    std::memcpy(&seconds, bytes.data() + 12, 4);
    EXPECT_GT(seconds, 0.0f);
    EXPECT_LT(seconds, 120.0f);

    std::this_thread::sleep_for(500ms);
    Click(ViewWindow("Quble"), kExitX, kExitY);
    EXPECT_EQ(WaitForExit(), 0);
    const std::string log = ReadFile((m_playerFolder / "gamelog.txt").string());
    EXPECT_NE(log.find("End of log."), std::string::npos) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
}

TEST_F(WineGameTest, TheInstallerInstallsAGameThatStartsAndTheUninstallerKeepsThePlayersFolder) {
    Start({VELMOR_WINDOWS_SETUP, "/S"});
    ASSERT_EQ(WaitForExit(120s), 0) << "the silent install ends well";
    const fs::path installed = m_prefix / "drive_c" / "Program Files" / "Quble";
    ASSERT_TRUE(fs::exists(installed / "quble.exe"));
    EXPECT_TRUE(fs::exists(installed / "gamedata" / "quble.pak"));
    EXPECT_TRUE(fs::exists(m_prefix / "drive_c" / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" /
                           "Programs" / "Quble.lnk"));

    Start({(installed / "quble.exe").string(), "--windowed"});
    XWindowView view = WaitForMainWindow();
    ASSERT_EQ(view.width, 800) << "the installed game shows its window";
    Click(view, kExitX, kExitY);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(fs::exists(m_playerFolder / "gamelog.txt"));

    // The uninstaller runs a copy of itself and returns at once.
    Start({(installed / "uninstall.exe").string(), "/S"});
    EXPECT_EQ(WaitForExit(60s), 0);
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(installed); }, 60s)) << "the uninstaller removes the game";
    EXPECT_TRUE(fs::exists(m_playerFolder / "gamelog.txt")) << "and keeps the player's folder";
}

}  // namespace
