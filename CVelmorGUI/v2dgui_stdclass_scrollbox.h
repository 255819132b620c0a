// A clipped view over its children, shifted by a scroll offset; children
// wholly outside the view are neither updated nor drawn.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUIScrollBoxParam {
    GUIPARAM_SCROLLBOX_SCROLLY = 106,
    GUIPARAM_SCROLLBOX_SCROLLX = 113,
};

class CGUIScrollBox : public CGUIElement {
public:
    explicit CGUIScrollBox(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIScrollBox(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void UpdateChildren() override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    // The children updated in the last update: those inside the view.
    const std::vector<CGUIElement*>& GetShownChildren() const { return m_shown; }

private:
    bool InView(const CGUIElement& fp_Child) const;

    float m_fScrollX = 0.0f;
    float m_fScrollY = 0.0f;
    std::vector<CGUIElement*> m_shown;
};
