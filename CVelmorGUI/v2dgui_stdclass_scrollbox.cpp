#include "v2dgui_stdclass_scrollbox.h"

#include "cvelmor.h"
#include "v2dgui_stdclass_label.h"

void CGUIScrollBox::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(334, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_SCROLLBOX_SCROLLY:
        m_fScrollY = fp_Value.GetFloat();
        break;
    case GUIPARAM_SCROLLBOX_SCROLLX:
        m_fScrollX = fp_Value.GetFloat();
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIScrollBox::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(334, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_SCROLLBOX_SCROLLY:
        return CGUIValue(m_fScrollY);
    case GUIPARAM_SCROLLBOX_SCROLLX:
        return CGUIValue(m_fScrollX);
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

// The child's rectangle where the shift puts it overlaps the box.
bool CGUIScrollBox::InView(const CGUIElement& fp_Child) const {
    const GUIRECT& coords = fp_Child.GetCoords();
    const float x = m_EffRect.x + coords.x - m_fScrollX;
    const float y = m_EffRect.y + coords.y - m_fScrollY;
    return x < m_EffRect.x + m_EffRect.w && m_EffRect.x < x + coords.w && y < m_EffRect.y + m_EffRect.h &&
           m_EffRect.y < y + coords.h;
}

void CGUIScrollBox::UpdateChildren() {
    m_shown.clear();
    if (!m_bEffVisible && !m_bEffEnabled) return;
    for (CGUIElement* child : ChildrenSnapshot()) {
        if (!InView(*child)) continue;
        child->Update(m_EffRect, m_EffColor, m_bEffVisible, m_bEffEnabled, m_fScrollX, m_fScrollY);
        m_shown.push_back(child);
    }
}

void CGUIScrollBox::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                           bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(334, __LINE__);
    StandardUpdate(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
}

void CGUIScrollBox::Draw() {
    SetCheckpoint(334, __LINE__);
    if (!m_bEffVisible) return;
    CGUIViewportLimit limit(Engine(), m_EffRect);
    // Children outside the view kept last frame's place: leave them out.
    for (CGUIElement* child : m_shown) child->Draw();
}
