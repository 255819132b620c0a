#include "gameinit_routine.h"

#include <locale>
#include <sstream>

#include "cgame_element.h"
#include "cvelmor.h"
#include "cvelmor_rand.h"
#include "engineroutine.h"
#include "highscore.h"
#include "system.h"
#include "v2dgui_cvelmorgui_main.h"

CSmartID g_sidFont1("FNT_FONT1");
CSmartID g_sidCursor("TEX_CURSOR");
CSmartID g_sidBackground("TEX_BG");
CSmartID g_sidTile("TEX_TILE");
CSmartID g_sidPieceMove("SND_PIECEMOVE");
CSmartID g_sidStd2("TEQ_STD2");

int32_t g_iGameState = GAMESTATE_NO_ROUND;
float g_fElapsedTime = 0.0f;
float g_fCursorX = 100.0f;
float g_fCursorY = 100.0f;
uint8_t g_bOverlay = 0;

namespace {

const char* const kFile = "gameinit_routine";

enum QBCommand { CMD_SHOW = 1, CMD_HIDE = 2, CMD_ENABLE = 3, CMD_DISABLE = 4 };
const int32_t kParamCoords = 2;
const int32_t kParamText = 53;
const int32_t kKeyF2 = 0x3C;
const int32_t kKeyF9 = 0x43;
// The board's random places come from a generator of 15 bits: a side of more
// cells than it can name would never be filled.
const int32_t kMaxBoardSide = 32767;
const char* const kHintLabel = "L_MW_HINT";

void Command(const char* element, int32_t command) { g_pGUIManager->ExecuteElementCommand(element, command); }

void SetText(const char* element, const std::string& text) {
    g_pGUIManager->SetElementParam(element, kParamText, CGUIValue(text));
}

// The OK button of the new-record window needs a name.
void EnableNameConfirmation() {
    const std::string name = g_pGUIManager->GetElementParam("TBX_HS_NAME", kParamText).GetString();
    Command("BTN_HS_OK", name.empty() ? CMD_DISABLE : CMD_ENABLE);
}

void MainWindowOnShow() {}

void StartOnPress() { StartNewGame(); }

void HelpOnPress() {
    Command("WND_DTP_MAINWINDOW", CMD_DISABLE);
    Command("WND_DTP_HELP", CMD_SHOW);
}

void ExitOnPress() { g_bQuitFlag = 1; }

void GameBoardOnRedraw() { BoardRedraw(); }

void DialogOnShow() { g_iGameState = GAMESTATE_DIALOG; }

void CompleteOkOnPress() {
    Command("WND_DTP_COMPLETE", CMD_HIDE);
    Command("WND_DTP_MAINWINDOW", CMD_ENABLE);
    StartNewGame();
}

// The name box takes the keyboard at once, so the player can type without
// clicking it first (the last record's Return took its focus away).
void HighScoreOnShow() {
    Command("TBX_HS_NAME", CMD_ENABLE);
    EnableNameConfirmation();
    g_iGameState = GAMESTATE_DIALOG;
}

// A record needs a name: OK with an empty box (a script or data may have
// enabled the button) leaves the window open, the keyboard back in the box.
void HighScoreOkOnPress() {
    const std::string name = g_pGUIManager->GetElementParam("TBX_HS_NAME", kParamText).GetString();
    if (name.empty()) {
        Command("TBX_HS_NAME", CMD_ENABLE);
        EnableNameConfirmation();
        return;
    }
    Command("WND_DTP_HIGHSCORE", CMD_HIDE);
    Command("WND_DTP_MAINWINDOW", CMD_ENABLE);
    g_strBestName = name;
    g_fBestTime = g_fElapsedTime;
    SaveHighScore();
    StartNewGame();
}

void NameOnInput() { EnableNameConfirmation(); }

// The hint under the board: the number to click next while a round has tiles
// left, the data's own text (the Start hint) otherwise. Games without the
// label have no hint.
bool g_bHasHint = false;
std::string g_strStartHint;
std::string g_strShownHint;

void ShowHint(const std::string& text) {
    if (text == g_strShownHint) return;
    g_strShownHint = text;
    SetText(kHintLabel, text);
}

void UpdateHint() {
    if (!g_bHasHint) return;
    const bool tilesLeft = g_bBoardActive == 1 && !IsSolved();
    ShowHint(tilesLeft ? "Click " + std::to_string(g_iNextWanted) : g_strStartHint);
}

void HelpOkOnPress() {
    Command("WND_DTP_HELP", CMD_HIDE);
    Command("WND_DTP_MAINWINDOW", CMD_ENABLE);
    g_iGameState = g_bBoardActive == 1 ? GAMESTATE_PLAYING : GAMESTATE_NO_ROUND;
}

// A run starts from the game's initial values.
void ResetRunState() {
    ClearBoard();
    g_iGameState = GAMESTATE_NO_ROUND;
    g_fElapsedTime = 0.0f;
    g_fCursorX = 100.0f;
    g_fCursorY = 100.0f;
    g_bOverlay = 0;
    g_bBoardActive = 0;
    g_iNextWanted = 1;
    g_iTotalCells = 0;
    g_bHasHint = false;
    g_strStartHint.clear();
    g_strShownHint.clear();
}

void SetUpMainWindow() {
    SetCheckpoint(1023, __LINE__);
    const GUIRECT board = g_pGUIManager->GetElementParam("FLX_MW_GAMEBOARD", kParamCoords).GetRect();
    g_BoardGeometry = {board.x, board.y, board.w, board.h};
    g_pV2D->PlayMusic("MUS_GAME", true, 3000);
    SetText("L_MW_TIME_TIME", FloatToString(g_fElapsedTime));
    ShowBestResult();
    g_bHasHint = g_pGUIManager->GetElementID(kHintLabel) >= 0;
    if (g_bHasHint) {
        g_strStartHint = g_pGUIManager->GetElementParam(kHintLabel, kParamText).GetString();
        g_strShownHint = g_strStartHint;
    }
}

void DrawCursor() {
    SetCheckpoint(1017, __LINE__);
    g_pV2D->VQuadSetColor(1.0f, 1.0f, 1.0f, 1.0f);
    g_pV2D->VQuadSetPos(g_fCursorX, g_fCursorY, 32.0f, 32.0f, 0.5f);
    g_pV2D->VQuadSetTexCoords(1, 0.0f, 0.0f, 1.0f, 1.0f);
    g_pV2D->SetTexture(g_sidCursor, 0);
    g_pV2D->ApplyTechnique(g_sidStd2);
    g_pV2D->SceneRender();
}

void DrawOverlay() {
    g_pV2D->SetCurrentFont(g_sidFont1);
    const std::string fps = std::to_string(g_pV2D->TimerGetFPS());
    g_pV2D->DrawTextEx(fps.c_str(), 690.0f, 20.0f, 0, 0, 1.0f, true, 0.5f, 0.0f, 0.0f);
    const std::string cpu = FloatToString(g_pV2D->SoundGetCPU());
    g_pV2D->DrawTextEx(cpu.c_str(), 690.0f, 40.0f, 0, 0, 1.0f, true, 0.5f, 0.0f, 0.0f);
}

bool RoundRunning() { return g_iGameState != GAMESTATE_NO_ROUND && g_iGameState != GAMESTATE_DIALOG; }

}  // namespace

