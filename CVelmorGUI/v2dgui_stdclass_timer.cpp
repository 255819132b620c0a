#include "v2dgui_stdclass_timer.h"

#include "cvelmor_ehs.h"
#include "cvelmor_rand.h"

CGUITimer::CGUITimer(const std::string& fp_strID) : CGUIElement(fp_strID) { DrawRandomDelay(); }

void CGUITimer::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(338, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_FACTORACTION_TIME:
        m_fFactorTime = fp_Value.GetFloat();
        m_fFactorElapsed = 0.0f;
        m_bFactorDone = false;
        break;
    case GUIPARAM_FACTORACTION_LOOPED:
        m_bFactorLooped = fp_Value.GetBoolean();
        break;
    case GUIPARAM_RANDOMACTION_MINTIME:
        m_fRandomMinTime = fp_Value.GetFloat();
        DrawRandomDelay();
        break;
    case GUIPARAM_RANDOMACTION_MAXTIME:
        m_fRandomMaxTime = fp_Value.GetFloat();
        DrawRandomDelay();
        break;
    case GUIPARAM_ON_PERMANENTACTION:
        m_OnPermanent.Set(fp_Value);
        break;
    case GUIPARAM_ON_FACTORACTION:
        m_OnFactor.Set(fp_Value);
        break;
    case GUIPARAM_ON_RANDOMACTION:
        m_OnRandom.Set(fp_Value);
        break;
    default:
        CGUIElement::SetParam(fp_iParamID, fp_Value);
    }
}

CGUIValue CGUITimer::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(338, __LINE__);
    switch (fp_iParamID) {
    case GUIPARAM_FACTORACTION_TIME:
        return CGUIValue(m_fFactorTime);
    case GUIPARAM_FACTORACTION_LOOPED:
        return CGUIValue(m_bFactorLooped);
    case GUIPARAM_RANDOMACTION_MINTIME:
        return CGUIValue(m_fRandomMinTime);
    case GUIPARAM_RANDOMACTION_MAXTIME:
        return CGUIValue(m_fRandomMaxTime);
    case GUIPARAM_ON_PERMANENTACTION:
        return m_OnPermanent.Get();
    case GUIPARAM_ON_FACTORACTION:
        return m_OnFactor.Get();
    case GUIPARAM_ON_RANDOMACTION:
        return m_OnRandom.Get();
    default:
        return CGUIElement::GetParam(fp_iParamID);
    }
}

void CGUITimer::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(338, __LINE__);
    if (fp_iCommand == GUICMD_TIMER_NEWRANDOMDELAY)
        DrawRandomDelay();
    else
        CGUIElement::ExecuteCommand(fp_iCommand);
}

// A delay from mintime up to maxtime in steps of 0.1 s.
void CGUITimer::DrawRandomDelay() {
    m_fRandomElapsed = 0.0f;
    const int32_t steps = GUITruncate((m_fRandomMaxTime - m_fRandomMinTime) * 10.0f);
    m_fNextRandomDelay = steps > 0 ? m_fRandomMinTime + static_cast<float>(V2DRand() % steps) * 0.1f : m_fRandomMinTime;
}

void CGUITimer::RunFactorAction() {
    if (m_bFactorDone) return;
    m_fFactorElapsed += FrameTime();
    if (m_fFactorElapsed < m_fFactorTime) {
        m_OnFactor.FireIfSet({CGUIValue(m_fFactorElapsed / m_fFactorTime)});
    } else if (m_bFactorLooped) {
        m_fFactorElapsed = 0.0f;
        m_OnFactor.FireIfSet({CGUIValue(0.0f)});
    } else {
        m_bFactorDone = true;
    }
}

void CGUITimer::RunRandomAction() {
    m_fRandomElapsed += FrameTime();
    if (m_fRandomElapsed < m_fNextRandomDelay) return;
    m_OnRandom.FireIfSet();
    DrawRandomDelay();
}

void CGUITimer::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                       bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(338, __LINE__);
    UpdateEffectiveState(fp_ParentRect, fp_ParentColor, fp_bParentVisible, fp_bParentEnabled, fp_fShiftX,
                         fp_fShiftY);
    if (!m_bEffEnabled) return;
    m_OnPermanent.FireIfSet();
    RunFactorAction();
    RunRandomAction();
}
