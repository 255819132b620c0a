// A tool tip: created for an element's "tip" parameter, updated and drawn by
// the GUI manager only, placed at the cursor and faded in.
#pragma once

#include "v2dgui_stdclass_tile.h"

enum V2DGUITipParam {
    GUIPARAM_TIPAPPEARTIME = 12,
    GUIPARAM_ON_SHOW = 26,
};

class CGUITip : public CGUITile {
public:
    explicit CGUITip(const std::string& fp_strID) : CGUITile(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUITip(fp_strID); }

    // Keeps the parent without joining its children.
    void SetParent(CGUIElement* fp_pParent) override;
    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;

private:
    float m_fAppearTime = 0.25f;
    float m_fCountdown = 0.0f;
    CGUIAction m_OnShow;
};
