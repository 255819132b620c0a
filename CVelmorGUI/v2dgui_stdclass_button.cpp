#include "v2dgui_stdclass_button.h"

#include "cvelmor.h"

namespace {

bool IsLookParam(int32_t fp_iParamID, int32_t fp_iFirst) { return fp_iParamID >= fp_iFirst && fp_iParamID < fp_iFirst + 4; }

// Frame times summed in floats fall a hair short of round sums (ten frames
// of 0.01 s give 0.0999999 s); without the allowance a 0.1 s interval would
// take an extra frame every time.
bool Reached(float fp_fTimer, float fp_fLimit) { return fp_fTimer >= fp_fLimit - 1e-5f; }

}  // namespace

void CGUIButton::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(316, __LINE__);
    if (IsLookParam(fp_iParamID, PARAM_TEXTURE_NORMAL)) {
        m_iTextures[fp_iParamID - PARAM_TEXTURE_NORMAL] = ResolveTexture(fp_Value);
        return;
    }
    if (IsLookParam(fp_iParamID, PARAM_CHILDSCOLOR_NORMAL)) {
        m_ChildColors[fp_iParamID - PARAM_CHILDSCOLOR_NORMAL] = GUICOLOR::FromRect(fp_Value.GetRect());
        return;
    }
    switch (fp_iParamID) {
    case GUIPARAM_COORDS:
        m_Coords = fp_Value.GetRect();
        // Until an area of its own is given, the whole button is clickable.
        if (m_ActiveRect.w <= 0.0f || m_ActiveRect.h <= 0.0f) m_ActiveRect = m_Coords;
        break;
    case PARAM_ACTIVERECT:
        m_ActiveRect = fp_Value.GetRect();
        break;
    case PARAM_ON_ENABLE:
        m_OnEnable.Set(fp_Value);
        break;
    case PARAM_ON_DISABLE:
        m_OnDisable.Set(fp_Value);
        break;
    case PARAM_ON_PRESS:
        m_OnPress.Set(fp_Value);
        break;
    case PARAM_ON_HOLD:
        m_OnHold.Set(fp_Value);
        break;
    case PARAM_SOUND_PRESS:
        m_iSoundPress = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_CLICK:
        m_iSoundClick = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_GOTFOCUS:
        m_iSoundGotFocus = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_LOSTFOCUS:
        m_iSoundLostFocus = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_HOTKEY:
        m_iSoundHotkey = ResolveSound(fp_Value);
        break;
    case PARAM_HOLDTIME_START:
        m_fHoldStart = fp_Value.GetFloat();
        StopHold();
        break;
    case PARAM_HOLDTIME_INTERVAL:
        m_fHoldInterval = fp_Value.GetFloat();
        StopHold();
        break;
    default:
        CGUIAdvTile::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIButton::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(316, __LINE__);
    if (IsLookParam(fp_iParamID, PARAM_TEXTURE_NORMAL))
        return CGUIValue(static_cast<float>(m_iTextures[fp_iParamID - PARAM_TEXTURE_NORMAL]));
    if (IsLookParam(fp_iParamID, PARAM_CHILDSCOLOR_NORMAL))
        return CGUIValue(m_ChildColors[fp_iParamID - PARAM_CHILDSCOLOR_NORMAL].ToRect());
    switch (fp_iParamID) {
    case PARAM_ACTIVERECT:
        return CGUIValue(m_ActiveRect);
    case PARAM_ON_ENABLE:
        return m_OnEnable.Get();
    case PARAM_ON_DISABLE:
        return m_OnDisable.Get();
    case PARAM_ON_PRESS:
        return m_OnPress.Get();
    case PARAM_ON_HOLD:
        return m_OnHold.Get();
    case PARAM_SOUND_PRESS:
        return CGUIValue(static_cast<float>(m_iSoundPress));
    case PARAM_SOUND_CLICK:
        return CGUIValue(static_cast<float>(m_iSoundClick));
    case PARAM_SOUND_GOTFOCUS:
        return CGUIValue(static_cast<float>(m_iSoundGotFocus));
    case PARAM_SOUND_LOSTFOCUS:
        return CGUIValue(static_cast<float>(m_iSoundLostFocus));
    case PARAM_SOUND_HOTKEY:
        return CGUIValue(static_cast<float>(m_iSoundHotkey));
    case PARAM_HOLDTIME_START:
        return CGUIValue(m_fHoldStart);
    case PARAM_HOLDTIME_INTERVAL:
        return CGUIValue(m_fHoldInterval);
    default:
        return CGUIAdvTile::GetParam(fp_iParamID);
    }
}

