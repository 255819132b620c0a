#include "v2dgui_stdclass_desktop.h"

#include "cvelmor_ehs.h"

void CGUIDesktop::Update(const GUIRECT&, const GUICOLOR&, bool, bool, float, float) {
    SetCheckpoint(306, __LINE__);
    m_EffRect = m_Coords;
    m_EffColor = m_Color;
    m_bEffVisible = m_bVisible;
    m_bEffEnabled = m_bEnabled;
    UpdateChildren();
}

void CGUIDesktop::Draw() {
    SetCheckpoint(306, __LINE__);
    if (m_bVisible) DrawChildren();
}
