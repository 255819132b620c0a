// The script runner behind velmor-run: tries the engine from Lua alone.
// Started in a folder that holds DATA/, it starts the subsystems as the game does (resources, an 800x600
// display mode, graphics, input, sound, scripts, the GUI manager), loads the
// resources of tag 1 (the scripts among them run as they load, GUI data
// builds its elements) and calls the global script function `main`. The
// script drives its own loop; V2DGUI_Update and V2DGUI_Draw run the GUI:
//
//   function main()
//     while V2D_SYS_UpdateAllSystems() ~= -1 do   -- -1: the window was closed
//       V2DGUI_Update()
//       V2D_GFX_SceneBegin() ... V2DGUI_Draw() ... V2D_GFX_SceneEnd() V2D_GFX_ScenePresent()
//     end
//   end
//
// It logs to gamelog.txt like the game and ends through the same fatal-error
// path when something fails.
#include "velmor_runner.h"

#include <memory>

#include "cvelmor.h"
#include "system.h"
#include "v2dgui_cvelmorgui_main.h"
#include "vlm_window.h"

namespace {

std::unique_ptr<CVelmorGUI> g_pRunnerGUI;

void RunnerShutdown() {
    CVelmor* engine = GetEngine();
    if (engine && engine->m_bSfxStarted) engine->StopMusic(3000);
    g_pRunnerGUI.reset();
}

// The 32-bit mode when the card offers it, else the 16-bit one; 0 for none.
int32_t ChooseDisplayMode(CVelmor& engine) {
    engine.GfxPreinit(800, 600);
    V2DVIDEOCAPS caps;
    engine.GetVideoCardCaps(caps);
    if (caps.Mode2.Valid) return 2;
    if (caps.Mode1.Valid) return 1;
    platform::GetSystem().MessageBox("No video modes available: your video card cannot handle 800x600x16bit resolution",
                                     "No video modes available!");
    return 0;
}

}  // namespace

void RunnerMain(CVelmor* engine) {
    engine->SetAppInfo("Velmor2D Runner", "v. 1.0");
    engine->RegisterCallback(RunnerShutdown, CALLBACK_TERMINATION);
    engine->ResourcesInit();
    const int32_t mode = ChooseDisplayMode(*engine);
    if (mode != 0) {
        engine->GfxInit(mode, false);
        engine->InputInit();
        engine->SoundInit(44100);
        engine->ScriptsInit();
        g_pRunnerGUI = std::make_unique<CVelmorGUI>();
        RegisterGUIRunnerScriptFunctions(*engine);
        engine->LoadResources(1);
        // A script engine calls a missing function as nothing; here that
        // would be a silent, successful run of nothing.
        if (!engine->ScriptHasFunction("main"))
            throw CV2DFatalText("No script function main: the scripts of tag 1 must define function main()");
        engine->TimerRestart();  // the first frame's time leaves the loading out
        engine->ScriptCallFunction("main", 0);
    }
    RunnerShutdown();
}
