// velmor-check, the data checker, run as a program: a clean folder passes,
// and each kind of damage to a copy is reported once, at its file and line,
// with exit status 1 and no crash.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>

#include "game_fixtures.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

struct CheckRun {
    int status = -1;  // the exit status, or -1 when the checker did not exit normally
    std::vector<std::string> lines;
};

CheckRun RunCheck(const std::string& arguments) {
    const std::string command = std::string("'") + VELMOR_CHECK_BINARY + "' " + arguments + " 2>&1";
    CheckRun run;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return run;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), out)) > 0;) text.append(buffer, n);
    const int status = pclose(out);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
    return run;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

void Replace(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = ReadFile(path);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << path;
    text.replace(at, from.size(), to);
    WriteFile(path, text);
}

// The GUI data of the clean folder: one line per element, so that the lines
// below are the lines the checker must name.
const char* const kGui = R"(<desktop>
  <window id="WND_A" coords="0 0 800 600" style="STY_PANEL" on_show="OnShow" sound_show="SND_PIECEMOVE">
    <tile id="TILE_A" coords="10 10 64 64" texture="TEX_TILE" technique="TEQ_STD2" drawscheme="4" visible="1"/>
    <label id="L_A" coords="10 80 200 20" font="FNT_FONT1" text="hello"/>
    <animtile id="ANI_A" coords="100 10 32 32" enum_frames="ENM_FRAMES"/>
    <button id="BTN_A" coords="10 120 100 30" hotkey="RETURN" on_press="OnShow"/>
  </window>
</desktop>)";

// A second descriptor beside the one the game fixtures write: scripts, a
// style and an enumeration.
const char* const kExtraDescriptor = R"(<respack>
  <r id="SCR_MAIN" typeid="SCRIPT" filename="scripts/main.lua" tag="1"/>
  <r id="SCR_EXTRA" typeid="SCRIPT" filename="scripts/extra.lua" tag="1"/>
  <r id="STY_PANEL" typeid="GUISTYLEDATA" filename="gui/panel.xml" tag="0"/>
  <r id="ENM_FRAMES" typeid="GUIENUMDATA" filename="gui/frames.xml" tag="0"/>
</respack>)";

class VelmorCheckTest : public EngineTest {
protected:
    // A clean data folder at `folder`/DATA that uses every kind of resource.
    void WriteCleanData(const std::string& folder) {
        fs::create_directories(folder);
        ASSERT_EQ(chdir(folder.c_str()), 0);
        gametest::WriteGameData(kGui);
        fs::create_directories("DATA/scripts");
        fs::create_directories("DATA/gui");
        WriteFile("DATA/extra.xml", kExtraDescriptor);
        WriteFile("DATA/scripts/main.lua", "function OnShow() end\n");
        WriteFile("DATA/scripts/extra.lua", "function Helper(a) return a end\n");
        WriteFile("DATA/gui/panel.xml", "<guistyle color=\"1 1 1 0.9\" time_showhide=\"0.2\"/>");
        WriteFile("DATA/gui/frames.xml", "<guienum f1=\"TEX_TILE\" f2=\"TEX_BG\"/>");
        ASSERT_EQ(chdir(tempDir.c_str()), 0);
    }
};

