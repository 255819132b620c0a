#include "v2dgui_stdclass_window.h"

#include <algorithm>

#include "cvelmor.h"

namespace {

// The quadratic Bezier weights of the three keys at f in [0, 1].
struct BezierWeights {
    float p, q, r;
};

BezierWeights Weights(float f) { return {(1.0f - f) * (1.0f - f), 2.0f * f * (1.0f - f), f * f}; }

float Blend(const BezierWeights& w, float p, float q, float r) { return w.p * p + w.q * q + w.r * r; }

}  // namespace

void CGUIWindow::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(324, __LINE__);
    switch (fp_iParamID) {
    case PARAM_COLOR_HIDDEN:
        m_ColorHidden = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_COLOR_MIDDLE:
        m_ColorMiddle = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_COLOR_SHOWN:
        m_ColorShown = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_LOCATION_HIDDEN:
        m_LocationHidden = fp_Value.GetPoint();
        break;
    case PARAM_LOCATION_MIDDLE:
        m_LocationMiddle = fp_Value.GetPoint();
        break;
    case PARAM_LOCATION_SHOWN:
        m_LocationShown = fp_Value.GetPoint();
        break;
    case PARAM_TIME_SHOWHIDE:
        m_fTimeShowHide = fp_Value.GetFloat();
        break;
    case PARAM_ON_HIDE:
        m_OnHide.Set(fp_Value);
        break;
    case PARAM_ON_SHOW:
        m_OnShow.Set(fp_Value);
        break;
    case PARAM_ON_ENABLE:
        m_OnEnable.Set(fp_Value);
        break;
    case PARAM_ON_DISABLE:
        m_OnDisable.Set(fp_Value);
        break;
    case PARAM_SOUND_HIDE:
        m_iSoundHide = ResolveSound(fp_Value);
        break;
    case PARAM_SOUND_SHOW:
        m_iSoundShow = ResolveSound(fp_Value);
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUIWindow::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(324, __LINE__);
    switch (fp_iParamID) {
    case PARAM_COLOR_HIDDEN:
        return CGUIValue(m_ColorHidden.ToRect());
    case PARAM_COLOR_MIDDLE:
        return CGUIValue(m_ColorMiddle.ToRect());
    case PARAM_COLOR_SHOWN:
        return CGUIValue(m_ColorShown.ToRect());
    case PARAM_LOCATION_HIDDEN:
        return CGUIValue(m_LocationHidden);
    case PARAM_LOCATION_MIDDLE:
        return CGUIValue(m_LocationMiddle);
    case PARAM_LOCATION_SHOWN:
        return CGUIValue(m_LocationShown);
    case PARAM_TIME_SHOWHIDE:
        return CGUIValue(m_fTimeShowHide);
    case PARAM_ON_HIDE:
        return m_OnHide.Get();
    case PARAM_ON_SHOW:
        return m_OnShow.Get();
    case PARAM_ON_ENABLE:
        return m_OnEnable.Get();
    case PARAM_ON_DISABLE:
        return m_OnDisable.Get();
    case PARAM_SOUND_HIDE:
        return CGUIValue(static_cast<float>(m_iSoundHide));
    case PARAM_SOUND_SHOW:
        return CGUIValue(static_cast<float>(m_iSoundShow));
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

// Show and hide start a transition from wherever the window stands, so a
// show during hiding runs back from the current time; a show reaching a
// window already on its way in (or in) changes nothing.
void CGUIWindow::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(324, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_SHOW:
        if (m_iState == STATE_HIDDEN || m_iState == STATE_HIDING) {
            PlayWindowSound(m_iSoundShow);
            m_OnShow.FireIfSet();
            m_iState = STATE_SHOWING;
        }
        m_bVisible = true;
        break;
    case GUICMD_HIDE:
        if (m_iState == STATE_SHOWING || m_iState == STATE_SHOWN) {
            PlayWindowSound(m_iSoundHide);
            m_OnHide.FireIfSet();
            m_iState = STATE_HIDING;
        }
        m_bVisible = false;
        break;
    case GUICMD_ENABLE:
        m_OnEnable.FireIfSet();
        m_bEnabled = true;
        break;
    case GUICMD_DISABLE:
        m_OnDisable.FireIfSet();
        m_bEnabled = false;
        break;
    default:
        CGUIElement::ExecuteCommand(fp_iCommand);
    }
}

// A window in transition is never effectively enabled, so its show and hide
// sounds follow the window's own enabled flag.
void CGUIWindow::PlayWindowSound(int32_t fp_iSound) const {
    if (fp_iSound < 0 || !m_bEnabled) return;
    Engine().SoundPlay(fp_iSound, false, -1, -1, -101);
}

void CGUIWindow::AdvanceTransition() {
    if (m_iState == STATE_HIDING) {
        m_fTransitionTime -= FrameTime();
        if (m_fTransitionTime <= 0.0f) {
            m_fTransitionTime = 0.0f;
            m_iState = STATE_HIDDEN;
        }
    } else if (m_iState == STATE_SHOWING) {
        m_fTransitionTime += FrameTime();
        if (m_fTransitionTime >= m_fTimeShowHide) {
            m_fTransitionTime = m_fTimeShowHide;
            m_iState = STATE_SHOWN;
        }
    }
}

void CGUIWindow::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                        bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(324, __LINE__);
    AdvanceTransition();
    if (m_iState == STATE_HIDDEN) {
        m_bEffVisible = false;
        m_bEffEnabled = false;
        return;
    }
    GUICOLOR color = m_ColorShown;
    GUIPOINT location = m_LocationShown;
    if (m_iState == STATE_SHOWN) {
        m_bEffEnabled = m_bEnabled && fp_bParentEnabled;
    } else {
        const float f = m_fTimeShowHide > 0.0f ? std::clamp(m_fTransitionTime / m_fTimeShowHide, 0.0f, 1.0f) : 1.0f;
        const BezierWeights w = Weights(f);
        color = {Blend(w, m_ColorHidden.r, m_ColorMiddle.r, m_ColorShown.r),
                 Blend(w, m_ColorHidden.g, m_ColorMiddle.g, m_ColorShown.g),
                 Blend(w, m_ColorHidden.b, m_ColorMiddle.b, m_ColorShown.b),
                 Blend(w, m_ColorHidden.a, m_ColorMiddle.a, m_ColorShown.a)};
        location = {Blend(w, m_LocationHidden.x, m_LocationMiddle.x, m_LocationShown.x),
                    Blend(w, m_LocationHidden.y, m_LocationMiddle.y, m_LocationShown.y)};
        m_bEffEnabled = false;
    }
    m_EffColor = fp_ParentColor * color;
    m_EffRect = {fp_ParentRect.x + location.x - fp_fShiftX, fp_ParentRect.y + location.y - fp_fShiftY, m_Coords.w,
                 m_Coords.h};
    m_bEffVisible = fp_bParentVisible;
    ProbeTip();
    UpdateChildren();
}

void CGUIWindow::Draw() {
    SetCheckpoint(324, __LINE__);
    if (m_bEffVisible) DrawChildren();
}
