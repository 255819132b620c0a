// A check box (or radio button): a button that toggles on release, with a
// second set of textures and child tints for its checked look.
#pragma once

#include "v2dgui_stdclass_button.h"

enum V2DGUICheckboxCommand {
    GUICMD_CHECK = 7,
    GUICMD_UNCHECK = 8,
};

class CGUICheckbox : public CGUIButton {
public:
    enum Param : int32_t {
        PARAM_CHECKED = 80,
        PARAM_RADIOBUTTON = 81,
        PARAM_TEXTURE_CHECKED_NORMAL = 82,      // ... disabled, selected, pressed: 83 to 85
        PARAM_CHILDSCOLOR_CHECKED_NORMAL = 86,  // ... disabled, selected, pressed: 87 to 89
        PARAM_ON_CHECK = 90,
        PARAM_ON_UNCHECK = 91,
        PARAM_SOUND_CHECK = 92,
        PARAM_SOUND_UNCHECK = 93,
    };

    explicit CGUICheckbox(const std::string& fp_strID) : CGUIButton(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUICheckbox(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;

    bool IsChecked() const { return m_bChecked; }

protected:
    // A checked radio button stays checked until another one of its group
    // (its radio-button siblings) is checked.
    bool TakesInput() const override { return !(m_bRadioButton && m_bChecked); }
    void ReleasedOver() override;
    bool Repeats() const override { return false; }
    int32_t LookTexture(Look fp_Look) const override;
    const GUICOLOR& LookChildColor(Look fp_Look) const override;

private:
    void UncheckOtherRadioButtons();

    bool m_bChecked = false;
    bool m_bRadioButton = false;
    int32_t m_iCheckedTextures[LOOK_COUNT] = {-1, -1, -1, -1};
    GUICOLOR m_CheckedChildColors[LOOK_COUNT];
    CGUIAction m_OnCheck;
    CGUIAction m_OnUncheck;
    int32_t m_iSoundCheck = -1;
    int32_t m_iSoundUncheck = -1;
};
