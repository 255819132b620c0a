// Whole rounds of the game on the headless platform: the real start-up,
// the game's frame routine, its screens from GUI data and scripted clicks
// and keys.
#include "game_fixtures.h"

namespace {

using gametest::GameTest;
using testsupport::Raised;

// The four windows with every element the game addresses; the board's
// cells are 60 x 50 from (40, 100).
const char* const kScreens = R"(<desktop>
  <window id="WND_DTP_MAINWINDOW" coords="0 0 800 600" time_showhide="0.05" enabled="1"
          on_show="WND_DTP_MAINWINDOW_ONSHOW">
    <flex id="FLX_MW_GAMEBOARD" coords="40 100 60 50" visible="1" enabled="1" on_redraw="FLX_MW_GAMEBOARD_ONREDRAW"/>
    <tile id="TILE_MW_TIME" coords="480 40 10 10"/>
    <label id="L_MW_TIME_TIME" coords="500 40 100 20" font="FNT_FONT1" visible="1"/>
    <tile id="TILE_MW_BESTRESULT" coords="480 80 200 50" visible="1">
      <label id="L_MW_BESTRESULT_NAME" coords="0 0 200 20" font="FNT_FONT1" visible="1"/>
      <label id="L_MW_BESTRESULT_TIME" coords="0 20 200 20" font="FNT_FONT1" visible="1"/>
    </tile>
    <label id="L_MW_HINT" coords="40 400 300 20" font="FNT_FONT1" text="Press Start" visible="1"/>
    <button id="BTN_MW_START" coords="500 200 100 30" visible="1" enabled="1" on_press="BTN_MW_START_ONPRESS"/>
    <button id="BTN_MW_HELP" coords="500 240 100 30" visible="1" enabled="1" on_press="BTN_MW_HELP_ONPRESS"/>
    <button id="BTN_MW_EXIT" coords="500 280 100 30" visible="1" enabled="1" on_press="BTN_MW_EXIT_ONPRESS"/>
  </window>
  <window id="WND_DTP_HELP" coords="0 0 400 300" location_shown="200 150" time_showhide="0.05" enabled="1"
          on_show="WND_DTP_HELP_ONSHOW">
    <button id="BTN_HLP_OK" coords="150 250 100 30" visible="1" enabled="1" on_press="BTN_HLP_OK_ONPRESS"/>
  </window>
  <window id="WND_DTP_COMPLETE" coords="0 0 400 300" location_shown="200 150" time_showhide="0.05" enabled="1"
          on_show="WND_DTP_COMPLETE_ONSHOW">
    <button id="BTN_CMP_OK" coords="150 250 100 30" visible="1" enabled="1" on_press="BTN_CMP_OK_ONPRESS"/>
  </window>
  <window id="WND_DTP_HIGHSCORE" coords="0 0 400 300" location_shown="200 150" time_showhide="0.05" enabled="1"
          on_show="WND_DTP_HIGHSCORE_ONSHOW">
    <textbox id="TBX_HS_NAME" coords="50 50 300 30" activerect="50 50 300 30" font="FNT_FONT1" maxchars="16"
             language="1" visible="1" on_input="TBX_HS_NAME_ONINPUT"/>
    <button id="BTN_HS_OK" coords="150 250 100 30" visible="1" enabled="1" on_press="BTN_HS_OK_ONPRESS"/>
  </window>
</desktop>)";

class RoundTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        gametest::WriteGameData(kScreens);
        StartGame();
        Frames(5);  // the main window fades in
    }
    void Frames(int count, uint32_t ms = 20) {
        for (int i = 0; i < count; ++i) Frame(ms);
    }
    void Press(const char* button) {
        const GUIRECT& rect = g_pGUIManager->GetElement(g_pGUIManager->GetElementID(button))->GetEffectiveRect();
        ClickAt(rect.x + rect.w / 2, rect.y + rect.h / 2);
        Frames(4);  // windows fade
    }
    std::string Text(const char* label) { return g_pGUIManager->GetElementParam(label, "text").GetString(); }
    bool Enabled(const char* element) { return g_pGUIManager->GetElementParam(element, "enabled").GetBoolean(); }
    bool Shown(const char* window) {
        const CGUIElement* element = g_pGUIManager->GetElement(g_pGUIManager->GetElementID(window));
        return element->IsEffectivelyVisible();
    }
    void SolveWith(int framesBetweenClicks) {
        for (int32_t n = 1; n <= g_iTotalCells; ++n) {
            Frames(framesBetweenClicks);
            ClickTile(n);
        }
        Frames(4);
    }
    void Type(const std::string& text) {
        input->TypeText(text);
        Frames(2);
    }
};

