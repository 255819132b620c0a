// Script functions that load an item on demand and answer its handle.
#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "cvelmor_res.h"

namespace {

const char* const kFile = "cvelmor_glue_util";

// The six functions share one shape: a text identifier in, a handle out.
int DemandByIdentifier(lua_State* L, const char* name, int32_t (*demand)(const char*)) {
    GlueCheckArguments(name, GlueFirstBadArgument(L, {GLUE_STRING}), kFile, __LINE__);
    GluePushNumber(L, demand(GlueToString(L, 1).c_str()));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandTexture) {
    SetCheckpoint(151, 20);
    return DemandByIdentifier(L, "V2DUTIL_DemandTexture", DemandTexture);
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandTechnique) {
    SetCheckpoint(151, 25);
    GlueCheckArguments("V2DUTIL_DemandTechnique", GlueFirstBadArgument(L, {GLUE_STRING, GLUE_STRING}), kFile,
                       __LINE__);
    GluePushNumber(L, DemandTechnique(GlueToString(L, 1).c_str(), GlueToString(L, 2).c_str()));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandFont) {
    SetCheckpoint(151, 33);
    return DemandByIdentifier(L, "V2DUTIL_DemandFont", DemandFont);
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandSound) {
    SetCheckpoint(151, 38);
    return DemandByIdentifier(L, "V2DUTIL_DemandSound", DemandSound);
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandMusic) {
    SetCheckpoint(151, 43);
    return DemandByIdentifier(L, "V2DUTIL_DemandMusic", DemandMusic);
}

V2D_SCRIPT_FUNCTION(V2DUTIL_DemandPlaylist) {
    SetCheckpoint(151, 48);
    return DemandByIdentifier(L, "V2DUTIL_DemandPlaylist", DemandPlaylist);
}

}  // namespace

void RegisterGlueUtil(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2DUTIL_DemandTexture", script_V2DUTIL_DemandTexture);
    engine.ScriptRegisterFunction("V2DUTIL_DemandTechnique", script_V2DUTIL_DemandTechnique);
    engine.ScriptRegisterFunction("V2DUTIL_DemandFont", script_V2DUTIL_DemandFont);
    engine.ScriptRegisterFunction("V2DUTIL_DemandSound", script_V2DUTIL_DemandSound);
    engine.ScriptRegisterFunction("V2DUTIL_DemandMusic", script_V2DUTIL_DemandMusic);
    engine.ScriptRegisterFunction("V2DUTIL_DemandPlaylist", script_V2DUTIL_DemandPlaylist);
}
