// An invisible element that fires actions over time: every update, with a
// factor running from 0 to 1 over a period, and after random delays.
#pragma once

#include "v2dgui_cguielement_main.h"

enum V2DGUITimerParam {
    GUIPARAM_FACTORACTION_TIME = 116,
    GUIPARAM_FACTORACTION_LOOPED = 117,
    GUIPARAM_RANDOMACTION_MINTIME = 118,
    GUIPARAM_RANDOMACTION_MAXTIME = 119,
    GUIPARAM_ON_PERMANENTACTION = 120,
    GUIPARAM_ON_FACTORACTION = 121,
    GUIPARAM_ON_RANDOMACTION = 122,
};

enum V2DGUITimerCommand {
    GUICMD_TIMER_NEWRANDOMDELAY = 13,
};

class CGUITimer : public CGUIElement {
public:
    explicit CGUITimer(const std::string& fp_strID);
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUITimer(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;

    float GetNextRandomDelay() const { return m_fNextRandomDelay; }

private:
    void RunFactorAction();
    void RunRandomAction();
    void DrawRandomDelay();

    float m_fFactorTime = 1.0f;
    bool m_bFactorLooped = false;
    float m_fRandomMinTime = 1.0f;
    float m_fRandomMaxTime = 1.0f;
    CGUIAction m_OnPermanent;
    CGUIAction m_OnFactor;
    CGUIAction m_OnRandom;
    float m_fFactorElapsed = 0.0f;
    bool m_bFactorDone = false;
    float m_fRandomElapsed = 0.0f;
    float m_fNextRandomDelay = 1.0f;
};