TEST_F(RoundTest, ARecordIsAskedForStoredAndBeatenOnlyByAStrictlyBetterTime) {
    EXPECT_EQ(g_iGameState, GAMESTATE_NO_ROUND);
    EXPECT_EQ(Text("L_MW_TIME_TIME"), "0");
    EXPECT_FALSE(g_pGUIManager->GetElementParam("TILE_MW_BESTRESULT", "visible").GetBoolean()) << "no best result yet";
    ClickAt(100, 120);  // the board is empty before the first round
    EXPECT_EQ(g_iGameState, GAMESTATE_NO_ROUND);

    const GUIRECT& start = g_pGUIManager->GetElement(g_pGUIManager->GetElementID("BTN_MW_START"))->GetEffectiveRect();
    ClickAt(start.x + 10, start.y + 10);  // dealt when the button is released
    EXPECT_EQ(g_iGameState, GAMESTATE_PLAYING);
    EXPECT_EQ(Text("L_MW_TIME_TIME"), "0.001");
    EXPECT_EQ(CountTiles(), 25);
    EXPECT_TRUE(g_pGUIManager->GetElementParam("TILE_MW_TIME", "visible").GetBoolean());

    SolveWith(1);
    EXPECT_EQ(CountTiles(), 0);
    EXPECT_EQ(g_iGameState, GAMESTATE_DIALOG);
    EXPECT_TRUE(Shown("WND_DTP_HIGHSCORE")) << "any time beats no result";
    EXPECT_FALSE(Enabled("WND_DTP_MAINWINDOW"));
    EXPECT_FALSE(Enabled("BTN_HS_OK")) << "no name, no confirmation";
    const float firstTime = g_fElapsedTime;
    EXPECT_EQ(Text("L_MW_TIME_TIME"), FloatToString(firstTime)) << "the clock stopped at the rounded time";

    // OK with an empty name box saves nothing, even when something enabled it.
    g_pGUIManager->ExecuteElementCommand("BTN_HS_OK", 3);
    Press("BTN_HS_OK");
    EXPECT_TRUE(Shown("WND_DTP_HIGHSCORE"));
    EXPECT_FALSE(testsupport::FileExists("DATA/qbhs.dat"));
    EXPECT_FALSE(Enabled("BTN_HS_OK"));

    EXPECT_TRUE(Enabled("TBX_HS_NAME")) << "the name box has the keyboard without a click";
    for (const char* typed : {"Z", "o\xC3\xAB", " ", "\xD0\x94"}) Type(typed);
    const std::string name = Text("TBX_HS_NAME");
    EXPECT_EQ(name, "Zo\xC3\xAB \xD0\x94") << "the letters as typed, stored as UTF-8";
    EXPECT_TRUE(Enabled("BTN_HS_OK"));
    Press("BTN_HS_OK");
    EXPECT_FALSE(Shown("WND_DTP_HIGHSCORE"));
    EXPECT_EQ(g_iGameState, GAMESTATE_PLAYING) << "OK deals the next round at once";
    std::string expected = name + std::string(1, '\0');
    uint32_t bits = 0;
    std::memcpy(&bits, &firstTime, 4);
    for (int i = 0; i < 4; ++i) expected.push_back(static_cast<char>(bits >> (8 * i)));
    EXPECT_EQ(testsupport::ReadFile("DATA/qbhs.dat"), expected);
    EXPECT_EQ(Text("L_MW_BESTRESULT_NAME"), name);
    EXPECT_EQ(Text("L_MW_BESTRESULT_TIME"), FloatToString(firstTime));
    EXPECT_LT(g_fElapsedTime, 0.1f) << "the new round's clock started again";

    SolveWith(3);  // slower
    EXPECT_TRUE(Shown("WND_DTP_COMPLETE"));
    EXPECT_FALSE(Shown("WND_DTP_HIGHSCORE"));
    Press("BTN_CMP_OK");
    EXPECT_EQ(g_iGameState, GAMESTATE_PLAYING);
    EXPECT_TRUE(Enabled("WND_DTP_MAINWINDOW"));
    EXPECT_EQ(testsupport::ReadFile("DATA/qbhs.dat"), expected) << "a slower round keeps the record";

    // A tie is no record.
    g_fElapsedTime = firstTime;
    GameComplete();
    EXPECT_TRUE(Shown("WND_DTP_COMPLETE") || g_iGameState == GAMESTATE_DIALOG);
    EXPECT_EQ(g_iGameState, GAMESTATE_DIALOG);
    Frames(4);
    EXPECT_TRUE(Shown("WND_DTP_COMPLETE"));
}

