#include "v2dgui_stdclass_textbox.h"

#include <cmath>

#include "cvelmor.h"
#include "cvelmor_utils_utf8.h"

void CGUITextBox::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(328, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_COORDS:
        CGUILabel::SetParam(fp_iParamID, fp_Value);
        // By default the clickable area is the box itself.
        if (m_ActiveRect.w <= 0.0f || m_ActiveRect.h <= 0.0f) m_ActiveRect = m_Coords;
        break;
    case GUIPARAM_TEXT:
        SetText(fp_Value.GetString());
        RefreshDisplayed();
        break;
    case GUIPARAM_TEXTBOX_ON_ENABLE:
        m_OnEnable.Set(fp_Value);
        break;
    case GUIPARAM_TEXTBOX_ON_DISABLE:
        m_OnDisable.Set(fp_Value);
        break;
    case GUIPARAM_TEXTBOX_ACTIVERECT:
        m_ActiveRect = fp_Value.GetRect();
        break;
    case GUIPARAM_ON_INPUT:
        m_OnInput.Set(fp_Value);
        break;
    case GUIPARAM_BLINK_TIME:
        m_fBlinkTime = fp_Value.GetFloat();
        break;
    case GUIPARAM_BLINK_CHAR:
        m_strBlinkChar = fp_Value.GetString();
        RefreshDisplayed();
        break;
    case GUIPARAM_MAXCHARS:
        m_iMaxChars = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_LANGUAGE:
        m_iLanguage = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_SOUND_INPUT:
        m_iInputSound = ResolveSound(fp_Value);
        break;
    default:
        CGUILabel::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUITextBox::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(328, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_TEXTBOX_ON_ENABLE:
        return m_OnEnable.Get();
    case GUIPARAM_TEXTBOX_ON_DISABLE:
        return m_OnDisable.Get();
    case GUIPARAM_TEXTBOX_ACTIVERECT:
        return CGUIValue(m_ActiveRect);
    case GUIPARAM_ON_INPUT:
        return m_OnInput.Get();
    case GUIPARAM_BLINK_TIME:
        return CGUIValue(m_fBlinkTime);
    case GUIPARAM_BLINK_CHAR:
        return CGUIValue(m_strBlinkChar);
    case GUIPARAM_MAXCHARS:
        return CGUIValue(static_cast<float>(m_iMaxChars));
    case GUIPARAM_LANGUAGE:
        return CGUIValue(static_cast<float>(m_iLanguage));
    case GUIPARAM_SOUND_INPUT:
        return CGUIValue(static_cast<float>(m_iInputSound));
    default:
        return CGUILabel::GetParam(fp_iParamID);
    }
}

void CGUITextBox::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(328, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_ENABLE:
        m_OnEnable.FireIfSet();
        m_bEnabled = true;
        break;
    case GUICMD_DISABLE:
        m_OnDisable.FireIfSet();
        m_bEnabled = false;
        m_bCursorShown = false;
        m_fBlinkTimer = 0.0f;
        RefreshDisplayed();
        break;
    default:
        CGUILabel::ExecuteCommand(fp_iCommand);
    }
}

void CGUITextBox::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                         bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(328, __LINE__);
    UpdateLabel(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
    m_EffActiveRect = {fp_ParentRect.x + m_ActiveRect.x - fp_fShiftX, fp_ParentRect.y + m_ActiveRect.y - fp_fShiftY,
                       m_ActiveRect.w, m_ActiveRect.h};
    TakeFocusFromMouseAndKeys(fp_bParentEnabled);
    // The focus may have changed just now.
    m_bEffEnabled = m_bEnabled && fp_bParentEnabled;
    if (m_bEffVisible && m_bEffEnabled) {
        Type();
        Blink();
    }
}

void CGUITextBox::TakeFocusFromMouseAndKeys(bool fp_bParentEnabled) {
    if (!fp_bParentEnabled || !m_bEffVisible) return;
    CVelmor& engine = Engine();
    if (MouseClicked()) ExecuteCommand(CursorInside(m_EffActiveRect) ? GUICMD_ENABLE : GUICMD_DISABLE);
    if (engine.MouseIsKeyClicked(2) || engine.KeyboardIsKeyClicked(kKeyReturn)) ExecuteCommand(GUICMD_DISABLE);
}

void CGUITextBox::Type() {
    CVelmor& engine = Engine();
    bool changed = false;
    if (m_iLanguage == 1) {
        const auto fits = [this](const std::string& longer) { return Fits(longer); };
        changed = Utf8AppendTyped(m_strText, engine.KeyboardGetTypedText(), fits);
    }
    if (engine.KeyboardIsKeyClicked(kKeyBackspace)) {
        Utf8PopBack(m_strText);
        changed = true;
    }
    if (!changed) return;
    PlaySound(m_iInputSound);
    m_OnInput.FireIfSet();
    MeasureText();
    RefreshDisplayed();
}

// Characters count, not bytes; and the text with its cursor stays inside the
// box, so a name never draws past its field.
bool CGUITextBox::Fits(const std::string& fp_strText) const {
    return static_cast<int64_t>(Utf8Length(fp_strText)) <= m_iMaxChars &&
           MeasureWidth(fp_strText + m_strBlinkChar) <= m_Coords.w;
}

void CGUITextBox::Blink() {
    if (m_fBlinkTime <= 0.0f) {
        // No blinking: a steady cursor.
        m_bCursorShown = true;
    } else {
        m_fBlinkTimer += FrameTime();
        if (m_fBlinkTimer >= m_fBlinkTime) {
            m_fBlinkTimer = std::fmod(m_fBlinkTimer, m_fBlinkTime);
            m_bCursorShown = !m_bCursorShown;
        }
    }
    RefreshDisplayed();
}

void CGUITextBox::RefreshDisplayed() { m_strDisplayed = m_bCursorShown ? m_strText + m_strBlinkChar : m_strText; }
