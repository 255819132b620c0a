// The installed game's per-user folder: where it is, what the first start
// makes there, and a best result kept there from one start to the next.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "game_fixtures.h"
#include "user_folder.h"

namespace {

namespace fs = std::filesystem;

// The game's screens with every identifier the game addresses, for a board
// of one tile.
const char* const kScreens = R"(<desktop>
  <window id="WND_DTP_MAINWINDOW" coords="0 0 800 600">
    <flex id="FLX_MW_GAMEBOARD" coords="40 100 60 50" on_redraw="FLX_MW_GAMEBOARD_ONREDRAW"/>
    <label id="L_MW_TIME_TIME" coords="500 20 200 20" font="FNT_FONT1"/>
    <tile id="TILE_MW_TIME" coords="480 20 16 16" visible="0"/>
    <tile id="TILE_MW_BESTRESULT" coords="480 60 300 60" visible="0">
      <label id="L_MW_BESTRESULT_NAME" coords="0 0 300 20" font="FNT_FONT1"/>
      <label id="L_MW_BESTRESULT_TIME" coords="0 20 300 20" font="FNT_FONT1"/>
    </tile>
  </window>
  <window id="WND_DTP_HELP" coords="100 100 400 300" on_show="WND_DTP_HELP_ONSHOW"/>
  <window id="WND_DTP_COMPLETE" coords="100 100 400 300" on_show="WND_DTP_COMPLETE_ONSHOW"/>
  <window id="WND_DTP_HIGHSCORE" coords="100 100 400 300" on_show="WND_DTP_HIGHSCORE_ONSHOW">
    <textbox id="TBX_HS_NAME" coords="20 20 300 20" font="FNT_FONT1" on_input="TBX_HS_NAME_ONINPUT"/>
    <button id="BTN_HS_OK" coords="20 60 100 30" on_press="BTN_HS_OK_ONPRESS"/>
  </window>
</desktop>)";

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value) {
            testsupport::SetEnvironment(name, *value);
        } else {
            testsupport::UnsetEnvironment(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            testsupport::SetEnvironment(m_name, *m_old);
        } else {
            testsupport::UnsetEnvironment(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string WorkingFolder() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof(cwd)) ? cwd : "";
}

class UserFolderTest : public gametest::GameTest {
protected:
    // The game's data packed as the install puts it: PREFIX/share/quble.
    std::string InstallGame(const std::string& prefix) {
        const std::string source = tempDir + "/source";
        fs::create_directories(source);
        EXPECT_EQ(chdir(source.c_str()), 0);
        gametest::WriteGameData(kScreens, gametest::BoardSettings(1, 1));
        EXPECT_EQ(chdir(tempDir.c_str()), 0);
        const std::string data = prefix + "/share/quble";
        fs::create_directories(data);
        const std::string command = std::string("'") + VELMORPAK_BINARY + "' '" + data + "/quble.pak' '" + source +
                                    "/DATA/res.xml' > /dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return data;
    }
    // A start as main makes it from another folder, up to GameModInit.
    void StartInstalled(const std::string& userFolder, const std::string& installedData) {
        fs::create_directories(tempDir + "/elsewhere");
        ASSERT_EQ(chdir((tempDir + "/elsewhere").c_str()), 0);
        std::string error;
        ASSERT_TRUE(platform::EnterUserFolder(userFolder, installedData, error)) << error;
        ASSERT_EQ(WorkingFolder(), userFolder);
        try {
            StartGame();
        } catch (const CEHSException& e) {
            FAIL() << e.GetDesc() << " in " << e.GetFile() << ":" << e.GetLine();
        }
    }
    void StopGame() {
        GameShutdown();
        engine.reset();
        g_pV2D = nullptr;
    }
    std::string Text(const char* element) { return g_pGUIManager->GetElementParam(element, "text").GetString(); }
};

TEST_F(UserFolderTest, TheFolderIsUnderTheXdgDataHomeOrTheHomeFolder) {
    struct Case {
        std::optional<std::string> xdg;
        std::string expected;
    };
    const Case cases[] = {
        {std::string("/srv/players/ann/data"), "/srv/players/ann/data"},
        {std::string("relative/data"), "/home/ann/.local/share"},  // relative values are invalid
        {std::string(""), "/home/ann/.local/share"},
        {std::nullopt, "/home/ann/.local/share"},
    };
    ScopedEnv home("HOME", std::string("/home/ann"));
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        EXPECT_EQ(platform::UserDataHome(), c.expected) << (c.xdg ? *c.xdg : "unset");
    }
}

