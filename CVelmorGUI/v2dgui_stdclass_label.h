// A line of text in a bitmap font, aligned inside the element's rectangle
// and optionally clipped to it.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUILabelParam {
    GUIPARAM_FONT = 46,
    GUIPARAM_FONT_COLOR = 47,
    GUIPARAM_FONT_ALPHA = 48,
    GUIPARAM_FONT_SETDEFAULTTECHNIQUE = 49,
    GUIPARAM_FONT_SCALE = 50,
    GUIPARAM_FONT_SHIFTX = 51,
    GUIPARAM_FONT_SHIFTY = 52,
    GUIPARAM_TEXT = 53,
    GUIPARAM_ALIGNMENT = 54,
    GUIPARAM_LIMITVIEWPORT = 55,
};

enum V2DGUIAlignment {
    GUIALIGN_LEFT = 1,
    GUIALIGN_CENTER = 2,
    GUIALIGN_RIGHT = 3,
};

class CGUILabel : public CGUIElement {
public:
    explicit CGUILabel(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUILabel(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    float GetTextWidth() const { return m_fTextWidth; }
    // Where the text starts, relative to the element's left edge.
    float AlignmentOffset() const;

protected:
    // Colour, position, font alpha, flags and the tip probe; no children.
    void UpdateLabel(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                     bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY);
    void SetText(const std::string& fp_strText);
    void MeasureText();
    // The width of any text in the label's font, scale and spacing (0 without a font).
    float MeasureWidth(const std::string& fp_strText) const;
    // What is drawn; a text box adds its blinking cursor.
    virtual const std::string& DisplayedText() const { return m_strText; }

    std::string m_strText;

private:
    int32_t m_iFont = -1;
    int32_t m_iFontColor = 0;
    float m_fFontAlpha = 1.0f;
    float m_fEffFontAlpha = 1.0f;
    bool m_bFontTechnique = true;
    float m_fFontScale = 1.0f;
    float m_fCharSpacing = 0.0f;
    float m_fLineSpacing = 0.0f;
    int32_t m_iAlignment = GUIALIGN_LEFT;
    bool m_bLimitViewport = false;
    float m_fTextWidth = 0.0f;
};

// Sets the viewport to a rectangle for as long as it lives, then restores
// the one set before (a scroll box's, when drawn inside one). A restore that
// fails (it draws the quads queued in the rectangle first) is a warning: the
// limit may end while an error is already on its way, and a destructor raises
// nothing.
class CGUIViewportLimit {
public:
    CGUIViewportLimit(CVelmor& fp_Engine, const GUIRECT& fp_Rect, bool fp_bActive = true);
    ~CGUIViewportLimit();
    CGUIViewportLimit(const CGUIViewportLimit&) = delete;
    CGUIViewportLimit& operator=(const CGUIViewportLimit&) = delete;

private:
    CVelmor& m_Engine;
    bool m_bActive;
    int32_t m_iOuterX = 0, m_iOuterY = 0, m_iOuterW = 0, m_iOuterH = 0;
};
