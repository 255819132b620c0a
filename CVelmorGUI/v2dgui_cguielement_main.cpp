#include "v2dgui_cguielement_main.h"

#include "cvelmor.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

const char* const kFile = "v2dgui_cguielement_main";

}  // namespace

CGUIElement::CGUIElement(const std::string& fp_strID) : m_strID(fp_strID) { SetCheckpoint(307, __LINE__); }

CGUIElement::~CGUIElement() { SetCheckpoint(307, __LINE__); }

void CGUIElement::SetParent(CGUIElement* fp_pParent) {
    SetCheckpoint(307, __LINE__);
    if (m_pParent != nullptr && m_pParent != fp_pParent) {
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in setting GUI element parent: possible element dublication!",
                            kFile, __LINE__);
    }
    m_pParent = fp_pParent;
    if (fp_pParent != nullptr) fp_pParent->m_children.push_back(this);
}

// Every walk of a child list that may fire actions goes over a copy of the
// list taken when the walk starts: an action may add children (the list
// grows and may move) or re-sort them (zorder), and the copy still visits
// each child once, in the order of the walk's start. Elements are deleted
// only with the manager, so every pointer in a copy stays valid. A child
// added during the walk takes part from the next frame; until its first
// update it is not effectively visible and draws nothing.
std::vector<CGUIElement*> CGUIElement::ChildrenSnapshot() const { return m_children; }

void CGUIElement::UpdateChildren() {
    if (!m_bEffVisible && !m_bEffEnabled) return;
    for (CGUIElement* child : ChildrenSnapshot())
        child->Update(m_EffRect, m_EffColor, m_bEffVisible, m_bEffEnabled, 0, 0);
}

void CGUIElement::UpdateChildrenWith(const GUICOLOR& fp_Color) {
    if (!m_bEffVisible && !m_bEffEnabled) return;
    for (CGUIElement* child : ChildrenSnapshot())
        child->Update(m_EffRect, fp_Color, m_bEffVisible, m_bEffEnabled, 0, 0);
}

// Ascending zorder; neighbours swap only when the left one is greater, so
// equal zorders keep their order.
void CGUIElement::SortChildrenOfParent() {
    if (m_pParent == nullptr) return;
    std::vector<CGUIElement*>& siblings = m_pParent->m_children;
    for (size_t pass = 0; pass < siblings.size(); ++pass) {
        bool swapped = false;
        for (size_t i = 0; i + 1 < siblings.size(); ++i) {
            if (siblings[i]->m_iZOrder > siblings[i + 1]->m_iZOrder) {
                std::swap(siblings[i], siblings[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) break;
    }
}

void CGUIElement::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(307, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_ZORDER:
        m_iZOrder = GUITruncate(fp_Value.GetFloat());
        SortChildrenOfParent();
        break;
    case GUIPARAM_COORDS:
        m_Coords = fp_Value.GetRect();
        break;
    case GUIPARAM_TECHNIQUE:
        m_iTechnique = ResolveTechnique(fp_Value);
        break;
    case GUIPARAM_TEXTURE:
        m_iTexture = ResolveTexture(fp_Value);
        break;
    case GUIPARAM_COLOR:
        m_Color = GUICOLOR::FromRect(fp_Value.GetRect());
        m_EffColor = m_Color;
        break;
    case GUIPARAM_VISIBLE:
        m_bVisible = fp_Value.GetBoolean();
        break;
    case GUIPARAM_ENABLED:
        m_bEnabled = fp_Value.GetBoolean();
        break;
    case GUIPARAM_TIP:
        if (fp_Value.GetType() == GUIVAL_STRING) {
            const std::string& tip = fp_Value.GetString();
            int32_t id = Manager().GetElementID(tip);
            if (id == -1) id = Manager().AddNewElement("tip", tip, "DESKTOP");
            m_iTipID = id;
        } else {
            m_iTipID = GUITruncate(fp_Value.GetFloat());
        }
        break;
    case GUIPARAM_TAG:
        m_iTag = GUITruncate(fp_Value.GetFloat());
        break;
    default:
        ThrowUnknownParam(fp_iParamID, true);
    }
}

CGUIValue CGUIElement::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(307, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_ZORDER:
        return CGUIValue(static_cast<float>(m_iZOrder));
    case GUIPARAM_COORDS:
        return CGUIValue(m_Coords);
    case GUIPARAM_TECHNIQUE:
        return CGUIValue(static_cast<float>(m_iTechnique));
    case GUIPARAM_TEXTURE:
        return CGUIValue(static_cast<float>(m_iTexture));
    case GUIPARAM_COLOR:
        return CGUIValue(m_Color.ToRect());
    case GUIPARAM_VISIBLE:
        return CGUIValue(m_bVisible);
    case GUIPARAM_ENABLED:
        return CGUIValue(m_bEnabled);
    case GUIPARAM_TAG:
        return CGUIValue(static_cast<float>(m_iTag));
    default:
        ThrowUnknownParam(fp_iParamID, false);
    }
}

void CGUIElement::ThrowUnknownParam(int32_t fp_iParamID, bool fp_bSetting) const {
    const std::string what = fp_bSetting ? "Cannot set GUI element param: unknown ID! ID = "
                                         : "Cannot get GUI element param: unknown ID! ID = ";
    throw CEHSException(EHS_TYPE_GAME, 0, what + std::to_string(fp_iParamID) + "  Element ID = " + m_strID, kFile,
                        __LINE__);
}

void CGUIElement::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(307, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_SHOW:
        m_bVisible = true;
        break;
    case GUICMD_HIDE:
        m_bVisible = false;
        break;
    case GUICMD_ENABLE:
        m_bEnabled = true;
        break;
    case GUICMD_DISABLE:
        m_bEnabled = false;
        break;
    default:
        throw CEHSException(EHS_TYPE_GAME, 0,
                            "Cannot execute GUI element command: unknown ID! ID = " + std::to_string(fp_iCommand) +
                                "  Element ID = " + m_strID,
                            kFile, __LINE__);
    }
}

