// A list of equal cells drawn by an action: the cell under the cursor is
// selected, a click checks it, the arrow keys move the check and scroll it
// into view. Only the visible cells are drawn, clipped to the box.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUIListBoxParam {
    GUIPARAM_CELLHEIGHT = 102,
    GUIPARAM_CELLSCOUNT = 103,
    GUIPARAM_SELECTEDCELL = 104,
    GUIPARAM_CHECKEDCELL = 105,
    GUIPARAM_LISTBOX_SCROLLY = 106,
    GUIPARAM_ON_SELECTCELL = 107,
    GUIPARAM_ON_CHECKCELL = 108,
    GUIPARAM_ON_REDRAWCELL = 109,
    GUIPARAM_ON_PREPAREFRAME = 110,
    GUIPARAM_SOUND_SELECTCELL = 111,
    GUIPARAM_SOUND_CHECKCELL = 112,
    GUIPARAM_ON_SCROLLSHIFT = 124,
    GUIPARAM_SCROLL_ENABLED = 125,
};

class CGUIListBox : public CGUIElement {
public:
    explicit CGUIListBox(const std::string& fp_strID) : CGUIElement(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIListBox(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    // Keys the list reads (keyboard codes).
    static constexpr int32_t kKeyUp = 0xC8;
    static constexpr int32_t kKeyDown = 0xD0;

private:
    int32_t CellUnderCursor() const;
    int32_t CellOrNone(int32_t fp_iCell) const;
    void SelectCell(int32_t fp_iCell);
    void CheckCell(int32_t fp_iCell);
    void MoveCheckWithArrowKeys();
    void ScrollCheckedIntoView();
    void PrepareFrame();

    float m_fCellHeight = 20.0f;
    int32_t m_iCellsCount = 0;
    int32_t m_iSelectedCell = -1;
    int32_t m_iCheckedCell = -1;
    float m_fScrollY = 0.0f;
    CGUIAction m_OnSelectCell;
    CGUIAction m_OnCheckCell;
    CGUIAction m_OnRedrawCell;
    CGUIAction m_OnPrepareFrame;
    CGUIAction m_OnScrollShift;
    int32_t m_iSelectSound = -1;
    int32_t m_iCheckSound = -1;
    bool m_bScrollEnabled = true;
};
