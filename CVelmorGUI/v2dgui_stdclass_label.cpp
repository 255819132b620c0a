#include "v2dgui_stdclass_label.h"

#include <cmath>

#include "cvelmor.h"

CGUIViewportLimit::CGUIViewportLimit(CVelmor& fp_Engine, const GUIRECT& fp_Rect, bool fp_bActive)
    : m_Engine(fp_Engine), m_bActive(fp_bActive) {
    if (!m_bActive) return;
    m_Engine.SceneGetViewport(m_iOuterX, m_iOuterY, m_iOuterW, m_iOuterH);
    m_Engine.SceneSetViewport(GUITruncate(fp_Rect.x), GUITruncate(fp_Rect.y), GUITruncate(fp_Rect.w),
                              GUITruncate(fp_Rect.h));
}

CGUIViewportLimit::~CGUIViewportLimit() {
    if (!m_bActive) return;
    try {
        m_Engine.SceneSetViewport(m_iOuterX, m_iOuterY, m_iOuterW, m_iOuterH);
    } catch (const std::exception& e) {
        CVelmor::LogEntry(std::string("Cannot restore the viewport: ") + e.what(), LOG_WARNING);
    }
}

void CGUILabel::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(326, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_FONT:
        m_iFont = ResolveFont(fp_Value);
        MeasureText();
        break;
    case GUIPARAM_FONT_COLOR:
        m_iFontColor = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_FONT_ALPHA:
        m_fFontAlpha = fp_Value.GetFloat();
        m_fEffFontAlpha = m_fFontAlpha;
        break;
    case GUIPARAM_FONT_SETDEFAULTTECHNIQUE:
        m_bFontTechnique = fp_Value.GetBoolean();
        break;
    case GUIPARAM_FONT_SCALE:
        m_fFontScale = fp_Value.GetFloat();
        MeasureText();
        break;
    case GUIPARAM_FONT_SHIFTX:
        m_fCharSpacing = fp_Value.GetFloat();
        MeasureText();
        break;
    case GUIPARAM_FONT_SHIFTY:
        m_fLineSpacing = fp_Value.GetFloat();
        break;
    case GUIPARAM_TEXT:
        SetText(fp_Value.GetString());
        break;
    case GUIPARAM_ALIGNMENT:
        m_iAlignment = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_LIMITVIEWPORT:
        m_bLimitViewport = fp_Value.GetBoolean();
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUILabel::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(326, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_FONT:
        return CGUIValue(static_cast<float>(m_iFont));
    case GUIPARAM_FONT_COLOR:
        return CGUIValue(static_cast<float>(m_iFontColor));
    case GUIPARAM_FONT_ALPHA:
        return CGUIValue(m_fFontAlpha);
    case GUIPARAM_FONT_SETDEFAULTTECHNIQUE:
        return CGUIValue(m_bFontTechnique);
    case GUIPARAM_FONT_SCALE:
        return CGUIValue(m_fFontScale);
    case GUIPARAM_FONT_SHIFTX:
        return CGUIValue(m_fCharSpacing);
    case GUIPARAM_FONT_SHIFTY:
        return CGUIValue(m_fLineSpacing);
    case GUIPARAM_TEXT:
        return CGUIValue(m_strText);
    case GUIPARAM_ALIGNMENT:
        return CGUIValue(static_cast<float>(m_iAlignment));
    case GUIPARAM_LIMITVIEWPORT:
        return CGUIValue(m_bLimitViewport);
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

void CGUILabel::SetText(const std::string& fp_strText) {
    m_strText = fp_strText;
    MeasureText();
}

void CGUILabel::MeasureText() { m_fTextWidth = MeasureWidth(m_strText); }

float CGUILabel::MeasureWidth(const std::string& fp_strText) const {
    return m_iFont == -1 ? 0.0f
                         : Engine().GetStringWidth(fp_strText.c_str(), m_iFont, m_fFontScale, m_fCharSpacing);
}

float CGUILabel::AlignmentOffset() const {
    switch (m_iAlignment) {
    case GUIALIGN_CENTER:
        return std::floor(m_EffRect.w / 2.0f - m_fTextWidth / 2.0f);
    case GUIALIGN_RIGHT:
        return m_EffRect.w - m_fTextWidth;
    default:
        return 0.0f;
    }
}

void CGUILabel::UpdateLabel(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                            bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    m_fEffFontAlpha = fp_ParentColor.a * m_fFontAlpha;
    ProbeTip();
}

void CGUILabel::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                       bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(326, __LINE__);
    UpdateLabel(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
}

void CGUILabel::Draw() {
    SetCheckpoint(326, __LINE__);
    if (!m_bEffVisible) return;
    CVelmor& engine = Engine();
    if (!m_bFontTechnique && m_iTechnique != -1) engine.ApplyTechnique(m_iTechnique);
    if (m_iFont == -1) return;
    const float offset = AlignmentOffset();
    engine.SetCurrentFont(m_iFont);
    CGUIViewportLimit limit(engine, m_EffRect, m_bLimitViewport);
    engine.DrawTextEx(DisplayedText().c_str(), m_EffRect.x + offset, m_EffRect.y, 0, m_iFontColor, m_fEffFontAlpha,
                      m_bFontTechnique, m_fFontScale, m_fCharSpacing, m_fLineSpacing);
}
