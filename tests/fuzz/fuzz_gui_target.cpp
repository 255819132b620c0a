// The GUI data loaders fuzzed through the resource loaders the GUI manager
// registers, into a real manager on the headless platform; every tree that
// loads is then updated and drawn once.
#include "fuzz_gui_target.h"

#include "cvelmor.h"
#include "fuzz_headless.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

void LoadAndRun(CVelmor& engine, const char* typeID, const uint8_t* data, size_t size) {
    FuzzRunLoader(engine, typeID, data, size);
    GetGUI()->Update();
    engine.SceneBegin();
    GetGUI()->Draw();
    engine.SceneEnd();
}

}  // namespace

int FuzzGUIData(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the loader.
    static const char* const kTypes[] = {"GUIDATA", "GUIENUMDATA", "GUISTYLEDATA"};
    const char* typeID = kTypes[data[0] % 3];
    FuzzHeadlessRun run;
    CVelmor engine;
    FuzzStartEngine(engine, false);
    CVelmorGUI gui;
    try {
        LoadAndRun(engine, typeID, data + 1, size - 1);
    } catch (const CEHSException&) {
    } catch (const CV2DFatalText&) {
    }
    return 0;
}
