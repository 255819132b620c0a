// A one-line text entry: a label that takes the keyboard focus when clicked
// (the focus is its enabled flag), appends the characters typed on the
// player's keyboard layout (UTF-8) while they fit, and shows a blinking
// cursor while focused.
#pragma once

#include "v2dgui_stdclass_label.h"

enum V2DGUITextBoxParam {
    GUIPARAM_TEXTBOX_ON_ENABLE = 27,
    GUIPARAM_TEXTBOX_ON_DISABLE = 28,
    GUIPARAM_TEXTBOX_ACTIVERECT = 56,
    GUIPARAM_ON_INPUT = 57,
    GUIPARAM_BLINK_TIME = 58,
    GUIPARAM_BLINK_CHAR = 59,
    GUIPARAM_MAXCHARS = 60,
    GUIPARAM_LANGUAGE = 61,
    GUIPARAM_SOUND_INPUT = 62,
};

class CGUITextBox : public CGUILabel {
public:
    explicit CGUITextBox(const std::string& fp_strID) : CGUILabel(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUITextBox(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;

    bool IsCursorShown() const { return m_bCursorShown; }

    // Keys the text box reads (keyboard codes).
    static constexpr int32_t kKeyBackspace = 0x0E;
    static constexpr int32_t kKeyReturn = 0x1C;

protected:
    const std::string& DisplayedText() const override { return m_strDisplayed; }

private:
    void TakeFocusFromMouseAndKeys(bool fp_bParentEnabled);
    void Type();
    bool Fits(const std::string& fp_strText) const;
    void Blink();
    void RefreshDisplayed();

    GUIRECT m_ActiveRect;
    GUIRECT m_EffActiveRect;
    CGUIAction m_OnInput;
    CGUIAction m_OnEnable;
    CGUIAction m_OnDisable;
    float m_fBlinkTime = 0.5f;
    std::string m_strBlinkChar = "_";
    int32_t m_iMaxChars = 255;
    int32_t m_iLanguage = 1;
    int32_t m_iInputSound = -1;
    float m_fBlinkTimer = 0.0f;
    bool m_bCursorShown = false;
    std::string m_strDisplayed;
};
