#include "v2dgui_stdclass_scrollbar.h"

#include <algorithm>
#include <cmath>

#include "cvelmor.h"

void CGUIScrollBar::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(330, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_COORDS:
        CGUITile::SetParam(fp_iParamID, fp_Value);
        // By default the area that takes the mouse is the bar itself.
        if (m_ActiveRect.w <= 0.0f || m_ActiveRect.h <= 0.0f) m_ActiveRect = m_Coords;
        break;
    case GUIPARAM_SCROLL_ON_GOTFOCUS:
        m_OnGotFocus.Set(fp_Value);
        return;
    case GUIPARAM_SCROLL_ON_LOSTFOCUS:
        m_OnLostFocus.Set(fp_Value);
        return;
    case GUIPARAM_SCROLL_ACTIVERECT:
        m_ActiveRect = fp_Value.GetRect();
        return;
    case GUIPARAM_SCROLL_TEXTURE_NORMAL:
        m_iTextureNormal = ResolveTexture(fp_Value);
        return;
    case GUIPARAM_SCROLL_TEXTURE_DISABLED:
        m_iTextureDisabled = ResolveTexture(fp_Value);
        return;
    case GUIPARAM_SCROLL_TEXTURE_SELECTED:
        m_iTextureSelected = ResolveTexture(fp_Value);
        return;
    case GUIPARAM_SCROLL_TEXTURE_PRESSED:
        m_iTexturePressed = ResolveTexture(fp_Value);
        return;
    case GUIPARAM_MINVALUE:
        m_iMinValue = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_MAXVALUE:
        m_iMaxValue = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_CURVALUE:
        m_iCurValue = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_PAGESIZE:
        m_iPageSize = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_SCROLLSPEED:
        m_iScrollSpeed = GUITruncate(fp_Value.GetFloat());
        return;
    case GUIPARAM_SLIDER:
        m_bSlider = fp_Value.GetBoolean();
        break;
    case GUIPARAM_SLIDERSIZE:
        m_fSliderSize = fp_Value.GetFloat();
        break;
    case GUIPARAM_ON_SCROLL:
        m_OnScroll.Set(fp_Value);
        return;
    default:
        CGUITile::SetParam(fp_iParamID, fp_Value);
        return;
    }
    RecalcSlider();
}

CGUIValue CGUIScrollBar::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(330, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_SCROLL_ON_GOTFOCUS:
        return m_OnGotFocus.Get();
    case GUIPARAM_SCROLL_ON_LOSTFOCUS:
        return m_OnLostFocus.Get();
    case GUIPARAM_SCROLL_ACTIVERECT:
        return CGUIValue(m_ActiveRect);
    case GUIPARAM_SCROLL_TEXTURE_NORMAL:
        return CGUIValue(static_cast<float>(m_iTextureNormal));
    case GUIPARAM_SCROLL_TEXTURE_DISABLED:
        return CGUIValue(static_cast<float>(m_iTextureDisabled));
    case GUIPARAM_SCROLL_TEXTURE_SELECTED:
        return CGUIValue(static_cast<float>(m_iTextureSelected));
    case GUIPARAM_SCROLL_TEXTURE_PRESSED:
        return CGUIValue(static_cast<float>(m_iTexturePressed));
    case GUIPARAM_MINVALUE:
        return CGUIValue(static_cast<float>(m_iMinValue));
    case GUIPARAM_MAXVALUE:
        return CGUIValue(static_cast<float>(m_iMaxValue));
    case GUIPARAM_CURVALUE:
        return CGUIValue(static_cast<float>(m_iCurValue));
    case GUIPARAM_PAGESIZE:
        return CGUIValue(static_cast<float>(m_iPageSize));
    case GUIPARAM_SCROLLSPEED:
        return CGUIValue(static_cast<float>(m_iScrollSpeed));
    case GUIPARAM_SLIDER:
        return CGUIValue(m_bSlider);
    case GUIPARAM_SLIDERSIZE:
        return CGUIValue(m_fSliderSize);
    case GUIPARAM_ON_SCROLL:
        return m_OnScroll.Get();
    default:
        return CGUITile::GetParam(fp_iParamID);
    }
}

