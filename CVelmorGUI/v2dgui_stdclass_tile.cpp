#include "v2dgui_stdclass_tile.h"

#include "cvelmor.h"

namespace {

const char* const kFile = "v2dgui_stdclass_tile";

struct SchemeQuad {
    float left, top, right, bottom;  // texture coordinates
    float x, y, w, h;                // on the screen
};

void DrawQuad(CVelmor& engine, const SchemeQuad& quad) {
    engine.VQuadSetTexCoords(1, quad.left, quad.top, quad.right, quad.bottom);
    engine.VQuadSetPos(quad.x, quad.y, quad.w, quad.h, 0.5f);
    engine.SceneRender();
}

}  // namespace

CGUITile::CGUITile(const std::string& fp_strID) : CGUIElement(fp_strID) {}

void CGUITile::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(312, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_DRAWSCHEME:
        m_iDrawScheme = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_DRAWPARAMS: {
        const GUIRECT& params = fp_Value.GetRect();
        if (params.x <= 0.0f) throw CEHSException(EHS_TYPE_GENERAL, 0, "Invalid tile texture width!", kFile, __LINE__);
        if (params.y <= 0.0f) throw CEHSException(EHS_TYPE_GENERAL, 0, "Invalid tile texture height!", kFile, __LINE__);
        m_DrawParams = params;
        m_fBorderU = params.w / params.x;
        m_fBorderV = params.h / params.y;
        break;
    }
    case GUIPARAM_TEXCOORDS:
        m_TexCoords = fp_Value.GetRect();
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUITile::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(312, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_DRAWSCHEME:
        return CGUIValue(static_cast<float>(m_iDrawScheme));
    case GUIPARAM_DRAWPARAMS:
        return CGUIValue(m_DrawParams);
    case GUIPARAM_TEXCOORDS:
        return CGUIValue(m_TexCoords);
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

void CGUITile::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                      bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(312, __LINE__);
    StandardUpdate(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX, fp_fShiftY);
}

void CGUITile::Draw() {
    SetCheckpoint(312, __LINE__);
    if (!m_bEffVisible) return;
    ApplyLook(m_iTexture);
    DrawScheme(m_EffRect);
    DrawChildren();
}

void CGUITile::DrawScheme(const GUIRECT& fp_Rect) const {
    const float x = fp_Rect.x, y = fp_Rect.y, w = fp_Rect.w, h = fp_Rect.h;
    const float bx = m_DrawParams.w, by = m_DrawParams.h;
    const float u = m_fBorderU, v = m_fBorderV;
    // Columns and rows of the three-part layouts: texture bands and screen spans.
    const float tu[4] = {0.0f, u, 1.0f - u, 1.0f};
    const float tv[4] = {0.0f, v, 1.0f - v, 1.0f};
    const float sx[3] = {x, x + bx, x + w - bx};
    const float sw[3] = {bx, w - 2.0f * bx, bx};
    const float sy[3] = {y, y + by, y + h - by};
    const float sh[3] = {by, h - 2.0f * by, by};

    SchemeQuad quads[9];
    int count = 0;
    switch (m_iDrawScheme) {
    case 1:
        quads[count++] = SchemeQuad{m_TexCoords.x, m_TexCoords.y, m_TexCoords.w, m_TexCoords.h, x, y, w, h};
        break;
    case 2:
    case 7: {
        const float top = m_iDrawScheme == 2 ? 0.0f : v, bottom = m_iDrawScheme == 2 ? 1.0f : 1.0f - v;
        for (int c = 0; c < 3; ++c) quads[count++] = SchemeQuad{tu[c], top, tu[c + 1], bottom, sx[c], y, sw[c], h};
        break;
    }
    case 3:
    case 8: {
        const float left = m_iDrawScheme == 3 ? 0.0f : u, right = m_iDrawScheme == 3 ? 1.0f : 1.0f - u;
        for (int r = 0; r < 3; ++r) quads[count++] = SchemeQuad{left, tv[r], right, tv[r + 1], x, sy[r], w, sh[r]};
        break;
    }
    case 4:
    case 5:
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                if (m_iDrawScheme == 5 && r == 1 && c == 1) continue;
                quads[count++] = SchemeQuad{tu[c], tv[r], tu[c + 1], tv[r + 1], sx[c], sy[r], sw[c], sh[r]};
            }
        }
        break;
    case 6:
        break;
    default:
        throw CEHSException(EHS_TYPE_GAME, 0, "Invalid drawing scheme. Scheme ID = " + std::to_string(m_iDrawScheme),
                            kFile, __LINE__);
    }
    CVelmor& engine = Engine();
    for (int i = 0; i < count; ++i) DrawQuad(engine, quads[i]);
}
