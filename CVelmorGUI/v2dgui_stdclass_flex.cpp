#include "v2dgui_stdclass_flex.h"

#include "cvelmor_ehs.h"

void CGUIFlex::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(336, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_ON_UPDATE:
        m_OnUpdate.Set(fp_Value);
        break;
    case GUIPARAM_ON_REDRAW:
        m_OnRedraw.Set(fp_Value);
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIFlex::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(336, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_ON_UPDATE:
        return m_OnUpdate.Get();
    case GUIPARAM_ON_REDRAW:
        return m_OnRedraw.Get();
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

// A script gets x, y, w, h, r, g, b, a, visible, enabled; a native action
// the rectangle, the colour and the two flags.
void CGUIFlex::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                      bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(336, __LINE__);
    StandardUpdate(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
    m_OnUpdate.FireIfSet({CGUIValue(m_EffRect), CGUIValue(m_EffColor.ToRect()), CGUIValue(m_bEffVisible),
                          CGUIValue(m_bEffEnabled)});
}

void CGUIFlex::Draw() {
    SetCheckpoint(336, __LINE__);
    if (!m_bEffVisible) return;
    m_OnRedraw.FireIfSet();
    DrawChildren();
}