float CGUIScrollBar::CursorAlong() const {
    const GUIPOINT cursor = CursorPos();
    return m_bVertical ? cursor.y : cursor.x;
}

float CGUIScrollBar::MouseDeltaAlong() const {
    return static_cast<float>(m_bVertical ? Engine().MouseGetDeltaY() : Engine().MouseGetDeltaX());
}

void CGUIScrollBar::RecalcSlider() {
    SetCheckpoint(330, __LINE__);
    const float barLength = Length(m_Coords);
    const float range = static_cast<float>(m_iMaxValue) - static_cast<float>(m_iMinValue);
    if (m_bSlider) {
        m_fSliderLength = m_fSliderSize;
    } else {
        const float whole = static_cast<float>(m_iPageSize) + range;
        if (whole >= 1.0f) m_fSliderLength = std::floor((1.0f - range / whole) * barLength);
    }
    m_fSliderLength = std::min(std::max(m_fSliderLength, Thickness(m_Coords)), barLength);
    const float travel = barLength - m_fSliderLength;
    m_fSliderOffset = range < 1.0f ? 0.0f : travel * (static_cast<float>(m_iCurValue) - m_iMinValue) / range;
    m_fSliderOffset = std::min(std::max(m_fSliderOffset, 0.0f), std::max(travel, 0.0f));
    PlaceSliderRect();
}

void CGUIScrollBar::RecalcValue() {
    SetCheckpoint(330, __LINE__);
    const float travel = Length(m_Coords) - m_fSliderLength;
    if (travel <= 0.0f) return;
    // The whole 32-bit span of values fits a double exactly.
    const double range = static_cast<double>(m_iMaxValue) - static_cast<double>(m_iMinValue);
    const double moved = std::trunc(static_cast<double>(m_fSliderOffset) * range / travel);
    m_iCurValue = GUISaturate(m_iMinValue + static_cast<int64_t>(moved));
    ClampValue();
}

void CGUIScrollBar::ProcessInput() {
    SetCheckpoint(330, __LINE__);
    CVelmor& engine = Engine();
    const int32_t wheel = engine.MouseGetWheelDelta();
    // When several apply, the later one wins.
    int32_t command = 0;
    bool fast = false;
    if (wheel > 0) command = GUICMD_SCROLL_STEPBACK, fast = true;
    if (engine.KeyboardIsKeyClicked(kKeyPageUp)) command = GUICMD_SCROLL_PAGEBACK, fast = false;
    if (wheel < 0) command = GUICMD_SCROLL_STEPFORWARD, fast = true;
    if (engine.KeyboardIsKeyClicked(kKeyPageDown)) command = GUICMD_SCROLL_PAGEFORWARD, fast = false;
    if (command == 0) return;
    m_bFast = fast;
    ExecuteCommand(command);
    m_bFast = false;
}

void CGUIScrollBar::ClampValue() { m_iCurValue = std::min(std::max(m_iCurValue, m_iMinValue), m_iMaxValue); }

int64_t CGUIScrollBar::StepSize() const {
    const int64_t step = std::max(GUITruncate(static_cast<float>(m_iScrollSpeed) * FrameTime()), 1);
    return m_bFast ? step * 3 : step;
}

void CGUIScrollBar::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(330, __LINE__);
    const bool scrollCommand = fp_iCommand >= GUICMD_SCROLL_STEPFORWARD && fp_iCommand <= GUICMD_SCROLL_PAGEBACK;
    if (!scrollCommand) {
        CGUITile::ExecuteCommand(fp_iCommand);
        return;
    }
    if (!m_bEffEnabled || !m_bEffVisible) return;
    const int64_t value = m_iCurValue;
    int64_t next = value;
    switch (fp_iCommand) {
    case GUICMD_SCROLL_STEPFORWARD:
        next = std::min<int64_t>(value + StepSize(), m_iMaxValue);
        break;
    case GUICMD_SCROLL_STEPBACK:
        next = std::max<int64_t>(value - StepSize(), m_iMinValue);
        break;
    case GUICMD_SCROLL_PAGEFORWARD:
        next = std::min<int64_t>(value + m_iPageSize, m_iMaxValue);
        break;
    default:
        next = std::max<int64_t>(value - m_iPageSize, m_iMinValue);
        break;
    }
    m_iCurValue = GUISaturate(next);
    RecalcSlider();
    m_OnScroll.FireIfSet();
}