TEST_F(UserFolderTest, FirstStartMakesTheFolderTheBestResultLandsThereAndTheNextStartReadsIt) {
    const std::string installed = InstallGame(tempDir + "/usr");
    const std::string userFolder = tempDir + "/xdg/quble";
    ASSERT_FALSE(fs::exists(userFolder));

    StartInstalled(userFolder, installed);
    ASSERT_TRUE(fs::is_symlink(userFolder + "/DATA/quble.pak"));
    EXPECT_EQ(fs::read_symlink(userFolder + "/DATA/quble.pak"), fs::path(installed) / "quble.pak");
    EXPECT_NE(Log().find("Resources Subsystem operates in PAK mode."), std::string::npos);
    EXPECT_EQ(g_xvSizeX.GetValue(), 1);

    // A round of one tile, then the new record confirmed under a name.
    StartNewGame();
    ClickTile(1);
    ASSERT_EQ(g_iGameState, GAMESTATE_DIALOG);
    g_pGUIManager->SetElementParam("TBX_HS_NAME", "text", CGUIValue(std::string("Ann Lee")));
    g_pGUIManager->FindActionFunction("BTN_HS_OK_ONPRESS")();
    const float time = g_fBestTime;
    EXPECT_GT(time, 0.0f);
    StopGame();

    std::string expected = "Ann Lee";
    expected.push_back('\0');
    expected.append(reinterpret_cast<const char*>(&time), 4);
    EXPECT_EQ(testsupport::ReadFile(userFolder + "/DATA/qbhs.dat"), expected);
    EXPECT_TRUE(testsupport::FileExists(userFolder + "/gamelog.txt"));
    EXPECT_TRUE(fs::is_empty(tempDir + "/elsewhere")) << "nothing is written where the game was started";

    StartInstalled(userFolder, installed);
    EXPECT_EQ(Text("L_MW_BESTRESULT_NAME"), "Ann Lee");
    EXPECT_EQ(Text("L_MW_BESTRESULT_TIME"), FloatToString(time));
    EXPECT_TRUE(g_pGUIManager->GetElementParam("TILE_MW_BESTRESULT", "visible").GetBoolean());
    StopGame();
    EXPECT_EQ(testsupport::ReadFile(userFolder + "/DATA/qbhs.dat"), expected);

    // Another player on the same machine has a folder of their own.
    const std::string otherFolder = tempDir + "/home/bob/.local/share/quble";
    StartInstalled(otherFolder, installed);
    EXPECT_FALSE(g_pGUIManager->GetElementParam("TILE_MW_BESTRESULT", "visible").GetBoolean());
    EXPECT_FALSE(testsupport::FileExists(otherFolder + "/DATA/qbhs.dat"));
    EXPECT_EQ(testsupport::ReadFile(userFolder + "/DATA/qbhs.dat"), expected);
}

TEST_F(UserFolderTest, LinksFollowTheInstalledPacksAndTheUsersOwnFilesStay) {
    const std::string oldInstall = InstallGame(tempDir + "/old");
    const std::string newInstall = InstallGame(tempDir + "/new");
    const std::string userFolder = tempDir + "/xdg/quble";
    std::string error;
    ASSERT_TRUE(platform::EnterUserFolder(userFolder, oldInstall, error)) << error;
    fs::create_symlink(oldInstall + "/quble.pak", userFolder + "/DATA/retired.pak");  // a pack no longer installed
    testsupport::WriteFile(userFolder + "/DATA/mine.pak", "the player's own");
    testsupport::WriteFile(userFolder + "/DATA/qbhs.dat", "kept");

    ASSERT_TRUE(platform::EnterUserFolder(userFolder, newInstall, error)) << error;
    EXPECT_EQ(fs::read_symlink(userFolder + "/DATA/quble.pak"), fs::path(newInstall) / "quble.pak");
    EXPECT_FALSE(fs::exists(fs::symlink_status(userFolder + "/DATA/retired.pak")));
    EXPECT_EQ(testsupport::ReadFile(userFolder + "/DATA/mine.pak"), "the player's own");
    EXPECT_EQ(testsupport::ReadFile(userFolder + "/DATA/qbhs.dat"), "kept");
}

TEST_F(UserFolderTest, FailuresSayWhatIsWrongAndLeaveTheWorkingFolder) {
    const std::string installed = InstallGame(tempDir + "/usr");
    fs::create_directories(tempDir + "/nothing-installed");
    testsupport::WriteFile(tempDir + "/a-file", "x");
    struct Case {
        std::string userFolder;
        std::string installedData;
        std::string message;
    };
    const Case cases[] = {
        {tempDir + "/xdg/quble", tempDir + "/nothing-installed", "No game data is installed in"},
        {tempDir + "/xdg/quble", tempDir + "/missing", "Cannot read the installed game data in"},
        {tempDir + "/a-file/quble", installed, "Cannot create the folder"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(platform::EnterUserFolder(c.userFolder, c.installedData, error)) << c.message;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_EQ(WorkingFolder(), tempDir);
    }
}

}  // namespace
