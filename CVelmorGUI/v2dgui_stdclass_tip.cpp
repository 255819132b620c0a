#include "v2dgui_stdclass_tip.h"

#include <algorithm>

#include "cvelmor.h"

void CGUITip::SetParent(CGUIElement* fp_pParent) { m_pParent = fp_pParent; }

void CGUITip::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(320, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_TIPAPPEARTIME:
        m_fAppearTime = std::max(0.01f, fp_Value.GetFloat());
        break;
    case GUIPARAM_ON_SHOW:
        m_OnShow.Set(fp_Value);
        break;
    default:
        CGUITile::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUITip::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(320, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_TIPAPPEARTIME:
        return CGUIValue(m_fAppearTime);
    default:
        return CGUITile::GetParam(fp_iParamID);
    }
}

void CGUITip::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(320, __LINE__);
    if (fp_iCommand == GUICMD_SHOW) {
        m_bVisible = true;
        m_bEnabled = true;
        m_EffColor.a = 0.0f;
        m_fCountdown = m_fAppearTime;
        m_OnShow.FireIfSet();
    }
    CGUITile::ExecuteCommand(fp_iCommand);
}

void CGUITip::Update(const GUIRECT&, const GUICOLOR&, bool, bool, float, float) {
    SetCheckpoint(320, __LINE__);
    m_fCountdown = std::max(0.0f, m_fCountdown - FrameTime());
    m_EffColor = m_Color;
    m_EffColor.a = m_Color.a * (1.0f - m_fCountdown / m_fAppearTime);

    uint32_t screenWidth = 0, screenHeight = 0;
    Engine().GetScreenSize(screenWidth, screenHeight);
    const GUIPOINT cursor = CursorPos();
    float x = cursor.x + m_Coords.x;
    float y = cursor.y + m_Coords.y;
    if (x + m_Coords.w > static_cast<float>(screenWidth)) x = cursor.x - m_Coords.x - m_Coords.w;
    if (y + m_Coords.h > static_cast<float>(screenHeight)) y = cursor.y - m_Coords.y - m_Coords.h;
    m_EffRect = {std::max(0.0f, x), std::max(0.0f, y), m_Coords.w, m_Coords.h};
    m_bEffVisible = m_bVisible;
    m_bEffEnabled = m_bEnabled;
    UpdateChildren();
}
