// A tile that notices the mouse: hover in and out, clicks on it and a hot
// key, each firing its action.
#pragma once

#include "v2dgui_stdclass_tile.h"

class CGUIAdvTile : public CGUITile {
public:
    enum Param : int32_t {
        PARAM_ON_GOTFOCUS = 13,
        PARAM_ON_LOSTFOCUS = 14,
        PARAM_ON_CLICK = 15,
        PARAM_ON_HOTKEY = 16,
        PARAM_HOTKEY = 17,
    };

    explicit CGUIAdvTile(const std::string& fp_strID) : CGUITile(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIAdvTile(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;

protected:
    // The hot key was pressed this frame (never when none is set).
    bool HotkeyClicked() const;

    CGUIAction m_OnGotFocus;
    CGUIAction m_OnLostFocus;
    CGUIAction m_OnClick;
    CGUIAction m_OnHotkey;
    int32_t m_iHotkey = 0;  // a keyboard code, 0 for none

private:
    bool m_bHovered = false;
    bool m_bHoveredLast = false;
};
