// The root of the element tree: the whole screen.
#pragma once

#include "v2dgui_cguielement_main.h"

class CGUIDesktop : public CGUIElement {
public:
    explicit CGUIDesktop(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIDesktop(fp_strID); }

    // Its own coords, colour and flags, whatever the arguments say.
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;
};
