#include "v2dgui_stdclass_listbox.h"

#include <algorithm>

#include "cvelmor.h"
#include "v2dgui_stdclass_label.h"

void CGUIListBox::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(332, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_CELLHEIGHT:
        m_fCellHeight = fp_Value.GetFloat();
        break;
    case GUIPARAM_CELLSCOUNT:
        m_iCellsCount = std::max(GUITruncate(fp_Value.GetFloat()), 0);
        break;
    case GUIPARAM_SELECTEDCELL:
        m_iSelectedCell = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_CHECKEDCELL:
        m_iCheckedCell = GUITruncate(fp_Value.GetFloat());
        break;
    case GUIPARAM_LISTBOX_SCROLLY:
        m_fScrollY = fp_Value.GetFloat();
        break;
    case GUIPARAM_ON_SELECTCELL:
        m_OnSelectCell.Set(fp_Value);
        break;
    case GUIPARAM_ON_CHECKCELL:
        m_OnCheckCell.Set(fp_Value);
        break;
    case GUIPARAM_ON_REDRAWCELL:
        m_OnRedrawCell.Set(fp_Value);
        break;
    case GUIPARAM_ON_PREPAREFRAME:
        m_OnPrepareFrame.Set(fp_Value);
        break;
    case GUIPARAM_SOUND_SELECTCELL:
        m_iSelectSound = ResolveSound(fp_Value);
        break;
    case GUIPARAM_SOUND_CHECKCELL:
        m_iCheckSound = ResolveSound(fp_Value);
        break;
    case GUIPARAM_ON_SCROLLSHIFT:
        m_OnScrollShift.Set(fp_Value);
        break;
    case GUIPARAM_SCROLL_ENABLED:
        m_bScrollEnabled = fp_Value.GetBoolean();
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIListBox::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(332, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_CELLHEIGHT:
        return CGUIValue(m_fCellHeight);
    case GUIPARAM_CELLSCOUNT:
        return CGUIValue(static_cast<float>(m_iCellsCount));
    case GUIPARAM_SELECTEDCELL:
        return CGUIValue(static_cast<float>(m_iSelectedCell));
    case GUIPARAM_CHECKEDCELL:
        return CGUIValue(static_cast<float>(m_iCheckedCell));
    case GUIPARAM_LISTBOX_SCROLLY:
        return CGUIValue(m_fScrollY);
    case GUIPARAM_ON_SELECTCELL:
        return m_OnSelectCell.Get();
    case GUIPARAM_ON_CHECKCELL:
        return m_OnCheckCell.Get();
    case GUIPARAM_ON_REDRAWCELL:
        return m_OnRedrawCell.Get();
    case GUIPARAM_ON_PREPAREFRAME:
        return m_OnPrepareFrame.Get();
    case GUIPARAM_SOUND_SELECTCELL:
        return CGUIValue(static_cast<float>(m_iSelectSound));
    case GUIPARAM_SOUND_CHECKCELL:
        return CGUIValue(static_cast<float>(m_iCheckSound));
    case GUIPARAM_ON_SCROLLSHIFT:
        return m_OnScrollShift.Get();
    case GUIPARAM_SCROLL_ENABLED:
        return CGUIValue(m_bScrollEnabled);
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

int32_t CGUIListBox::CellOrNone(int32_t fp_iCell) const {
    return fp_iCell < 0 || fp_iCell >= m_iCellsCount ? -1 : fp_iCell;
}

// Only a cursor over the box points at a cell.
int32_t CGUIListBox::CellUnderCursor() const {
    if (m_fCellHeight <= 0.0f || !CursorInside(m_EffRect)) return -1;
    return GUITruncate((CursorPos().y - m_EffRect.y + m_fScrollY) / m_fCellHeight);
}

void CGUIListBox::SelectCell(int32_t fp_iCell) {
    const int32_t cell = CellOrNone(fp_iCell);
    if (cell == m_iSelectedCell) return;
    m_iSelectedCell = cell;
    m_OnSelectCell.FireIfSet();
    if (cell != -1) PlaySound(m_iSelectSound);
}

void CGUIListBox::CheckCell(int32_t fp_iCell) {
    const int32_t cell = CellOrNone(fp_iCell);
    m_iCheckedCell = cell;
    m_OnCheckCell.FireIfSet();
    if (cell != -1) PlaySound(m_iCheckSound);
}

void CGUIListBox::ScrollCheckedIntoView() {
    const float top = static_cast<float>(m_iCheckedCell) * m_fCellHeight;
    if (top < m_fScrollY) m_fScrollY = top;
    if (top > m_Coords.h + m_fScrollY - m_fCellHeight) m_fScrollY = top - m_Coords.h + m_fCellHeight;
}

void CGUIListBox::MoveCheckWithArrowKeys() {
    if (m_iCheckedCell == -1) return;
    CVelmor& engine = Engine();
    // A checked cell set far outside the list still moves by one.
    int64_t cell = m_iCheckedCell;
    bool moved = false;
    if (engine.KeyboardIsKeyClicked(kKeyUp)) {
        cell = std::max<int64_t>(cell - 1, 0);
        moved = true;
    }
    if (engine.KeyboardIsKeyClicked(kKeyDown)) {
        cell = std::min<int64_t>(cell + 1, static_cast<int64_t>(m_iCellsCount) - 1);
        moved = true;
    }
    if (!moved) return;
    m_iCheckedCell = m_iSelectedCell = GUISaturate(cell);
    ScrollCheckedIntoView();
    m_OnScrollShift.FireIfSet({CGUIValue(m_fScrollY)});
    CheckCell(m_iCheckedCell);
}

void CGUIListBox::PrepareFrame() {
    m_OnPrepareFrame.FireIfSet({CGUIValue(static_cast<float>(m_iSelectedCell)),
                                CGUIValue(static_cast<float>(m_iCheckedCell)), CGUIValue(m_EffColor.ToRect()),
                                CGUIValue(m_bEffEnabled)});
}

void CGUIListBox::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                         bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(332, __LINE__);
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    if (!m_bEffVisible) return;
    if (m_bEffEnabled && m_iCellsCount > 0) {
        if (m_bScrollEnabled) MoveCheckWithArrowKeys();
        const int32_t cell = CellUnderCursor();
        SelectCell(cell);
        if (MouseClicked() && cell != -1) CheckCell(cell);
    }
    PrepareFrame();
    ProbeTip();
}

void CGUIListBox::Draw() {
    SetCheckpoint(332, __LINE__);
    if (!m_bEffVisible || m_iCellsCount == 0 || m_fCellHeight <= 0.0f || !m_OnRedrawCell.IsSet()) return;
    CGUIViewportLimit limit(Engine(), m_EffRect);
    const int32_t first = std::max(GUITruncate(m_fScrollY / m_fCellHeight), 0);
    int64_t count = static_cast<int64_t>(GUITruncate((m_fCellHeight * 0.5f + m_Coords.h) / m_fCellHeight)) + 1;
    if (first + count >= m_iCellsCount) count = static_cast<int64_t>(m_iCellsCount) - first;
    for (int64_t i = first; i < first + count; ++i) {
        const float top = static_cast<float>(i) * m_fCellHeight + m_EffRect.y - m_fScrollY;
        m_OnRedrawCell.Fire({CGUIValue(static_cast<float>(i)), CGUIValue(m_EffRect.x), CGUIValue(top)});
    }
}
