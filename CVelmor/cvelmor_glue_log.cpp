// Script function of the log.
#include "cvelmor.h"
#include "cvelmor_glue.h"

namespace {

V2D_SCRIPT_FUNCTION(V2D_LOG_AddEntry) {
    SetCheckpoint(146, 9);
    GlueCheckArguments("V2D_LOG_AddEntry", GlueFirstBadArgument(L, {GLUE_STRING}), "cvelmor_glue_log", __LINE__);
    GetEngine()->LogLine(GlueToString(L, 1));
    return 0;
}

}  // namespace

void RegisterGlueLog(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_LOG_AddEntry", script_V2D_LOG_AddEntry);
}
