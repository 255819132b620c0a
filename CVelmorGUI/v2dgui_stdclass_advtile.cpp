#include "v2dgui_stdclass_advtile.h"

#include "cvelmor.h"

void CGUIAdvTile::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(314, __LINE__);
    switch (fp_iParamID) {
    case PARAM_ON_GOTFOCUS:
        m_OnGotFocus.Set(fp_Value);
        break;
    case PARAM_ON_LOSTFOCUS:
        m_OnLostFocus.Set(fp_Value);
        break;
    case PARAM_ON_CLICK:
        m_OnClick.Set(fp_Value);
        break;
    case PARAM_ON_HOTKEY:
        m_OnHotkey.Set(fp_Value);
        break;
    case PARAM_HOTKEY:
        // A key name as written in data, or a key code already known.
        if (fp_Value.GetType() == GUIVAL_STRING)
            m_iHotkey = CVelmor::KeyNameToCode(fp_Value.GetString());
        else
            m_iHotkey = GUITruncate(fp_Value.GetFloat());
        break;
    default:
        CGUITile::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIAdvTile::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(314, __LINE__);
    switch (fp_iParamID) {
    case PARAM_ON_GOTFOCUS:
        return m_OnGotFocus.Get();
    case PARAM_ON_LOSTFOCUS:
        return m_OnLostFocus.Get();
    case PARAM_ON_CLICK:
        return m_OnClick.Get();
    case PARAM_ON_HOTKEY:
        return m_OnHotkey.Get();
    case PARAM_HOTKEY:
        return CGUIValue(static_cast<float>(m_iHotkey));
    default:
        return CGUITile::GetParam(fp_iParamID);
    }
}

void CGUIAdvTile::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                         bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(314, __LINE__);
    StandardUpdate(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
    if (!m_bEffEnabled || !m_bEffVisible) return;
    m_bHovered = CursorInside(m_EffRect);
    if (m_bHovered && !m_bHoveredLast) m_OnGotFocus.FireIfSet();
    if (!m_bHovered && m_bHoveredLast) m_OnLostFocus.FireIfSet();
    m_bHoveredLast = m_bHovered;
    if (m_bHovered && MouseClicked()) m_OnClick.FireIfSet();
    if (HotkeyClicked()) m_OnHotkey.FireIfSet();
}

bool CGUIAdvTile::HotkeyClicked() const { return m_iHotkey != 0 && Engine().KeyboardIsKeyClicked(m_iHotkey); }