TEST_F(VelmorCheckTest, CleanDataPassesInLooseFilesAndInAPack) {
    WriteCleanData(tempDir + "/clean");
    CheckRun run = RunCheck("'" + tempDir + "/clean/DATA'");
    EXPECT_EQ(run.status, 0) << Joined(run.lines);
    EXPECT_TRUE(run.lines.empty()) << Joined(run.lines);

    // The same folder as one pack, checked from the folder that holds DATA/
    // (the default).
    fs::create_directories(tempDir + "/packed/DATA");
    const std::string pack = tempDir + "/packed/DATA/game.pak";
    // The GUI data goes last, so that cutting the pack short loses only it.
    ASSERT_EQ(std::system(("'" + std::string(VELMORPAK_BINARY) + "' '" + pack + "' '" + tempDir +
                           "/clean/DATA/extra.xml' '" + tempDir + "/clean/DATA/res.xml' > /dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(chdir((tempDir + "/packed").c_str()), 0);
    run = RunCheck("");
    EXPECT_EQ(run.status, 0) << Joined(run.lines);
    EXPECT_TRUE(run.lines.empty()) << Joined(run.lines);
    EXPECT_EQ(std::distance(fs::directory_iterator(tempDir + "/packed"), fs::directory_iterator()), 1)
        << "the checker writes nothing beside the data";

    // A pack whose last resource, the GUI data, was cut off.
    const uintmax_t size = fs::file_size(pack);
    fs::resize_file(pack, size - 10);
    run = RunCheck("--json");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u) << Joined(run.lines);
    EXPECT_TRUE(std::regex_search(run.lines[0], std::regex(R"(^\{"folder": "DATA", "problems": \[\{"file": "game.pak", )"
                                                            R"("line": null, "message": "GUI_GAME: its bytes lie outside the pack"\}\]\}$)")))
        << run.lines[0];
}

struct Damage {
    const char* what;
    std::function<void()> apply;  // runs inside the copy's DATA folder
    std::vector<std::string> expected;  // the report's lines; a trailing '*' matches any rest
};

TEST_F(VelmorCheckTest, EachDamageIsReportedOnceAtItsFileAndLine) {
    const std::string gui = "art/gui.xml";
    const Damage damages[] = {
        {"duplicate resource", [] { Replace("extra.xml", "</respack>", "<r id=\"SCR_MAIN\" typeid=\"TEXTURE\" filename=\"art/bg.png\" tag=\"1\"/></respack>"); },
         {"extra.xml:6: duplicate resource ID 'SCR_MAIN' (first declared in extra.xml:2)"}},
        {"missing file", [] { Replace("extra.xml", "</respack>", "<r id=\"TEX_NEW\" typeid=\"TEXTURE\" filename=\"art/none.png\" tag=\"1\"/></respack>"); },
         {"extra.xml:6: file 'art/none.png' of 'TEX_NEW' does not exist"}},
        {"unknown resource type", [] { Replace("extra.xml", "typeid=\"SCRIPT\" filename=\"scripts/extra.lua\"", "typeid=\"SCRIPTS\" filename=\"scripts/extra.lua\""); },
         {"extra.xml:3: resource 'SCR_EXTRA' has the unknown type 'SCRIPTS'"}},
        {"tag not a number", [] { Replace("extra.xml", "scripts/extra.lua\" tag=\"1\"", "scripts/extra.lua\" tag=\"one\""); },
         {"extra.xml:3: tag of 'SCR_EXTRA' is not a whole number: 'one'"}},
        {"undecodable image", [] { WriteFile("art/cursor.png", "not an image at all"); }, {"art/cursor.png: TEX_CURSOR: *"}},
        {"undecodable sound", [] { WriteFile("art/click.wav", "RIFF but nothing more"); }, {"art/click.wav: SND_PIECEMOVE: *"}},
        {"undecodable music", [] { WriteFile("art/music.mod", std::string(300, 'x')); },
         {"art/music.mod: MUS_GAME: not a music module that can be played"}},
        {"font without cell size", [] { Replace("art/font.xml", " cellsize=\"16\"", ""); },
         {"art/font.xml: FNT_FONT1: Invalid font cell size!", "art/gui.xml:4: unknown font 'FNT_FONT1'"}},
        {"font page with an advance off the page",
         [] { Replace("art/font.xml", "/>", " fallback=\"127\"><page textureid=\"TEX_FONT1\" first=\"256\" rows=\"1\" "
                                           "cs256=\"8\" cs300=\"8\"/></fontdesc>"); },
         {"art/font.xml: FNT_FONT1: page from 256: 'cs300' is not one of its code points (256 to 271)"}},
        {"font pages without a fallback glyph",
         [] { Replace("art/font.xml", "/>", "><page textureid=\"TEX_FONT1\" first=\"256\" cs256=\"8\"/></fontdesc>"); },
         {"art/font.xml: FNT_FONT1: pages but no 'fallback' glyph: letters the font lacks draw as blanks"}},
        {"overlapping font pages",
         [] { Replace("art/font.xml", "/>", "><page textureid=\"TEX_FONT1\" first=\"256\" cs256=\"8\"/>"
                                           "<page textureid=\"TEX_FONT1\" first=\"300\" cs300=\"8\"/></fontdesc>"); },
         {"art/font.xml: FNT_FONT1: pages but no 'fallback' glyph: letters the font lacks draw as blanks",
          "art/font.xml: FNT_FONT1: Overlapping font pages!", "art/gui.xml:4: unknown font 'FNT_FONT1'"}},
        {"font in a later tag than the GUI data", [] { Replace("res.xml", "font.xml\" tag=\"2\"", "font.xml\" tag=\"5\""); },
         {"art/gui.xml:4: font 'FNT_FONT1' has tag 5, which loads after this GUI data: declare it before the GUI "
          "data, with the GUI data's tag 3 (a tag loads in the order it is declared)"}},
        {"font declared after the GUI data in its tag",
         [] {
             Replace("res.xml", "<r id=\"FNT_FONT1\" typeid=\"FONT\" filename=\"art/font.xml\" tag=\"2\"/>", "");
             Replace("res.xml", "</respack>", "<r id=\"FNT_FONT1\" typeid=\"FONT\" filename=\"art/font.xml\" tag=\"3\"/></respack>");
         },
         {"art/gui.xml:4: font 'FNT_FONT1' loads only after this GUI data: declare it before the GUI data, with the "
          "GUI data's tag 3 (a tag loads in the order it is declared)"}},
        {"technique without an id", [] { Replace("art/techniques.xml", "</techniquespack>", "<t alphablending=\"ON\"/></techniquespack>"); },
         {"art/techniques.xml: TEQ_PACK: Ivanlid technique ID!"}},
        {"script that does not compile", [] { WriteFile("scripts/extra.lua", "function Helper(a return a end\n"); },
         {"scripts/extra.lua: SCR_EXTRA: *"}},
        {"XML that is not XML", [] { WriteFile("art/board.xml", "\x01\x02 nothing here"); },
         {"art/board.xml: XML_BOARD: *"}},
        {"unknown class", [] { Replace("art/gui.xml", "<animtile id", "<animtyle id"); },
         {"art/gui.xml:5: ANI_A: Cannot add GUI element: invalid class! *"}},
        {"unknown parameter", [] { Replace("art/gui.xml", "drawscheme=\"4\"", "drawscheme=\"4\" colour=\"1 1 1 1\""); },
         {"art/gui.xml:3: unknown parameter 'colour' on TILE_A"}},
        {"parameter the class lacks", [] { Replace("art/gui.xml", "hello\"", "hello\" checked=\"1\""); },
         {"art/gui.xml:4: L_A: *"}},
        {"unknown style", [] { Replace("art/gui.xml", "STY_PANEL", "STY_NONE"); },
         {"art/gui.xml:2: unknown style 'STY_NONE' on WND_A"}},
        {"unknown enumeration", [] { Replace("art/gui.xml", "ENM_FRAMES", "ENM_NONE"); },
         {"art/gui.xml:5: ANI_A: Cannot find GUIENUM data! ID = ENM_NONE"}},
        {"unknown texture", [] { Replace("art/gui.xml", "texture=\"TEX_TILE\"", "texture=\"TEX_NONE\""); },
         {"art/gui.xml:3: unknown texture 'TEX_NONE'"}},
        {"unknown technique", [] { Replace("art/gui.xml", "technique=\"TEQ_STD2\"", "technique=\"TEQ_NONE\""); },
         {"art/gui.xml:3: unknown technique 'TEQ_NONE'"}},
        {"unknown font", [] { Replace("art/gui.xml", "font=\"FNT_FONT1\"", "font=\"FNT_NONE\""); },
         {"art/gui.xml:4: unknown font 'FNT_NONE'"}},
        {"unknown sound", [] { Replace("art/gui.xml", "sound_show=\"SND_PIECEMOVE\"", "sound_show=\"SND_NONE\""); },
         {"art/gui.xml:2: unknown sound 'SND_NONE'"}},
        {"unknown key", [] { Replace("art/gui.xml", "RETURN", "RETRUN"); },
         {"art/gui.xml:6: unknown key name 'RETRUN' for 'hotkey' on BTN_A"}},
        {"rectangle with three numbers", [] { Replace("art/gui.xml", "10 10 64 64", "10 10 64"); },
         {"art/gui.xml:3: 'coords' needs 4 numbers, not '10 10 64' on TILE_A"}},
        {"invalid drawing scheme", [] { Replace("art/gui.xml", "drawscheme=\"4\"", "drawscheme=\"9\""); },
         {"art/gui.xml:3: invalid drawing scheme '9' (1 to 8) on TILE_A"}},
        {"boolean in capitals", [] { Replace("art/gui.xml", "visible=\"1\"", "visible=\"TRUE\""); },
         {"art/gui.xml:3: 'visible' needs 1, true, 0 or false, not 'TRUE' (it reads as false) on TILE_A"}},
        {"action naming nothing", [] { Replace("art/gui.xml", "on_press=\"OnShow\"", "on_press=\"OnPress\""); },
         {"art/gui.xml:6: action 'OnPress' names neither a native action nor a script function"}},
        {"duplicate element ID", [] { Replace("art/gui.xml", "  </window>", "  <tile id=\"TILE_A\" coords=\"1 1 2 2\"/></window>"); },
         {"art/gui.xml:7: duplicate element ID 'TILE_A' (first declared in art/gui.xml:3)"}},
        {"bad style value", [] { Replace("gui/panel.xml", "0.2", "soon"); },
         {"gui/panel.xml:1: 'time_showhide' needs a number, not 'soon' on style 'STY_PANEL'"}},
    };
    WriteCleanData(tempDir + "/clean");
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const std::string copy = tempDir + "/copy";
        fs::remove_all(copy);
        fs::copy(tempDir + "/clean", copy, fs::copy_options::recursive);
        ASSERT_EQ(chdir((copy + "/DATA").c_str()), 0);
        damage.apply();
        ASSERT_EQ(chdir(tempDir.c_str()), 0);
        const CheckRun run = RunCheck("'" + copy + "/DATA'");
        EXPECT_EQ(run.status, 1) << Joined(run.lines);
        ASSERT_EQ(run.lines.size(), damage.expected.size()) << Joined(run.lines);
        for (size_t i = 0; i < run.lines.size(); ++i) {
            const std::string& expected = damage.expected[i];
            if (!expected.empty() && expected.back() == '*') {
                EXPECT_EQ(run.lines[i].rfind(expected.substr(0, expected.size() - 1), 0), 0u) << run.lines[i];
            } else {
                EXPECT_EQ(run.lines[i], expected);
            }
        }
    }
}

TEST_F(VelmorCheckTest, WhollyDamagedDataIsReportedWithoutACrash) {
    WriteCleanData(tempDir + "/clean");
    // Every file cut to a third, then every file emptied; and odd usage.
    for (const double keep : {0.33, 0.0}) {
        const std::string copy = tempDir + "/copy";
        fs::remove_all(copy);
        fs::copy(tempDir + "/clean", copy, fs::copy_options::recursive);
        for (const auto& entry : fs::recursive_directory_iterator(copy))
            if (entry.is_regular_file()) fs::resize_file(entry.path(), static_cast<uintmax_t>(entry.file_size() * keep));
        const CheckRun run = RunCheck("'" + copy + "/DATA' --json");
        EXPECT_EQ(run.status, 1) << "kept " << keep << "\n" << Joined(run.lines);
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_EQ(run.lines[0].rfind("{\"folder\": ", 0), 0u);
    }
    EXPECT_EQ(RunCheck("'" + tempDir + "/no-such-folder'").lines,
              std::vector<std::string>{tempDir + "/no-such-folder: not a folder"});
    EXPECT_EQ(RunCheck("'" + tempDir + "/no-such-folder'").status, 1);
    EXPECT_EQ(RunCheck("--game chess").status, 2);
    EXPECT_EQ(RunCheck("one two").status, 2);
}

// The game's own data, and damage to what the game relies on.
class GameDataCheckTest : public VelmorCheckTest {
protected:
    void SetUp() override {
        VelmorCheckTest::SetUp();
        if (!fs::exists(std::string(QUBLE_GAME_DATA) + "/quble.xml")) GTEST_SKIP() << "no game data in DATA/";
    }
    static int LineOf(const std::string& path, const std::string& text) {
        const std::string content = ReadFile(path);
        const size_t at = content.find(text);
        return at == std::string::npos ? 0 : 1 + static_cast<int>(std::count(content.begin(), content.begin() + at, '\n'));
    }
};

TEST_F(GameDataCheckTest, TheGamesDataIsCleanAndWhatTheGameReliesOnIsChecked) {
    CheckRun run = RunCheck("'" + std::string(QUBLE_GAME_DATA) + "' --game quble");
    EXPECT_EQ(run.status, 0) << Joined(run.lines);
    EXPECT_TRUE(run.lines.empty()) << Joined(run.lines);

    const std::string copy = tempDir + "/game";
    struct GameDamage {
        const char* what;
        std::string file;
        std::string from;
        std::string to;
        std::string expected;  // the message after "file[:line]: "
        bool lined;
    };
    const GameDamage damages[] = {
        {"another game's data", "game/settings.xml", "qbgameid=\"3\"", "qbgameid=\"4\"",
         "'qbgameid' is '4'; the game needs a whole number 3", true},
        {"no columns", "game/settings.xml", "sizex=\"", "sizex=\"-", "'sizex' is '-", true},
        {"colour out of range", "game/settings.xml", "color2g=\"", "color2g=\"7", "'color2g' is '7", true},
        {"time label renamed", "gui/mainwindow.xml", "id=\"L_MW_TIME_TIME\"", "id=\"L_MW_TIME_CLOCK\"",
         "the game needs the GUI element 'L_MW_TIME_TIME'", false},
        {"start unbound", "gui/mainwindow.xml", "on_press=\"BTN_MW_START_ONPRESS\"", "",
         "the game needs the action 'BTN_MW_START_ONPRESS' bound to an element", false},
    };
    for (const GameDamage& damage : damages) {
        SCOPED_TRACE(damage.what);
        fs::remove_all(copy);
        fs::copy(QUBLE_GAME_DATA, copy, fs::copy_options::recursive);
        const std::string path = copy + "/" + damage.file;
        const int line = LineOf(path, damage.from);
        ASSERT_GT(line, 0);
        Replace(path, damage.from, damage.to);
        run = RunCheck("'" + copy + "' --game quble");
        EXPECT_EQ(run.status, 1);
        ASSERT_EQ(run.lines.size(), 1u) << Joined(run.lines);
        const std::string where = damage.lined ? damage.file + ":" + std::to_string(line) : std::string("quble.xml");
        EXPECT_EQ(run.lines[0].rfind(where + ": " + damage.expected, 0), 0u) << run.lines[0];
    }
}

}  // namespace
