#include "engineroutine.h"

#include <new>

#include "cgame_element.h"
#include "cvelmor.h"
#include "gameinit_routine.h"
#include "system.h"
#include "v2dgui_cvelmorgui_main.h"

CVelmor* g_pV2D = nullptr;
CVelmorGUI* g_pGUIManager = nullptr;

void GameMain(CVelmor* pV2D) {
    g_pV2D = pV2D;
    g_pV2D->SetAppInfo("Quble", "v. 1.0");
    g_pV2D->RegisterCallback(GameShutdown, CALLBACK_TERMINATION);
    Engine_InitResourcesSubsystem();
    if (g_bQuitFlag == 0) SelectDisplayMode();
    if (g_bQuitFlag == 0) EngineInitSubsystems();
    if (g_bQuitFlag == 0) {
        GameModInit();
        MainLoop(GameFrame);
    }
    GameShutdown();
}

void Engine_InitResourcesSubsystem() {
    if (!g_pV2D) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error in Engine_InitResourcesSubsystem: pV2D == NULL!",
                            "engineroutine", 79);
    }
    g_pV2D->ResourcesInit();
}

// The 32-bit mode wins when both are valid.
void SelectDisplayMode() {
    SetCheckpoint(1005, 83);
    g_pV2D->GfxPreinit(800, 600);
    V2DVIDEOCAPS caps;
    g_pV2D->GetVideoCardCaps(caps);
    if (caps.Mode2.Valid) {
        g_iDisplayMode = 2;
    } else if (caps.Mode1.Valid) {
        g_iDisplayMode = 1;
    } else {
        platform::GetSystem().MessageBox("No video modes available: your video card cannot handle 800x600x16bit resolution",
                                         "No video modes available!");
        g_bQuitFlag = 1;
    }
}

void EngineInitSubsystems() {
    g_pV2D->GfxInit(g_iDisplayMode == 1 ? 1 : 2, false);
    g_pV2D->InputInit();
    g_pV2D->SoundInit(44100);
    g_pV2D->ScriptsInit();
    g_pGUIManager = new (std::nothrow) CVelmorGUI();
    if (g_pGUIManager == nullptr)
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create GUI Manager object!", "engineroutine", 122);
}

void GameShutdown() {
    ClearBoard();
    g_pV2D->StopMusic(3000);
    delete g_pGUIManager;
    g_pGUIManager = nullptr;
    SetCheckpoint(112, 545);
}

void MainLoop(V2DFRAMEFUNC frameFunction) {
    // Start-up loading is over: the first frame's time must not include it.
    g_pV2D->TimerRestart();
    while (g_bQuitFlag == 0) {
        const int32_t result = g_pV2D->UpdateAllSystems();
        if (result == 0) {
            platform::GetSystem().WaitMessage();
        } else if (result == -1) {
            g_bQuitFlag = 1;
        } else if (frameFunction() == 0) {
            break;
        }
    }
}