void CGUIScrollBar::PlaceSliderRect() {
    m_SliderRect = m_EffRect;
    if (m_bVertical) {
        m_SliderRect.y += m_fSliderOffset;
        m_SliderRect.h = m_fSliderLength;
    } else {
        m_SliderRect.x += m_fSliderOffset;
        m_SliderRect.w = m_fSliderLength;
    }
}

void CGUIScrollBar::ApplyOffset(float fp_fOffset) {
    const float travel = std::max(Length(m_Coords) - m_fSliderLength, 0.0f);
    m_fSliderOffset = std::min(std::max(fp_fOffset, 0.0f), travel);
    RecalcValue();
    PlaceSliderRect();
    m_OnScroll.FireIfSet();
}

void CGUIScrollBar::HandleMouse() {
    const bool wasHovered = m_bHovered;
    m_bHovered = CursorInside(m_EffActiveRect);
    if (m_bHovered && !wasHovered) m_OnGotFocus.FireIfSet();
    if (!m_bHovered && wasHovered) m_OnLostFocus.FireIfSet();

    if (m_bDragging) {
        if (!MouseHeld()) {
            m_bDragging = false;
        } else {
            const float delta = MouseDeltaAlong();
            if (delta != 0.0f) ApplyOffset(m_fSliderOffset + delta);
        }
    }
    if (MouseClicked()) {
        if (m_bSlider && CursorInside(m_SliderRect)) {
            m_bDragging = true;
        } else if (m_bHovered) {
            if (m_bSlider) {
                ApplyOffset(CursorAlong() - Along(m_EffRect) - m_fSliderLength / 2.0f);
                m_bDragging = true;
            } else {
                ExecuteCommand(CursorAlong() >= Along(m_SliderRect) ? GUICMD_SCROLL_PAGEFORWARD
                                                                      : GUICMD_SCROLL_PAGEBACK);
            }
        }
    }
    if (m_bHovered) ProcessInput();
}

void CGUIScrollBar::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                           bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(330, __LINE__);
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    m_EffActiveRect = {fp_ParentRect.x + m_ActiveRect.x - fp_fShiftX, fp_ParentRect.y + m_ActiveRect.y - fp_fShiftY,
                       m_ActiveRect.w, m_ActiveRect.h};
    if (m_iMaxValue == m_iMinValue) m_bEffEnabled = false;
    PlaceSliderRect();
    if (m_bEffEnabled && m_bEffVisible) {
        HandleMouse();
    } else {
        m_bHovered = false;
        m_bDragging = false;
    }
    ProbeTip();
    UpdateChildren();
}

int32_t CGUIScrollBar::SliderTexture() const {
    if (m_iTextureNormal == -1) return m_iTexture;
    int32_t texture = m_iTextureNormal;
    if (!m_bEffEnabled)
        texture = m_iTextureDisabled;
    else if (m_bDragging)
        texture = m_iTexturePressed;
    else if (CursorInside(m_SliderRect))
        texture = m_iTextureSelected;
    return texture == -1 ? m_iTextureNormal : texture;
}

void CGUIScrollBar::Draw() {
    SetCheckpoint(330, __LINE__);
    if (!m_bEffVisible) return;
    ApplyLook(m_iTexture);
    DrawScheme(m_EffRect);
    if (m_bSlider) {
        ApplyLook(SliderTexture());
        DrawScheme(m_SliderRect);
    }
    DrawChildren();
}
