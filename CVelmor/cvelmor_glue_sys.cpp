// Script functions of the engine core: frame timer and system update.
#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "system.h"

namespace {

V2D_SCRIPT_FUNCTION(V2D_SYS_TimerGetDelta) {
    SetCheckpoint(138, 10);
    GluePushNumber(L, GetEngine()->TimerGetDelta());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_SYS_TimerGetFPS) {
    SetCheckpoint(138, 16);
    GluePushNumber(L, GetEngine()->TimerGetFPS());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_SYS_SetXMLEncryptMode) {
    SetCheckpoint(138, 22);
    GlueCheckArguments("V2D_SYS_SetXMLEncryptMode", GlueFirstBadArgument(L, {GLUE_BOOLEAN}), "cvelmor_glue_sys",
                       __LINE__);
    GetEngine()->SetXMLEncryptMode(GlueToBoolean(L, 1));
    return 0;
}

// Nothing to do (an inactive window, a lost device) means waiting for the
// next window message before answering, as the game's own loop does, so a
// script loop sleeps instead of spinning.
V2D_SCRIPT_FUNCTION(V2D_SYS_UpdateAllSystems) {
    SetCheckpoint(138, 22);
    const int32_t result = GetEngine()->UpdateAllSystems();
    if (result == 0) platform::GetSystem().WaitMessage();
    GluePushNumber(L, result);
    return 1;
}

}  // namespace

void RegisterGlueSys(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_SYS_TimerGetDelta", script_V2D_SYS_TimerGetDelta);
    engine.ScriptRegisterFunction("V2D_SYS_TimerGetFPS", script_V2D_SYS_TimerGetFPS);
    engine.ScriptRegisterFunction("V2D_SYS_SetXMLEncryptMode", script_V2D_SYS_SetXMLEncryptMode);
    engine.ScriptRegisterFunction("V2D_SYS_UpdateAllSystems", script_V2D_SYS_UpdateAllSystems);
}