TEST_F(RoundTest, HelpStopsTheClockAndClosingItResumesTheRound) {
    Press("BTN_MW_HELP");
    EXPECT_EQ(g_iGameState, GAMESTATE_DIALOG);
    Press("BTN_HLP_OK");
    EXPECT_EQ(g_iGameState, GAMESTATE_NO_ROUND) << "no round was dealt yet";

    Press("BTN_MW_START");
    ClickTile(1);
    const float before = g_fElapsedTime;
    EXPECT_GT(before, 0.0f);
    Press("BTN_MW_HELP");
    EXPECT_FALSE(Enabled("WND_DTP_MAINWINDOW"));
    const float atHelp = g_fElapsedTime;
    Frames(50);
    ClickTile(2);  // clicks do nothing while help is open
    EXPECT_EQ(g_fElapsedTime, atHelp);
    EXPECT_EQ(g_iNextWanted, 2);
    Press("BTN_HLP_OK");
    EXPECT_EQ(g_iGameState, GAMESTATE_PLAYING);
    Frame(20);
    // The frames after the release of OK: the fade of Press and this one.
    EXPECT_NEAR(g_fElapsedTime, atHelp + 0.02f * 5, 0.005f) << "the time help was open does not count";
    ClickTile(2);
    EXPECT_EQ(g_iNextWanted, 3);
}

TEST_F(RoundTest, F2TogglesTheOverlayOncePerPressAndExitEndsTheLoop) {
    input->KeyDown(0x3C);
    Frames(5);
    EXPECT_EQ(g_bOverlay, 1) << "held for five frames, toggled once";
    input->KeyUp(0x3C);
    Frames(2);
    input->KeyDown(0x3C);
    input->KeyUp(0x3C);
    Frames(2);
    EXPECT_EQ(g_bOverlay, 0);

    Press("BTN_MW_EXIT");
    EXPECT_EQ(g_bQuitFlag, 1);
    MainLoop(GameFrame);  // returns at once: the quit flag is set
}

TEST_F(RoundTest, TheHintNamesTheTileToClickNextWhileARoundHasTiles) {
    EXPECT_EQ(Text("L_MW_HINT"), "Press Start");
    Press("BTN_MW_START");
    EXPECT_EQ(Text("L_MW_HINT"), "Click 1");
    ClickTile(1);
    ClickTile(5);  // out of turn: nothing changes
    Frames(1);
    EXPECT_EQ(Text("L_MW_HINT"), "Click 2");
    Press("BTN_MW_HELP");
    EXPECT_EQ(Text("L_MW_HINT"), "Click 2") << "the round waits behind the help window";
    Press("BTN_HLP_OK");
    for (int32_t n = 2; n < g_iTotalCells; ++n) ClickTile(n);
    Frames(1);
    EXPECT_EQ(Text("L_MW_HINT"), "Click 25");
    ClickTile(25);
    Frames(4);
    EXPECT_TRUE(Shown("WND_DTP_HIGHSCORE"));
    EXPECT_EQ(Text("L_MW_HINT"), "Press Start") << "no round runs behind the record window";
}

class GameStartTest : public GameTest {};

TEST_F(GameStartTest, DataForAnotherGameOrAnEmptyBoardIsRefused) {
    struct Case {
        std::string settings, message;
        uint32_t line;
    };
    const std::vector<Case> cases = {
        {gametest::BoardSettings(5, 5, 2), "Error in GameModInit: invalid resource ID!", 112},
        {gametest::BoardSettings(0, 5), "Error in GameModInit(): invalid array size!", 115},
        {gametest::BoardSettings(5, -1), "Error in GameModInit(): invalid array size!", 115},
        // Sides the board's random places cannot reach, and cell counts past 32 bits.
        {gametest::BoardSettings(32768, 1), "Error in GameModInit(): invalid array size!", 115},
        {gametest::BoardSettings(2, 40000), "Error in GameModInit(): invalid array size!", 115},
        {gametest::BoardSettings(65536, 65536), "Error in GameModInit(): invalid array size!", 115},
    };
    for (const Case& c : cases) {
        gametest::WriteGameData(kScreens, c.settings);
        const CEHSException e = Raised([&] { StartGame(); });
        EXPECT_EQ(e.GetDesc(), c.message);
        EXPECT_EQ(e.GetFile(), "gameinit_routine");
        EXPECT_EQ(e.GetLine(), c.line);
        GameShutdown();
        engine.reset();
        g_pV2D = nullptr;
    }
}

}  // namespace
