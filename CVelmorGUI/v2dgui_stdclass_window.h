// A window: a container that fades and moves between its hidden and shown
// looks over a set time, taking input only while fully shown.
#pragma once

#include "v2dgui_cguielement_main.h"

class CGUIWindow : public CGUIElement {
public:
    enum Param : int32_t {
        PARAM_COLOR_HIDDEN = 18,
        PARAM_COLOR_MIDDLE = 19,
        PARAM_COLOR_SHOWN = 20,
        PARAM_LOCATION_HIDDEN = 21,
        PARAM_LOCATION_MIDDLE = 22,
        PARAM_LOCATION_SHOWN = 23,
        PARAM_TIME_SHOWHIDE = 24,
        PARAM_ON_HIDE = 25,
        PARAM_ON_SHOW = 26,
        PARAM_ON_ENABLE = 27,
        PARAM_ON_DISABLE = 28,
        PARAM_SOUND_HIDE = 29,
        PARAM_SOUND_SHOW = 30,
    };
    enum State : int32_t {
        STATE_HIDDEN = 1,
        STATE_SHOWING = 2,
        STATE_HIDING = 3,
        STATE_SHOWN = 4,
    };

    explicit CGUIWindow(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIWindow(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    int32_t GetState() const { return m_iState; }

private:
    void AdvanceTransition();
    void PlayWindowSound(int32_t fp_iSound) const;

    GUICOLOR m_ColorHidden{1.0f, 1.0f, 1.0f, 0.0f};
    GUICOLOR m_ColorMiddle{1.0f, 1.0f, 1.0f, 0.5f};
    GUICOLOR m_ColorShown{1.0f, 1.0f, 1.0f, 1.0f};
    GUIPOINT m_LocationHidden;
    GUIPOINT m_LocationMiddle;
    GUIPOINT m_LocationShown;
    float m_fTimeShowHide = 0.001f;
    float m_fTransitionTime = 0.0f;
    int32_t m_iState = STATE_HIDDEN;
    CGUIAction m_OnHide;
    CGUIAction m_OnShow;
    CGUIAction m_OnEnable;
    CGUIAction m_OnDisable;
    int32_t m_iSoundHide = -1;
    int32_t m_iSoundShow = -1;
};
