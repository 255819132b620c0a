// What the game does once the engine has started: its native GUI actions,
// the screens' flow, the round clock and the per-frame routine.
#pragma once

#include <cstdint>
#include <string>

#include "cvelmor_utils_csmartid.h"

enum QBGameState {
    GAMESTATE_PLAYING = 1,
    GAMESTATE_DIALOG = 3,
    GAMESTATE_NO_ROUND = 4,
};

// The game's resources, bound as they load.
extern CSmartID g_sidFont1;
extern CSmartID g_sidCursor;
extern CSmartID g_sidBackground;
extern CSmartID g_sidTile;
extern CSmartID g_sidPieceMove;
extern CSmartID g_sidStd2;

extern int32_t g_iGameState;
extern float g_fElapsedTime;  // seconds of the current round
extern float g_fCursorX;
extern float g_fCursorY;
extern uint8_t g_bOverlay;

void GameModInit();
uint8_t GameFrame();
void StartNewGame();
void GameComplete();
// Milliseconds truncated, with a third decimal that is never 0.
float RoundTime(float fp_fTime);
// As a standard stream writes a float: at most six significant digits.
std::string FloatToString(float fp_fValue);
