// A textured rectangle drawn by one of eight schemes (whole, three-part
// bars, nine-patch frames), the base of most visible classes.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUITileParam {
    GUIPARAM_DRAWSCHEME = 9,
    GUIPARAM_DRAWPARAMS = 10,
    GUIPARAM_TEXCOORDS = 11,
};

class CGUITile : public CGUIElement {
public:
    explicit CGUITile(const std::string& fp_strID);
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUITile(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

protected:
    // The quads of the drawing scheme over a rectangle, with the texture,
    // technique and colour already set.
    void DrawScheme(const GUIRECT& fp_Rect) const;

    int32_t m_iDrawScheme = 1;
    GUIRECT m_DrawParams{64.0f, 64.0f, 16.0f, 16.0f};  // texture w, h, border w, h
    float m_fBorderU = 0.25f;
    float m_fBorderV = 0.25f;
    GUIRECT m_TexCoords{0.0f, 0.0f, 1.0f, 1.0f};  // left, top, right, bottom
};
