#include "v2dgui_datatypes.h"

#include "cvelmor.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {
const char* const kFile = "v2dgui_datatypes";
}

void CGUIValue::Clear() {
    m_fValue = 0.0f;
    m_bValue = 0;
    m_strValue.clear();
    m_pFunction = nullptr;
    m_Point = GUIPOINT();
    m_Rect = GUIRECT();
    m_pEnum = nullptr;
    m_iType = GUIVAL_EMPTY;
}

void CGUIValue::RequireType(int32_t type, const char* message) const {
    if (m_iType != type) throw CEHSException(EHS_TYPE_GENERAL, 0, message, kFile, __LINE__);
}

void CGUIValue::SetFloat(float value) {
    Clear();
    m_fValue = value;
    m_iType = GUIVAL_FLOAT;
}

void CGUIValue::SetBoolean(bool value) {
    Clear();
    m_bValue = value ? 1 : 0;
    m_iType = GUIVAL_BOOLEAN;
}

void CGUIValue::SetString(const std::string& value) {
    Clear();
    m_strValue = value;
    m_iType = GUIVAL_STRING;
}

void CGUIValue::SetFunction(V2DGUIACTIONFUNC value) {
    Clear();
    m_pFunction = value;
    m_iType = GUIVAL_FUNCTION;
}

void CGUIValue::SetPoint(const GUIPOINT& value) {
    Clear();
    m_Point = value;
    m_iType = GUIVAL_POINT;
}

void CGUIValue::SetRect(const GUIRECT& value) {
    Clear();
    m_Rect = value;
    m_iType = GUIVAL_RECT;
}

void CGUIValue::SetEnum(CGUIEnum* value) {
    Clear();
    m_pEnum = value;
    m_iType = GUIVAL_ENUM;
}

float CGUIValue::GetFloat() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_FLOAT, "CGUIValue error: current type is not float!");
    return m_fValue;
}

bool CGUIValue::GetBoolean() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_BOOLEAN, "CGUIValue error: current type is not boolean!");
    return m_bValue != 0;
}

const std::string& CGUIValue::GetString() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_STRING, "CGUIValue error: current type is not string!");
    return m_strValue;
}

V2DGUIACTIONFUNC CGUIValue::GetFunction() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_FUNCTION, "CGUIValue error: current type is not function pointer!");
    return m_pFunction;
}

const GUIPOINT& CGUIValue::GetPoint() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_POINT, "CGUIValue error: current type is not GUIPOINT!");
    return m_Point;
}

const GUIRECT& CGUIValue::GetRect() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_RECT, "CGUIValue error: current type is not GUIRECT!");
    return m_Rect;
}

CGUIEnum* CGUIValue::GetEnum() const {
    SetCheckpoint(302, __LINE__);
    RequireType(GUIVAL_ENUM, "CGUIValue error: current type is not CGUIEnum*!");
    return m_pEnum;
}

void CGUIAction::Set(const CGUIValue& value) {
    if (value.GetType() == GUIVAL_FUNCTION)
        SetNative(value.GetFunction());
    else
        SetScript(value.GetString());
}

CGUIValue CGUIAction::Get() const {
    if (m_iKind == GUIACTION_NATIVE) return CGUIValue(m_pNative);
    return CGUIValue(m_strScript);
}

void CGUIAction::Fire() const { Fire({}); }

namespace {

void PushScriptValue(CVelmor& engine, const CGUIValue& value) {
    switch (value.GetType()) {
    case GUIVAL_FLOAT:
        engine.ScriptAddParam(CLuaValue(static_cast<double>(value.GetFloat())));
        break;
    case GUIVAL_BOOLEAN:
        engine.ScriptAddParam(CLuaValue(value.GetBoolean()));
        break;
    case GUIVAL_STRING:
        engine.ScriptAddParam(CLuaValue(value.GetString(), false));
        break;
    case GUIVAL_POINT:
        engine.ScriptAddParam(CLuaValue(static_cast<double>(value.GetPoint().x)));
        engine.ScriptAddParam(CLuaValue(static_cast<double>(value.GetPoint().y)));
        break;
    case GUIVAL_RECT: {
        const GUIRECT& rect = value.GetRect();
        for (float component : {rect.x, rect.y, rect.w, rect.h})
            engine.ScriptAddParam(CLuaValue(static_cast<double>(component)));
        break;
    }
    default:
        break;  // functions and enumerations have no script form
    }
}

}  // namespace

void CGUIAction::Fire(const std::vector<CGUIValue>& values) const {
    SetCheckpoint(302, __LINE__);
    if (m_iKind == GUIACTION_SCRIPT) {
        CVelmor& engine = *GetEngine();
        for (const CGUIValue& value : values) PushScriptValue(engine, value);
        engine.ScriptCallFunction(m_strScript, -1);
    } else if (m_iKind == GUIACTION_NATIVE) {
        CVelmorGUI* gui = GetGUI();
        if (gui == nullptr) {
            m_pNative();
            return;
        }
        CGUIActionParams scope(*gui, values);
        m_pNative();
    } else {
        throw CEHSException(EHS_TYPE_GAME, 0, "Unknown action type!", kFile, __LINE__);
    }
}
