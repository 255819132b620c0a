// Script functions of sound, music and playlists. A sound is named by its
// handle (a number) or its identifier (a string).
#include "cvelmor.h"
#include "cvelmor_glue.h"

namespace {

const char* const kFile = "cvelmor_glue_sfx";

// The handle of the sound argument at `index`: the number itself, or the
// sound found by its identifier. Without a sound card nothing is loaded, and
// an identifier stands for the no-sound handle, quietly, as the loads answer.
int32_t SoundArgument(lua_State* L, int index) {
    if (GlueIsString(L, index)) {
        if (GetEngine()->m_sfx.bNoSound) return -2;
        return GetEngine()->SoundFind(GlueToString(L, index));
    }
    return GlueToInt(L, index);
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SetGlobalVolumes) {
    SetCheckpoint(149, 20);
    GlueCheckArguments("V2D_SFX_SetGlobalVolumes", GlueFirstBadArgument(L, {GLUE_NUMBER, GLUE_NUMBER}), kFile,
                       __LINE__);
    GetEngine()->SoundSetGlobalVolumes(GlueToInt(L, 1), GlueToInt(L, 2));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundUnload) {
    SetCheckpoint(149, 28);
    GlueCheckArguments("V2D_SFX_SoundUnload", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    if (GlueIsString(L, 1)) {
        GetEngine()->SoundUnload(GlueToString(L, 1));
    } else {
        GetEngine()->SoundUnload(GlueToInt(L, 1));
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundPlay) {
    SetCheckpoint(149, 40);
    GlueCheckArguments("V2D_SFX_SoundPlay",
                       GlueFirstBadArgument(L, {GLUE_HANDLE, GLUE_BOOLEAN, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}),
                       kFile, __LINE__);
    GetEngine()->SoundPlay(SoundArgument(L, 1), GlueToBoolean(L, 2), GlueToInt(L, 3), GlueToInt(L, 4),
                           GlueToInt(L, 5));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundStop) {
    SetCheckpoint(149, 50);
    GlueCheckArguments("V2D_SFX_SoundStop", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    GetEngine()->SoundStop(SoundArgument(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundPause) {
    SetCheckpoint(149, 57);
    GlueCheckArguments("V2D_SFX_SoundPause", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    GetEngine()->SoundPause(SoundArgument(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundResume) {
    SetCheckpoint(149, 64);
    GlueCheckArguments("V2D_SFX_SoundResume", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    GetEngine()->SoundResume(SoundArgument(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundSetAttributes) {
    SetCheckpoint(149, 71);
    GlueCheckArguments("V2D_SFX_SoundSetAttributes",
                       GlueFirstBadArgument(L, {GLUE_HANDLE, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}), kFile,
                       __LINE__);
    GetEngine()->SoundSetAttributes(SoundArgument(L, 1), GlueToInt(L, 2), GlueToInt(L, 3), GlueToInt(L, 4));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundSlideAttributes) {
    SetCheckpoint(149, 80);
    GlueCheckArguments("V2D_SFX_SoundSlideAttributes",
                       GlueFirstBadArgument(L, {GLUE_HANDLE, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}),
                       kFile, __LINE__);
    GetEngine()->SoundSlideAttributes(SoundArgument(L, 1), GlueToInt(L, 2), GlueToInt(L, 3), GlueToInt(L, 4),
                                      GlueToInt(L, 5));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_SoundGetStatus) {
    SetCheckpoint(149, 90);
    GlueCheckArguments("V2D_SFX_SoundGetStatus", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    GluePushNumber(L, GetEngine()->SoundIsPlaying(SoundArgument(L, 1)) ? 1 : 0);
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_MusicSetVolume) {
    SetCheckpoint(149, 97);
    GlueCheckArguments("V2D_SFX_MusicSetVolume", GlueFirstBadArgument(L, {GLUE_NUMBER, GLUE_NUMBER}), kFile,
                       __LINE__);
    GetEngine()->SetMusicVolume(GlueToInt(L, 1), GlueToInt(L, 2));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_PlaylistSet) {
    SetCheckpoint(149, 105);
    GlueCheckArguments("V2D_SFX_PlaylistSet", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    if (GlueIsString(L, 1)) {
        GetEngine()->PlaylistSet(GlueToString(L, 1));
    } else {
        GetEngine()->PlaylistSet(GlueToInt(L, 1));
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_SFX_PlaylistStop) {
    SetCheckpoint(149, 116);
    (void)L;
    GetEngine()->PlaylistClear();
    return 0;
}

}  // namespace

void RegisterGlueSfx(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_SFX_SetGlobalVolumes", script_V2D_SFX_SetGlobalVolumes);
    engine.ScriptRegisterFunction("V2D_SFX_SoundUnload", script_V2D_SFX_SoundUnload);
    engine.ScriptRegisterFunction("V2D_SFX_SoundPlay", script_V2D_SFX_SoundPlay);
    engine.ScriptRegisterFunction("V2D_SFX_SoundStop", script_V2D_SFX_SoundStop);
    engine.ScriptRegisterFunction("V2D_SFX_SoundPause", script_V2D_SFX_SoundPause);
    engine.ScriptRegisterFunction("V2D_SFX_SoundResume", script_V2D_SFX_SoundResume);
    engine.ScriptRegisterFunction("V2D_SFX_SoundSetAttributes", script_V2D_SFX_SoundSetAttributes);
    engine.ScriptRegisterFunction("V2D_SFX_SoundSlideAttributes", script_V2D_SFX_SoundSlideAttributes);
    engine.ScriptRegisterFunction("V2D_SFX_SoundGetStatus", script_V2D_SFX_SoundGetStatus);
    engine.ScriptRegisterFunction("V2D_SFX_MusicSetVolume", script_V2D_SFX_MusicSetVolume);
    engine.ScriptRegisterFunction("V2D_SFX_PlaylistSet", script_V2D_SFX_PlaylistSet);
    engine.ScriptRegisterFunction("V2D_SFX_PlaylistStop", script_V2D_SFX_PlaylistStop);
}
