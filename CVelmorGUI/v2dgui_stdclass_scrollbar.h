// Scroll bars: an integer value between a minimum and a maximum, shown as a
// slider along a tiled bar, changed by dragging the slider, clicking the
// bar, the mouse wheel and the page keys, or by commands. One base holds the
// behaviour along a chosen axis; "verscroll" runs along y, "horscroll"
// along x.
#pragma once

#include "v2dgui_stdclass_tile.h"

enum V2DGUIScrollBarParam {
    GUIPARAM_SCROLL_ON_GOTFOCUS = 13,
    GUIPARAM_SCROLL_ON_LOSTFOCUS = 14,
    GUIPARAM_SCROLL_ACTIVERECT = 56,
    GUIPARAM_SCROLL_TEXTURE_NORMAL = 63,
    GUIPARAM_SCROLL_TEXTURE_DISABLED = 64,
    GUIPARAM_SCROLL_TEXTURE_SELECTED = 65,
    GUIPARAM_SCROLL_TEXTURE_PRESSED = 66,
    GUIPARAM_MINVALUE = 94,
    GUIPARAM_MAXVALUE = 95,
    GUIPARAM_CURVALUE = 96,
    GUIPARAM_PAGESIZE = 97,
    GUIPARAM_SCROLLSPEED = 98,
    GUIPARAM_SLIDER = 99,
    GUIPARAM_SLIDERSIZE = 100,
    GUIPARAM_ON_SCROLL = 101,
};

enum V2DGUIScrollCommand {
    GUICMD_SCROLL_STEPFORWARD = 9,
    GUICMD_SCROLL_STEPBACK = 10,
    GUICMD_SCROLL_PAGEFORWARD = 11,
    GUICMD_SCROLL_PAGEBACK = 12,
};

class CGUIScrollBar : public CGUITile {
public:
    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    // Slider length and position from the value.
    virtual void RecalcSlider();
    // The value from the slider's position (after dragging).
    virtual void RecalcValue();
    // The wheel and the page keys while the cursor is over the bar.
    virtual void ProcessInput();

    int32_t GetValue() const { return m_iCurValue; }
    const GUIRECT& GetSliderRect() const { return m_SliderRect; }
    bool IsDragging() const { return m_bDragging; }

    // Keys the bar reads (keyboard codes).
    static constexpr int32_t kKeyPageUp = 0xC9;
    static constexpr int32_t kKeyPageDown = 0xD1;

protected:
    CGUIScrollBar(const std::string& fp_strID, bool fp_bVertical) : CGUITile(fp_strID), m_bVertical(fp_bVertical) {}

private:
    // Coordinates along the bar's axis and across it.
    float Along(const GUIRECT& fp_Rect) const { return m_bVertical ? fp_Rect.y : fp_Rect.x; }
    float Length(const GUIRECT& fp_Rect) const { return m_bVertical ? fp_Rect.h : fp_Rect.w; }
    float Thickness(const GUIRECT& fp_Rect) const { return m_bVertical ? fp_Rect.w : fp_Rect.h; }
    float CursorAlong() const;
    float MouseDeltaAlong() const;

    void HandleMouse();
    void ApplyOffset(float fp_fOffset);
    void PlaceSliderRect();
    void ClampValue();
    int64_t StepSize() const;
    int32_t SliderTexture() const;

    const bool m_bVertical;
    int32_t m_iMinValue = 0;
    int32_t m_iMaxValue = 100;
    int32_t m_iCurValue = 0;
    int32_t m_iPageSize = 10;
    int32_t m_iScrollSpeed = 60;
    bool m_bSlider = true;
    float m_fSliderSize = 16.0f;
    CGUIAction m_OnScroll;
    CGUIAction m_OnGotFocus;
    CGUIAction m_OnLostFocus;
    GUIRECT m_ActiveRect;
    GUIRECT m_EffActiveRect;
    int32_t m_iTextureNormal = -1;
    int32_t m_iTextureDisabled = -1;
    int32_t m_iTextureSelected = -1;
    int32_t m_iTexturePressed = -1;
    bool m_bFast = false;

    float m_fSliderLength = 0.0f;
    float m_fSliderOffset = 0.0f;
    GUIRECT m_SliderRect;
    bool m_bHovered = false;
    bool m_bDragging = false;
};

class CGUIVerScroll : public CGUIScrollBar {
public:
    explicit CGUIVerScroll(const std::string& fp_strID) : CGUIScrollBar(fp_strID, true) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIVerScroll(fp_strID); }
};

class CGUIHorScroll : public CGUIScrollBar {
public:
    explicit CGUIHorScroll(const std::string& fp_strID) : CGUIScrollBar(fp_strID, false) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIHorScroll(fp_strID); }
};
