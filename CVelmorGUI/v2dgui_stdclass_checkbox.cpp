#include "v2dgui_stdclass_checkbox.h"

#include "cvelmor.h"

namespace {

bool IsLookParam(int32_t fp_iParamID, int32_t fp_iFirst) { return fp_iParamID >= fp_iFirst && fp_iParamID < fp_iFirst + 4; }

}  // namespace

void CGUICheckbox::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(318, __LINE__);
    if (IsLookParam(fp_iParamID, PARAM_TEXTURE_CHECKED_NORMAL)) {
        m_iCheckedTextures[fp_iParamID - PARAM_TEXTURE_CHECKED_NORMAL] = ResolveTexture(fp_Value);
        return;
    }
    if (IsLookParam(fp_iParamID, PARAM_CHILDSCOLOR_CHECKED_NORMAL)) {
        m_CheckedChildColors[fp_iParamID - PARAM_CHILDSCOLOR_CHECKED_NORMAL] = GUICOLOR::FromRect(fp_Value.GetRect());
        return;
    }
    switch (fp_iParamID) {
    case PARAM_CHECKED:
        m_bChecked = fp_Value.GetBoolean();
        break;
    case PARAM_RADIOBUTTON:
        m_bRadioButton = fp_Value.GetBoolean();
        break;
    case PARAM_ON_CHECK:
        m_OnCheck.Set(fp_Value);
        break;
    case PARAM_ON_UNCHECK:
        m_OnUncheck.Set(fp_Value);
        break;
    case PARAM_SOUND_CHECK:
        m_iSoundCheck = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_UNCHECK:
        m_iSoundUncheck = ResolveSound(fp_Value);
        break;
    default:
        CGUIButton::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUICheckbox::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(318, __LINE__);
    if (IsLookParam(fp_iParamID, PARAM_TEXTURE_CHECKED_NORMAL))
        return CGUIValue(static_cast<float>(m_iCheckedTextures[fp_iParamID - PARAM_TEXTURE_CHECKED_NORMAL]));
    if (IsLookParam(fp_iParamID, PARAM_CHILDSCOLOR_CHECKED_NORMAL))
        return CGUIValue(m_CheckedChildColors[fp_iParamID - PARAM_CHILDSCOLOR_CHECKED_NORMAL].ToRect());
    switch (fp_iParamID) {
    case PARAM_CHECKED:
        return CGUIValue(m_bChecked);
    case PARAM_RADIOBUTTON:
        return CGUIValue(m_bRadioButton);
    case PARAM_ON_CHECK:
        return m_OnCheck.Get();
    case PARAM_ON_UNCHECK:
        return m_OnUncheck.Get();
    case PARAM_SOUND_CHECK:
        return CGUIValue(static_cast<float>(m_iSoundCheck));
    case PARAM_SOUND_UNCHECK:
        return CGUIValue(static_cast<float>(m_iSoundUncheck));
    default:
        return CGUIButton::GetParam(fp_iParamID);
    }
}

// The actions receive the element's tag, so one function can serve a group.
void CGUICheckbox::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(318, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_CHECK:
        if (!m_bChecked) {
            m_OnCheck.FireIfSet({CGUIValue(static_cast<float>(m_iTag))});
            PlaySound(m_iSoundCheck);
        }
        m_bChecked = true;
        if (m_bRadioButton) UncheckOtherRadioButtons();
        break;
    case GUICMD_UNCHECK:
        if (m_bChecked) {
            m_OnUncheck.FireIfSet({CGUIValue(static_cast<float>(m_iTag))});
            PlaySound(m_iSoundUncheck);
        }
        m_bChecked = false;
        break;
    default:
        CGUIButton::ExecuteCommand(fp_iCommand);
    }
}

void CGUICheckbox::ReleasedOver() { ExecuteCommand(m_bChecked ? GUICMD_UNCHECK : GUICMD_CHECK); }

void CGUICheckbox::UncheckOtherRadioButtons() {
    if (m_pParent == nullptr) return;
    // A copy: the actions fired may add or re-sort siblings.
    const std::vector<CGUIElement*> siblings = m_pParent->GetChildren();
    for (CGUIElement* sibling : siblings) {
        CGUICheckbox* other = dynamic_cast<CGUICheckbox*>(sibling);
        if (other != nullptr && other != this && other->m_bRadioButton && other->m_bChecked)
            other->ExecuteCommand(GUICMD_UNCHECK);
    }
}

int32_t CGUICheckbox::LookTexture(Look fp_Look) const {
    if (m_bChecked && m_iCheckedTextures[LOOK_NORMAL] != -1) return PickTexture(m_iCheckedTextures, fp_Look);
    return CGUIButton::LookTexture(fp_Look);
}

const GUICOLOR& CGUICheckbox::LookChildColor(Look fp_Look) const {
    return m_bChecked ? m_CheckedChildColors[fp_Look] : CGUIButton::LookChildColor(fp_Look);
}
