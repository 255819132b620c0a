// The base of every GUI element: tree links, the common parameters, the
// effective state handed down from the parent each frame, and the eight
// operations every class may override.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "v2dgui_datatypes.h"

class CVelmor;
class CVelmorGUI;

// Commands every element understands.
enum V2DGUICommand {
    GUICMD_SHOW = 1,
    GUICMD_HIDE = 2,
    GUICMD_ENABLE = 3,
    GUICMD_DISABLE = 4,
};

// Parameter numbers of the base element.
enum V2DGUIBaseParam {
    GUIPARAM_ZORDER = 1,
    GUIPARAM_COORDS = 2,
    GUIPARAM_TECHNIQUE = 3,
    GUIPARAM_TEXTURE = 4,
    GUIPARAM_COLOR = 5,
    GUIPARAM_VISIBLE = 6,
    GUIPARAM_ENABLED = 7,
    GUIPARAM_TIP = 8,
    GUIPARAM_TAG = 123,
};

class CGUIElement {
public:
    explicit CGUIElement(const std::string& fp_strID);
    virtual ~CGUIElement();
    CGUIElement(const CGUIElement&) = delete;
    CGUIElement& operator=(const CGUIElement&) = delete;

    virtual void SetParent(CGUIElement* fp_pParent);
    virtual void UpdateChildren();
    virtual void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value);
    virtual CGUIValue GetParam(int32_t fp_iParamID);
    virtual void ExecuteCommand(int32_t fp_iCommand);
    virtual void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                        bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY);
    virtual void Draw();

    const std::string& GetStrID() const { return m_strID; }
    CGUIElement* GetParent() const { return m_pParent; }
    const std::vector<CGUIElement*>& GetChildren() const { return m_children; }
    int32_t GetZOrder() const { return m_iZOrder; }
    const GUIRECT& GetCoords() const { return m_Coords; }
    const GUICOLOR& GetColor() const { return m_Color; }
    bool IsVisible() const { return m_bVisible; }
    bool IsEnabled() const { return m_bEnabled; }
    int32_t GetTag() const { return m_iTag; }
    int32_t GetTipID() const { return m_iTipID; }
    const GUIRECT& GetEffectiveRect() const { return m_EffRect; }
    const GUICOLOR& GetEffectiveColor() const { return m_EffColor; }
    bool IsEffectivelyVisible() const { return m_bEffVisible; }
    bool IsEffectivelyEnabled() const { return m_bEffEnabled; }

protected:
    // The standard update of most classes, in pieces: effective colour,
    // position (parent origin + coords - shift, the coords' own size),
    // visibility and enabling...
    void UpdateEffectiveState(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                              bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY);
    // ...the tip probe (the element under the mouse offers its tip)...
    void ProbeTip();
    void ProbeTip(const GUIRECT& fp_Area);
    // ...and all three with the children's update.
    void StandardUpdate(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                        bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY);
    // Children in order with an explicit colour (buttons tint them).
    void UpdateChildrenWith(const GUICOLOR& fp_Color);
    // The child list to walk while firing actions.
    std::vector<CGUIElement*> ChildrenSnapshot() const;
    void DrawChildren();
    // The technique, the texture on stage 0 (when set) and the quad colour.
    void ApplyLook(int32_t fp_iTexture);

    // Shared services for the element classes.
    static CVelmor& Engine();
    static CVelmorGUI& Manager();
    static float FrameTime();
    static GUIPOINT CursorPos();
    static bool MouseClicked();  // button 1 went down this frame
    static bool MouseHeld();     // button 1 is down
    bool CursorInside(const GUIRECT& fp_Rect) const;
    // Handles from a value: a string is looked up by identifier, a number is
    // taken as the handle.
    static int32_t ResolveTexture(const CGUIValue& fp_Value);
    static int32_t ResolveTechnique(const CGUIValue& fp_Value);
    static int32_t ResolveSound(const CGUIValue& fp_Value);
    static int32_t ResolveFont(const CGUIValue& fp_Value);
    // Plays with default attributes, only while effectively enabled.
    void PlaySound(int32_t fp_iSound) const;
    // The refusals of the base, for classes that check types themselves.
    [[noreturn]] void ThrowUnknownParam(int32_t fp_iParamID, bool fp_bSetting) const;

    std::string m_strID;
    CGUIElement* m_pParent = nullptr;
    std::vector<CGUIElement*> m_children;
    int32_t m_iZOrder = 0;
    GUIRECT m_Coords;
    GUICOLOR m_Color;
    int32_t m_iTechnique = -1;
    int32_t m_iTexture = -1;
    bool m_bVisible = false;
    bool m_bEnabled = false;
    int32_t m_iTipID = -1;
    int32_t m_iTag = 0;

    GUICOLOR m_EffColor;
    GUIRECT m_EffRect;
    bool m_bEffVisible = false;
    bool m_bEffEnabled = false;

private:
    void SortChildrenOfParent();
};