void CGUIElement::Update(const GUIRECT&, const GUICOLOR&, bool, bool, float, float) {}

void CGUIElement::Draw() {}

void CGUIElement::UpdateEffectiveState(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor,
                                       bool fp_bParentVisible, bool fp_bParentEnabled, float fp_fShiftX,
                                       float fp_fShiftY) {
    m_EffColor = fp_ParentColor * m_Color;
    m_EffRect.x = fp_ParentRect.x + m_Coords.x - fp_fShiftX;
    m_EffRect.y = fp_ParentRect.y + m_Coords.y - fp_fShiftY;
    m_EffRect.w = m_Coords.w;
    m_EffRect.h = m_Coords.h;
    m_bEffVisible = m_bVisible && fp_bParentVisible;
    m_bEffEnabled = m_bEnabled && fp_bParentEnabled;
}

void CGUIElement::ProbeTip() { ProbeTip(m_EffRect); }

void CGUIElement::ProbeTip(const GUIRECT& fp_Area) {
    if (m_bEffVisible && m_iTipID != -1 && CursorInside(fp_Area)) Manager().SetCurTip(m_iTipID);
}

void CGUIElement::StandardUpdate(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor,
                                 bool fp_bParentVisible, bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    ProbeTip();
    UpdateChildren();
}

void CGUIElement::DrawChildren() {
    for (CGUIElement* child : ChildrenSnapshot()) child->Draw();
}

void CGUIElement::ApplyLook(int32_t fp_iTexture) {
    CVelmor& engine = Engine();
    if (m_iTechnique != -1) engine.ApplyTechnique(m_iTechnique);
    if (fp_iTexture != -1) engine.SetTexture(fp_iTexture, 0);
    engine.VQuadSetColor(m_EffColor.r, m_EffColor.g, m_EffColor.b, m_EffColor.a);
}

CVelmor& CGUIElement::Engine() { return *GetEngine(); }

CVelmorGUI& CGUIElement::Manager() { return *GetGUI(); }

float CGUIElement::FrameTime() { return GetGUI()->GetFrameTime(); }

GUIPOINT CGUIElement::CursorPos() {
    int32_t x = 0;
    int32_t y = 0;
    GetEngine()->MouseGetCursorPos(x, y);
    return {static_cast<float>(x), static_cast<float>(y)};
}

bool CGUIElement::MouseClicked() { return GetEngine()->MouseIsKeyClicked(1); }

bool CGUIElement::MouseHeld() { return GetEngine()->MouseIsKeyPressed(1); }

bool CGUIElement::CursorInside(const GUIRECT& fp_Rect) const {
    const GUIPOINT cursor = CursorPos();
    return GUIRectContains(fp_Rect, cursor.x, cursor.y);
}

int32_t CGUIElement::ResolveTexture(const CGUIValue& fp_Value) {
    if (fp_Value.GetType() == GUIVAL_STRING) return Engine().GetTextureID(fp_Value.GetString());
    return GUITruncate(fp_Value.GetFloat());
}

int32_t CGUIElement::ResolveTechnique(const CGUIValue& fp_Value) {
    if (fp_Value.GetType() == GUIVAL_STRING) return Engine().GetTechniqueID(fp_Value.GetString());
    return GUITruncate(fp_Value.GetFloat());
}

int32_t CGUIElement::ResolveSound(const CGUIValue& fp_Value) {
    if (fp_Value.GetType() == GUIVAL_STRING) {
        // Without a sound card sounds are never loaded: nothing to find.
        if (Engine().m_sfx.bNoSound) return -2;
        return Engine().SoundFind(fp_Value.GetString());
    }
    return GUITruncate(fp_Value.GetFloat());
}

int32_t CGUIElement::ResolveFont(const CGUIValue& fp_Value) {
    if (fp_Value.GetType() == GUIVAL_STRING) return Engine().GetFontID(fp_Value.GetString());
    return GUITruncate(fp_Value.GetFloat());
}

void CGUIElement::PlaySound(int32_t fp_iSound) const {
    if (fp_iSound < 0 || !m_bEffEnabled) return;
    Engine().SoundPlay(fp_iSound, false, -1, -1, -101);
}
