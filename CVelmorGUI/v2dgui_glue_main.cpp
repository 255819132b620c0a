// The GUI's script functions: the manager's element operations, with
// elements named by string or numeric ID and parameters by name or number.
extern "C" {
#include <lua.h>
}

#include <cmath>

#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

const char* const kFile = "v2dgui_glue_main";

CVelmorGUI& GUI() {
    CVelmorGUI* gui = GetGUI();
    EHS_ASSERT(gui != nullptr, kFile);
    return *gui;
}

bool IsHandle(lua_State* L, int index) {
    const int type = lua_type(L, index);
    return type == LUA_TNUMBER || type == LUA_TSTRING;
}

// A numeric ID; numbers that are no integer ID at all name no element.
int32_t ToID(lua_State* L, int index) {
    const double number = lua_tonumber(L, index);
    if (!std::isfinite(number) || number <= -2147483649.0 || number >= 2147483648.0) return -1;
    return static_cast<int32_t>(number);
}

[[noreturn]] void ThrowCombination(const char* function, uint32_t line) {
    throw CEHSException(EHS_TYPE_GAME, 0,
                        std::string("Error in glue function ") + function + ": invalid combination of arguments!",
                        kFile, line);
}

// The value written after the element and the parameter.
bool ReadValue(lua_State* L, CGUIValue& value) {
    const int count = lua_gettop(L) - 2;
    auto allNumbers = [L](int first, int n) {
        for (int i = first; i < first + n; ++i)
            if (lua_type(L, i) != LUA_TNUMBER) return false;
        return true;
    };
    if (count == 1) {
        switch (lua_type(L, 3)) {
        case LUA_TBOOLEAN:
            value.SetBoolean(GlueToBoolean(L, 3));
            return true;
        case LUA_TNUMBER:
            value.SetFloat(GlueToFloat(L, 3));
            return true;
        case LUA_TSTRING:
            value.SetString(GlueToString(L, 3));
            return true;
        default:
            return false;
        }
    }
    if (count == 2 && allNumbers(3, 2)) {
        value.SetPoint(GUIPOINT{GlueToFloat(L, 3), GlueToFloat(L, 4)});
        return true;
    }
    if (count == 4 && allNumbers(3, 4)) {
        value.SetRect(GUIRECT{GlueToFloat(L, 3), GlueToFloat(L, 4), GlueToFloat(L, 5), GlueToFloat(L, 6)});
        return true;
    }
    return false;
}

// Position of the first number in the value that the engine's other script
// functions would refuse (NaN, an infinity, beyond the 32-bit integers), or 0.
int FirstUnusableValueNumber(lua_State* L) {
    for (int index = 3; index <= lua_gettop(L); ++index)
        if (lua_type(L, index) == LUA_TNUMBER && !GlueIsUsableNumber(lua_tonumber(L, index))) return index;
    return 0;
}

V2D_SCRIPT_FUNCTION(V2DGUI_AddNewElement) {
    SetCheckpoint(345, __LINE__);
    GlueCheckArguments("V2DGUI_AddNewElement", GlueFirstBadArgument(L, {GLUE_STRING, GLUE_STRING, GLUE_HANDLE}),
                       kFile, __LINE__);
    const std::string elementClass = GlueToString(L, 1);
    const std::string id = GlueToString(L, 2);
    const int32_t added = GlueIsString(L, 3) ? GUI().AddNewElement(elementClass, id, GlueToString(L, 3))
                                             : GUI().AddNewElement(elementClass, id, ToID(L, 3));
    GluePushNumber(L, added);
    return 1;
}

V2D_SCRIPT_FUNCTION(V2DGUI_GetElementID) {
    SetCheckpoint(345, __LINE__);
    GlueCheckArguments("V2DGUI_GetElementID", GlueFirstBadArgument(L, {GLUE_STRING}), kFile, __LINE__);
    GluePushNumber(L, GUI().GetElementID(GlueToString(L, 1)));
    return 1;
}

V2D_SCRIPT_FUNCTION(V2DGUI_SetElementParam) {
    SetCheckpoint(345, __LINE__);
    const char* const name = "glue_V2DGUI_SetElementParam";
    CGUIValue value;
    if (lua_gettop(L) < 3 || !IsHandle(L, 1) || !IsHandle(L, 2) || !ReadValue(L, value))
        ThrowCombination(name, __LINE__);
    GlueCheckArguments("V2DGUI_SetElementParam", FirstUnusableValueNumber(L), kFile, __LINE__);
    const bool elementByName = GlueIsString(L, 1), paramByName = GlueIsString(L, 2);
    if (elementByName && paramByName)
        GUI().SetElementParam(GlueToString(L, 1), GlueToString(L, 2), value);
    else if (elementByName)
        GUI().SetElementParam(GlueToString(L, 1), ToID(L, 2), value);
    else if (paramByName)
        GUI().SetElementParam(ToID(L, 1), GlueToString(L, 2), value);
    else
        GUI().SetElementParam(ToID(L, 1), ToID(L, 2), value);
    return 0;
}

