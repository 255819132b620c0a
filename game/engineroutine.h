// The game's start-up sequence, main loop and shutdown.
#pragma once

#include <cstdint>

class CVelmor;
class CVelmorGUI;

typedef uint8_t (*V2DFRAMEFUNC)();

extern CVelmor* g_pV2D;  // the game's copy of the engine pointer
extern CVelmorGUI* g_pGUIManager;  // created at start-up, deleted by GameShutdown

void GameMain(CVelmor* pV2D);
void GameShutdown();
void MainLoop(V2DFRAMEFUNC frameFunction);

void Engine_InitResourcesSubsystem();
void SelectDisplayMode();
void EngineInitSubsystems();