void RegisterGameActions() {
    SetCheckpoint(1015, __LINE__);
    const std::pair<const char*, V2DGUIACTIONFUNC> actions[] = {
        {"WND_DTP_MAINWINDOW_ONSHOW", MainWindowOnShow},
        {"BTN_MW_START_ONPRESS", StartOnPress},
        {"BTN_MW_HELP_ONPRESS", HelpOnPress},
        {"BTN_MW_EXIT_ONPRESS", ExitOnPress},
        {"FLX_MW_GAMEBOARD_ONREDRAW", GameBoardOnRedraw},
        {"WND_DTP_COMPLETE_ONSHOW", DialogOnShow},
        {"BTN_CMP_OK_ONPRESS", CompleteOkOnPress},
        {"WND_DTP_HIGHSCORE_ONSHOW", HighScoreOnShow},
        {"BTN_HS_OK_ONPRESS", HighScoreOkOnPress},
        {"TBX_HS_NAME_ONINPUT", NameOnInput},
        {"WND_DTP_HELP_ONSHOW", DialogOnShow},
        {"BTN_HLP_OK_ONPRESS", HelpOkOnPress},
    };
    for (const auto& action : actions) g_pGUIManager->RegisterActionFunction(action.first, action.second);
}

void GameModInit() {
    ResetRunState();
    RegisterGameActions();
    for (int32_t tag = 1; tag <= 8; ++tag) g_pV2D->LoadResources(tag);
    if (g_xvGameID.GetValue() != 3)
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in GameModInit: invalid resource ID!", kFile, 112);
    const int32_t sizeX = g_xvSizeX.GetValue(), sizeY = g_xvSizeY.GetValue();
    if (sizeX <= 0 || sizeY <= 0 || sizeX > kMaxBoardSide || sizeY > kMaxBoardSide)
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in GameModInit(): invalid array size!", kFile, 115);
    V2DSrand(platform::GetSystem().Milliseconds());
    SetUpMainWindow();
    Command("WND_DTP_MAINWINDOW", CMD_SHOW);
}

