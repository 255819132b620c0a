// An element whose update and drawing are done by actions: the game's
// board, or anything a script draws itself.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUIFlexParam {
    GUIPARAM_ON_UPDATE = 114,
    GUIPARAM_ON_REDRAW = 115,
};

class CGUIFlex : public CGUIElement {
public:
    explicit CGUIFlex(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIFlex(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

private:
    CGUIAction m_OnUpdate;
    CGUIAction m_OnRedraw;
};
