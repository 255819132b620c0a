// Script functions of the keyboard and the mouse.
#include "cvelmor.h"
#include "cvelmor_glue.h"

namespace {

const char* const kFile = "cvelmor_glue_inp";

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardGetAnyPressedKey) {
    SetCheckpoint(148, 10);
    GluePushNumber(L, GetEngine()->KeyboardGetAnyPressedKey());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardIsKeyPressed) {
    SetCheckpoint(148, 16);
    GlueCheckArguments("V2D_INP_KeyboardIsKeyPressed", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile, __LINE__);
    GluePushBoolean(L, GetEngine()->KeyboardIsKeyPressed(GlueToInt(L, 1)));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardIsKeyClicked) {
    SetCheckpoint(148, 23);
    GlueCheckArguments("V2D_INP_KeyboardIsKeyClicked", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile, __LINE__);
    GluePushBoolean(L, GetEngine()->KeyboardIsKeyClicked(GlueToInt(L, 1)));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardSetTextBufferStatus) {
    SetCheckpoint(148, 30);
    GlueCheckArguments("V2D_INP_KeyboardSetTextBufferStatus", GlueFirstBadArgument(L, {GLUE_BOOLEAN}), kFile,
                       __LINE__);
    GetEngine()->KeyboardSetTextBufferStatus(GlueToBoolean(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardSetTextInBuffer) {
    SetCheckpoint(148, 38);
    GlueCheckArguments("V2D_INP_KeyboardSetTextInBuffer", GlueFirstBadArgument(L, {GLUE_STRING}), kFile, __LINE__);
    GetEngine()->KeyboardSetTextInBuffer(GlueToString(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardGetTextInBuffer) {
    SetCheckpoint(148, 45);
    GluePushString(L, GetEngine()->KeyboardGetTextInBuffer());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_KeyboardSetTextBufferSize) {
    SetCheckpoint(148, 51);
    GlueCheckArguments("V2D_INP_KeyboardSetTextBufferSize", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile,
                       __LINE__);
    const int size = GlueToInt(L, 1);
    GetEngine()->KeyboardSetTextBufferSize(size < 0 ? 0u : static_cast<uint32_t>(size));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetAnyPressedKey) {
    SetCheckpoint(148, 60);
    GluePushNumber(L, GetEngine()->MouseGetAnyPressedKey());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseIsKeyPressed) {
    SetCheckpoint(148, 66);
    GlueCheckArguments("V2D_INP_MouseIsKeyPressed", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile, __LINE__);
    GluePushBoolean(L, GetEngine()->MouseIsKeyPressed(GlueToInt(L, 1)));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseIsKeyClicked) {
    SetCheckpoint(148, 73);
    GlueCheckArguments("V2D_INP_MouseIsKeyClicked", GlueFirstBadArgument(L, {GLUE_NUMBER}), kFile, __LINE__);
    GluePushBoolean(L, GetEngine()->MouseIsKeyClicked(GlueToInt(L, 1)));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetDeltaX) {
    SetCheckpoint(148, 80);
    GluePushNumber(L, GetEngine()->MouseGetDeltaX());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetDeltaY) {
    SetCheckpoint(148, 86);
    GluePushNumber(L, GetEngine()->MouseGetDeltaY());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetWheelDelta) {
    SetCheckpoint(148, 92);
    GluePushNumber(L, GetEngine()->MouseGetWheelDelta());
    return 1;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetCursorPos) {
    SetCheckpoint(148, 98);
    int32_t x = 0;
    int32_t y = 0;
    GetEngine()->MouseGetCursorPos(x, y);
    GluePushNumber(L, x);
    GluePushNumber(L, y);
    return 2;
}

V2D_SCRIPT_FUNCTION(V2D_INP_MouseGetCursorStatus) {
    SetCheckpoint(148, 108);
    GluePushBoolean(L, GetEngine()->MouseGetCursorStatus() != 0);
    return 1;
}

}  // namespace

void RegisterGlueInp(CVelmor& engine) {
    engine.ScriptRegisterFunction("V2D_INP_KeyboardGetAnyPressedKey", script_V2D_INP_KeyboardGetAnyPressedKey);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardIsKeyPressed", script_V2D_INP_KeyboardIsKeyPressed);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardIsKeyClicked", script_V2D_INP_KeyboardIsKeyClicked);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardSetTextBufferStatus", script_V2D_INP_KeyboardSetTextBufferStatus);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardSetTextInBuffer", script_V2D_INP_KeyboardSetTextInBuffer);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardGetTextInBuffer", script_V2D_INP_KeyboardGetTextInBuffer);
    engine.ScriptRegisterFunction("V2D_INP_KeyboardSetTextBufferSize", script_V2D_INP_KeyboardSetTextBufferSize);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetAnyPressedKey", script_V2D_INP_MouseGetAnyPressedKey);
    engine.ScriptRegisterFunction("V2D_INP_MouseIsKeyPressed", script_V2D_INP_MouseIsKeyPressed);
    engine.ScriptRegisterFunction("V2D_INP_MouseIsKeyClicked", script_V2D_INP_MouseIsKeyClicked);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetDeltaX", script_V2D_INP_MouseGetDeltaX);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetDeltaY", script_V2D_INP_MouseGetDeltaY);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetWheelDelta", script_V2D_INP_MouseGetWheelDelta);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetCursorPos", script_V2D_INP_MouseGetCursorPos);
    engine.ScriptRegisterFunction("V2D_INP_MouseGetCursorStatus", script_V2D_INP_MouseGetCursorStatus);
}