V2D_SCRIPT_FUNCTION(V2DGUI_GetElementParam) {
    SetCheckpoint(345, __LINE__);
    const char* const name = "glue_V2DGUI_GetElementParam";
    if (lua_gettop(L) != 2 || !IsHandle(L, 1) || !IsHandle(L, 2)) ThrowCombination(name, __LINE__);
    const bool elementByName = GlueIsString(L, 1), paramByName = GlueIsString(L, 2);
    CGUIValue value;
    if (elementByName && paramByName)
        value = GUI().GetElementParam(GlueToString(L, 1), GlueToString(L, 2));
    else if (elementByName)
        value = GUI().GetElementParam(GlueToString(L, 1), ToID(L, 2));
    else if (paramByName)
        value = GUI().GetElementParam(ToID(L, 1), GlueToString(L, 2));
    else
        value = GUI().GetElementParam(ToID(L, 1), ToID(L, 2));
    switch (value.GetType()) {
    case GUIVAL_FLOAT:
        GluePushNumber(L, value.GetFloat());
        return 1;
    case GUIVAL_BOOLEAN:
        GluePushBoolean(L, value.GetBoolean());
        return 1;
    case GUIVAL_STRING:
        GluePushString(L, value.GetString());
        return 1;
    case GUIVAL_POINT:
        GluePushNumber(L, value.GetPoint().x);
        GluePushNumber(L, value.GetPoint().y);
        return 2;
    case GUIVAL_RECT: {
        const GUIRECT& rect = value.GetRect();
        for (float component : {rect.x, rect.y, rect.w, rect.h}) GluePushNumber(L, component);
        return 4;
    }
    default:
        throw CEHSException(EHS_TYPE_GAME, 0,
                            "Error in glue function glue_V2DGUI_GetElementParam: invalid value type!", kFile,
                            __LINE__);
    }
}

V2D_SCRIPT_FUNCTION(V2DGUI_ExecuteElementCommand) {
    SetCheckpoint(345, __LINE__);
    GlueCheckArguments("V2DGUI_ExecuteElementCommand",
                       GlueFirstBadArgument(L, {GLUE_HANDLE, GLUE_NUMBER}, {GLUE_NUMBER}), kFile, __LINE__);
    const int32_t command = ToID(L, 2);
    const float delay = lua_gettop(L) >= 3 ? GlueToFloat(L, 3) : 0.0f;
    if (GlueIsString(L, 1))
        GUI().ExecuteElementCommand(GlueToString(L, 1), command, delay);
    else
        GUI().ExecuteElementCommand(ToID(L, 1), command, delay);
    return 0;
}

V2D_SCRIPT_FUNCTION(V2DGUI_SetCurTip) {
    SetCheckpoint(345, __LINE__);
    GlueCheckArguments("V2DGUI_SetCurTip", GlueFirstBadArgument(L, {GLUE_HANDLE}), kFile, __LINE__);
    if (GlueIsString(L, 1))
        GUI().SetCurTip(GlueToString(L, 1));
    else
        GUI().SetCurTip(ToID(L, 1));
    return 0;
}

V2D_SCRIPT_FUNCTION(V2DGUI_Update) {
    SetCheckpoint(345, __LINE__);
    static_cast<void>(L);
    GUI().Update();
    return 0;
}

V2D_SCRIPT_FUNCTION(V2DGUI_Draw) {
    SetCheckpoint(345, __LINE__);
    static_cast<void>(L);
    GUI().Draw();
    return 0;
}

}  // namespace

void RegisterGUIScriptFunctions(CVelmor& fp_Engine) {
    fp_Engine.ScriptRegisterFunction("V2DGUI_AddNewElement", script_V2DGUI_AddNewElement);
    fp_Engine.ScriptRegisterFunction("V2DGUI_GetElementID", script_V2DGUI_GetElementID);
    fp_Engine.ScriptRegisterFunction("V2DGUI_SetElementParam", script_V2DGUI_SetElementParam);
    fp_Engine.ScriptRegisterFunction("V2DGUI_GetElementParam", script_V2DGUI_GetElementParam);
    fp_Engine.ScriptRegisterFunction("V2DGUI_ExecuteElementCommand", script_V2DGUI_ExecuteElementCommand);
    fp_Engine.ScriptRegisterFunction("V2DGUI_SetCurTip", script_V2DGUI_SetCurTip);
}

void RegisterGUIRunnerScriptFunctions(CVelmor& fp_Engine) {
    fp_Engine.ScriptRegisterFunction("V2DGUI_Update", script_V2DGUI_Update);
    fp_Engine.ScriptRegisterFunction("V2DGUI_Draw", script_V2DGUI_Draw);
}