void CGUIButton::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(316, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_ENABLE:
        if (!m_bEnabled) m_OnEnable.FireIfSet();
        m_bEnabled = true;
        break;
    case GUICMD_DISABLE:
        if (m_bEnabled) m_OnDisable.FireIfSet();
        m_bEnabled = false;
        break;
    default:
        CGUIAdvTile::ExecuteCommand(fp_iCommand);
    }
}

void CGUIButton::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                        bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(316, __LINE__);
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    m_EffActiveRect = {fp_ParentRect.x + m_ActiveRect.x - fp_fShiftX, fp_ParentRect.y + m_ActiveRect.y - fp_fShiftY,
                       m_ActiveRect.w, m_ActiveRect.h};
    m_iState = STATE_NORMAL;
    const bool inside = CursorInside(m_EffActiveRect);
    if (m_bEffEnabled && m_bEffVisible && TakesInput()) {
        if (inside && MouseClicked()) m_bPressed = true;
        if (!MouseHeld()) m_bPressed = false;
        if (inside)
            m_iState = m_bPressed ? STATE_PRESSED : STATE_SELECTED;
        else if (m_bPressed)
            m_iState = STATE_SELECTED;
        RunEvents();
        m_iPrevState = m_iState;
    } else {
        // A press or hover from before the button went out of reach must not
        // come back as a release or a focus change when it returns.
        m_bPressed = false;
        m_iPrevState = STATE_NORMAL;
        StopHold();
    }
    m_ChildrenColor = m_EffColor * LookChildColor(CurrentLook());
    ProbeTip(m_EffActiveRect);
    UpdateChildrenWith(m_ChildrenColor);
}

void CGUIButton::RunEvents() {
    const int32_t s = m_iState, p = m_iPrevState;
    if (s == STATE_SELECTED && p == STATE_PRESSED && !m_bPressed) ReleasedOver();
    if (Repeats()) RunHold();
    if (s == STATE_PRESSED && p != STATE_PRESSED) {
        PlaySound(m_iSoundClick);
        m_OnClick.FireIfSet();
    }
    if (s != STATE_NORMAL && p == STATE_NORMAL) {
        PlaySound(m_iSoundGotFocus);
        m_OnGotFocus.FireIfSet();
    }
    if (s == STATE_NORMAL && p != STATE_NORMAL) {
        PlaySound(m_iSoundLostFocus);
        m_OnLostFocus.FireIfSet();
    }
    if (HotkeyClicked()) {
        PlaySound(m_iSoundHotkey);
        m_OnHotkey.FireIfSet();
    }
}

void CGUIButton::ReleasedOver() {
    PlaySound(m_iSoundPress);
    m_OnPress.FireIfSet();
}

// The first repeat waits for the start time, then one more interval; after
// that every interval.
void CGUIButton::RunHold() {
    if (m_iState != STATE_PRESSED) {
        StopHold();
        return;
    }
    m_fHoldTimer += FrameTime();
    if (!m_bRepeating) {
        if (Reached(m_fHoldTimer, m_fHoldStart)) {
            m_fHoldTimer = 0.0f;
            m_bRepeating = true;
        }
    } else if (Reached(m_fHoldTimer, m_fHoldInterval)) {
        m_fHoldTimer = 0.0f;
        m_OnHold.Fire();
    }
}

void CGUIButton::StopHold() {
    m_fHoldTimer = 0.0f;
    m_bRepeating = false;
}

CGUIButton::Look CGUIButton::CurrentLook() const {
    if (!m_bEffEnabled) return LOOK_DISABLED;
    if (m_iState == STATE_PRESSED) return LOOK_PRESSED;
    if (m_iState == STATE_SELECTED) return LOOK_SELECTED;
    return LOOK_NORMAL;
}

int32_t CGUIButton::PickTexture(const int32_t (&fp_Textures)[LOOK_COUNT], Look fp_Look) const {
    if (fp_Textures[LOOK_NORMAL] == -1) return m_iTexture;
    return fp_Textures[fp_Look] != -1 ? fp_Textures[fp_Look] : fp_Textures[LOOK_NORMAL];
}

int32_t CGUIButton::LookTexture(Look fp_Look) const { return PickTexture(m_iTextures, fp_Look); }

void CGUIButton::Draw() {
    SetCheckpoint(316, __LINE__);
    if (!m_bEffVisible) return;
    ApplyLook(LookTexture(CurrentLook()));
    DrawScheme(m_EffRect);
    DrawChildren();
}