uint8_t GameFrame() {
    SetCheckpoint(1017, __LINE__);
    const float frameTime = g_pV2D->TimerGetDelta();
    if (RoundRunning()) {
        g_fElapsedTime += frameTime;
        SetText("L_MW_TIME_TIME", FloatToString(RoundTime(g_fElapsedTime)));
    }
    HandleMouse();
    g_pGUIManager->Update();
    BoardUpdate();
    if (RoundRunning() && IsSolved()) GameComplete();
    UpdateHint();
    if (g_pV2D->KeyboardIsKeyClicked(kKeyF2)) g_bOverlay = g_bOverlay ? 0 : 1;

    SetCheckpoint(1023, __LINE__);
    g_pV2D->SceneBegin();
    g_pV2D->SceneClearScreen(0.0f, 0.0f, 0.0f);
    g_pGUIManager->Draw();
    DrawCursor();
    if (g_bOverlay) DrawOverlay();
    g_pV2D->SceneEnd();
    g_pV2D->ScenePresent();
    if (g_pV2D->KeyboardIsKeyClicked(kKeyF9)) g_pV2D->SceneMakeScreenshot();
    return 1;
}

void StartNewGame() {
    SetCheckpoint(1013, __LINE__);
    ClearBoard();
    ShowBestResult();
    NewBoard();
    SetText("L_MW_TIME_TIME", FloatToString(RoundTime(g_fElapsedTime)));
}

void GameComplete() {
    SetCheckpoint(1015, __LINE__);
    g_fElapsedTime = RoundTime(g_fElapsedTime);
    Command("WND_DTP_MAINWINDOW", CMD_DISABLE);
    Command(g_fBestTime <= g_fElapsedTime ? "WND_DTP_COMPLETE" : "WND_DTP_HIGHSCORE", CMD_SHOW);
}

float RoundTime(float fp_fTime) {
    SetCheckpoint(1023, __LINE__);
    int32_t ms = static_cast<int32_t>(fp_fTime * 1000.0f);
    if (ms % 10 == 0) ms += 1;
    return static_cast<float>(ms) * 0.001f;
}

std::string FloatToString(float fp_fValue) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << fp_fValue;
    return stream.str();
}
