// Script functions of the engine core: frame timer and system update.
#include "cvelmor.h"
#include "cvelmor_glue.h"

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

V2D_SCRIPT_FUNCTION(V2D_SYS_UpdateAllSystems) {
    SetCheckpoint(138, 22);
    GluePushNumber(L, GetEngine()->UpdateAllSystems());
    return 1;
}

}  // namespace

void RegisterGlueSys(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_SYS_TimerGetDelta", script_V2D_SYS_TimerGetDelta);
    engine.ScriptRegisterFunction("V2D_SYS_TimerGetFPS", script_V2D_SYS_TimerGetFPS);
    engine.ScriptRegisterFunction("V2D_SYS_SetXMLEncryptMode", script_V2D_SYS_SetXMLEncryptMode);
    engine.ScriptRegisterFunction("V2D_SYS_UpdateAllSystems", script_V2D_SYS_UpdateAllSystems);
}
