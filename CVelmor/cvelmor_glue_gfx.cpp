// Script functions of graphics: the scene, vertex quads, textures,
// techniques and fonts. Textures, techniques and fonts are named by handle
// (a number) or identifier (a string).
#include "cvelmor.h"
#include "cvelmor_glue.h"

namespace {

const char* const kFile = "cvelmor_glue_gfx";

#define CHECK_ARGS(NAME, ...) \
    GlueCheckArguments(NAME, GlueFirstBadArgument(L, __VA_ARGS__), kFile, __LINE__)

// The optional trailing argument at `index`, or its default when absent.
float OptionalFloat(lua_State* L, int index, float fallback) {
    return GlueArgCount(L) >= index ? GlueToFloat(L, index) : fallback;
}

uint32_t StageArgument(lua_State* L, int index) {
    const int stage = GlueArgCount(L) >= index ? GlueToInt(L, index) : 0;
    return static_cast<uint32_t>(stage);
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneBegin) {
    SetCheckpoint(147, 30);
    (void)L;
    GetEngine()->SceneBegin();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneEnd) {
    SetCheckpoint(147, 37);
    (void)L;
    GetEngine()->SceneEnd();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneClearScreen) {
    SetCheckpoint(147, 44);
    CHECK_ARGS("V2D_GFX_SceneClearScreen", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->SceneClearScreen(GlueToFloat(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneRender) {
    SetCheckpoint(147, 51);
    (void)L;
    GetEngine()->SceneRender();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_ScenePresent) {
    SetCheckpoint(147, 58);
    (void)L;
    GetEngine()->ScenePresent();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneSetViewport) {
    SetCheckpoint(147, 65);
    CHECK_ARGS("V2D_GFX_SceneSetViewport", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->SceneSetViewport(GlueToInt(L, 1), GlueToInt(L, 2), GlueToInt(L, 3), GlueToInt(L, 4));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneMakeScreenshot) {
    SetCheckpoint(147, 72);
    (void)L;
    GetEngine()->SceneMakeScreenshot();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_SceneSetGamma) {
    SetCheckpoint(147, 79);
    CHECK_ARGS("V2D_GFX_SceneSetGamma", {GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->SceneSetGamma(GlueToFloat(L, 1), GlueToFloat(L, 2));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadSetPos) {
    SetCheckpoint(147, 86);
    float v[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.5f};
    GlueCheckArguments("V2D_GFX_VQuadSetPos", GlueReadNumbers(L, 4, 5, v), kFile, __LINE__);
    GetEngine()->VQuadSetPos(v[0], v[1], v[2], v[3], v[4]);
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadSetPosByVertex) {
    SetCheckpoint(147, 94);
    CHECK_ARGS("V2D_GFX_VQuadSetPosByVertex", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}, {GLUE_NUMBER});
    GetEngine()->VQuadSetPosByVertex(GlueToInt(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3),
                                     OptionalFloat(L, 4, 0.5f));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadRotate) {
    SetCheckpoint(147, 102);
    CHECK_ARGS("V2D_GFX_VQuadRotate", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->VQuadRotate(GlueToFloat(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadScale) {
    SetCheckpoint(147, 109);
    CHECK_ARGS("V2D_GFX_VQuadScale", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->VQuadScale(GlueToFloat(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadMove) {
    SetCheckpoint(147, 116);
    CHECK_ARGS("V2D_GFX_VQuadMove", {GLUE_NUMBER, GLUE_NUMBER}, {GLUE_NUMBER});
    GetEngine()->VQuadMove(GlueToFloat(L, 1), GlueToFloat(L, 2), OptionalFloat(L, 3, 0.0f));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadSetTexCoords) {
    SetCheckpoint(147, 123);
    CHECK_ARGS("V2D_GFX_VQuadSetTexCoords", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    GetEngine()->VQuadSetTexCoords(GlueToInt(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3), GlueToFloat(L, 4),
                                   GlueToFloat(L, 5));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadSetColor) {
    SetCheckpoint(147, 131);
    CHECK_ARGS("V2D_GFX_VQuadSetColor", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}, {GLUE_NUMBER});
    GetEngine()->VQuadSetColor(GlueToFloat(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3), OptionalFloat(L, 4, 1.0f));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_VQuadSetColorByVertex) {
    SetCheckpoint(147, 138);
    CHECK_ARGS("V2D_GFX_VQuadSetColorByVertex", {GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER}, {GLUE_NUMBER});
    GetEngine()->VQuadSetColorByVertex(GlueToInt(L, 1), GlueToFloat(L, 2), GlueToFloat(L, 3), GlueToFloat(L, 4),
                                       OptionalFloat(L, 5, 0.0f));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_TexUnloadByID) {
    SetCheckpoint(147, 146);
    CHECK_ARGS("V2D_GFX_TexUnloadByID", {GLUE_HANDLE});
    if (GlueIsString(L, 1)) {
        GetEngine()->UnloadTexture(GlueToString(L, 1));
    } else {
        GetEngine()->UnloadTexture(GlueToInt(L, 1));
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_TexSet) {
    SetCheckpoint(147, 157);
    CHECK_ARGS("V2D_GFX_TexSet", {GLUE_HANDLE}, {GLUE_NUMBER});
    const uint32_t stage = StageArgument(L, 2);
    if (GlueIsString(L, 1)) {
        GetEngine()->SetTexture(GlueToString(L, 1), stage);
    } else {
        GetEngine()->SetTexture(GlueToInt(L, 1), stage);
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_TexSetNoTexture) {
    SetCheckpoint(147, 169);
    CHECK_ARGS("V2D_GFX_TexSetNoTexture", {}, {GLUE_NUMBER});
    GetEngine()->SetNoTexture(StageArgument(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_TechApply) {
    SetCheckpoint(147, 176);
    CHECK_ARGS("V2D_GFX_TechApply", {GLUE_HANDLE});
    if (GlueIsString(L, 1)) {
        GetEngine()->ApplyTechnique(GlueToString(L, 1));
    } else {
        GetEngine()->ApplyTechnique(GlueToInt(L, 1));
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_FontSet) {
    SetCheckpoint(147, 187);
    CHECK_ARGS("V2D_GFX_FontSet", {GLUE_HANDLE});
    if (GlueIsString(L, 1)) {
        GetEngine()->SetCurrentFont(GlueToString(L, 1));
    } else {
        GetEngine()->SetCurrentFont(GlueToInt(L, 1));
    }
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_GFX_FontDrawText) {
    SetCheckpoint(147, 198);
    CHECK_ARGS("V2D_GFX_FontDrawText", {GLUE_STRING, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER, GLUE_NUMBER});
    const int maxChars = GlueToInt(L, 4);
    GetEngine()->DrawText(GlueToString(L, 1).c_str(), GlueToFloat(L, 2), GlueToFloat(L, 3),
                          maxChars < 0 ? 0u : static_cast<uint32_t>(maxChars), GlueToInt(L, 5), GlueToFloat(L, 6));
    return 0;
}

}  // namespace

void RegisterGlueGfx(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_GFX_SceneBegin", script_V2D_GFX_SceneBegin);
    engine.ScriptRegisterFunction("V2D_GFX_SceneEnd", script_V2D_GFX_SceneEnd);
    engine.ScriptRegisterFunction("V2D_GFX_SceneClearScreen", script_V2D_GFX_SceneClearScreen);
    engine.ScriptRegisterFunction("V2D_GFX_SceneRender", script_V2D_GFX_SceneRender);
    engine.ScriptRegisterFunction("V2D_GFX_ScenePresent", script_V2D_GFX_ScenePresent);
    engine.ScriptRegisterFunction("V2D_GFX_SceneSetViewport", script_V2D_GFX_SceneSetViewport);
    engine.ScriptRegisterFunction("V2D_GFX_SceneMakeScreenshot", script_V2D_GFX_SceneMakeScreenshot);
    engine.ScriptRegisterFunction("V2D_GFX_SceneSetGamma", script_V2D_GFX_SceneSetGamma);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadSetPos", script_V2D_GFX_VQuadSetPos);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadSetPosByVertex", script_V2D_GFX_VQuadSetPosByVertex);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadRotate", script_V2D_GFX_VQuadRotate);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadScale", script_V2D_GFX_VQuadScale);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadMove", script_V2D_GFX_VQuadMove);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadSetTexCoords", script_V2D_GFX_VQuadSetTexCoords);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadSetColor", script_V2D_GFX_VQuadSetColor);
    engine.ScriptRegisterFunction("V2D_GFX_VQuadSetColorByVertex", script_V2D_GFX_VQuadSetColorByVertex);
    engine.ScriptRegisterFunction("V2D_GFX_TexUnloadByID", script_V2D_GFX_TexUnloadByID);
    engine.ScriptRegisterFunction("V2D_GFX_TexSet", script_V2D_GFX_TexSet);
    engine.ScriptRegisterFunction("V2D_GFX_TexSetNoTexture", script_V2D_GFX_TexSetNoTexture);
    engine.ScriptRegisterFunction("V2D_GFX_TechApply", script_V2D_GFX_TechApply);
    engine.ScriptRegisterFunction("V2D_GFX_FontSet", script_V2D_GFX_FontSet);
    engine.ScriptRegisterFunction("V2D_GFX_FontDrawText", script_V2D_GFX_FontDrawText);
}
