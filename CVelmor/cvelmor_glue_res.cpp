// Script functions of the resource manager.
#include "cvelmor.h"
#include "cvelmor_glue.h"

namespace {

const char* const kFile = "cvelmor_glue_res";

V2D_SCRIPT_FUNCTION(V2D_RES_LoadResource) {
    SetCheckpoint(150, 10);
    GlueCheckArguments("V2D_RES_LoadResource", GlueFirstBadArgument(L, {GLUE_STRING}), kFile, __LINE__);
    GetEngine()->LoadResource(GlueToString(L, 1).c_str());
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_RES_LoadResources) {
    SetCheckpoint(150, 17);
    GlueCheckArguments("V2D_RES_LoadResources", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile, __LINE__);
    GetEngine()->LoadResources(GlueToInt(L, 1));
    return 0;
}

}  // namespace

void RegisterGlueRes(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_RES_LoadResource", script_V2D_RES_LoadResource);
    engine.ScriptRegisterFunction("V2D_RES_LoadResources", script_V2D_RES_LoadResources);
}
