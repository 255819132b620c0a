// A push button: normal, selected (hovered, or pressed and dragged off) and
// pressed states with their own textures and child tints, a clickable area
// of its own, press-on-release, hold repeat, sounds and a hot key.
#pragma once

#include "v2dgui_stdclass_advtile.h"

class CGUIButton : public CGUIAdvTile {
public:
    enum Param : int32_t {
        PARAM_ON_ENABLE = 27,
        PARAM_ON_DISABLE = 28,
        PARAM_ACTIVERECT = 56,
        PARAM_TEXTURE_NORMAL = 63,  // ... disabled, selected, pressed: 64 to 66
        PARAM_CHILDSCOLOR_NORMAL = 67,  // ... disabled, selected, pressed: 68 to 70
        PARAM_ON_PRESS = 71,
        PARAM_ON_HOLD = 72,
        PARAM_SOUND_PRESS = 73,
        PARAM_SOUND_CLICK = 74,
        PARAM_SOUND_GOTFOCUS = 75,
        PARAM_SOUND_LOSTFOCUS = 76,
        PARAM_SOUND_HOTKEY = 77,
        PARAM_HOLDTIME_START = 78,
        PARAM_HOLDTIME_INTERVAL = 79,
    };
    enum State : int32_t {
        STATE_NORMAL = 1,
        STATE_SELECTED = 2,
        STATE_PRESSED = 3,
    };

    explicit CGUIButton(const std::string& fp_strID) : CGUIAdvTile(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIButton(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    int32_t GetState() const { return m_iState; }
    const GUIRECT& GetEffectiveActiveRect() const { return m_EffActiveRect; }

protected:
    // The four looks, in the order of their parameters.
    enum Look { LOOK_NORMAL = 0, LOOK_DISABLED = 1, LOOK_SELECTED = 2, LOOK_PRESSED = 3, LOOK_COUNT = 4 };

    // What the check box changes of the button's behaviour.
    virtual bool TakesInput() const { return true; }
    virtual void ReleasedOver();
    virtual bool Repeats() const { return m_OnHold.IsSet(); }
    virtual int32_t LookTexture(Look fp_Look) const;
    virtual const GUICOLOR& LookChildColor(Look fp_Look) const { return m_ChildColors[fp_Look]; }

    Look CurrentLook() const;
    // A state texture when the look's own set is in use (falling back to
    // its normal texture), else the element's plain texture.
    int32_t PickTexture(const int32_t (&fp_Textures)[LOOK_COUNT], Look fp_Look) const;

    int32_t m_iTextures[LOOK_COUNT] = {-1, -1, -1, -1};
    GUICOLOR m_ChildColors[LOOK_COUNT];

private:
    void RunEvents();
    void RunHold();
    void StopHold();

    GUIRECT m_ActiveRect;
    GUIRECT m_EffActiveRect;
    CGUIAction m_OnPress;
    CGUIAction m_OnHold;
    CGUIAction m_OnEnable;
    CGUIAction m_OnDisable;
    int32_t m_iSoundPress = -1;
    int32_t m_iSoundClick = -1;
    int32_t m_iSoundGotFocus = -1;
    int32_t m_iSoundLostFocus = -1;
    int32_t m_iSoundHotkey = -1;
    float m_fHoldStart = 0.5f;
    float m_fHoldInterval = 0.1f;
    int32_t m_iState = STATE_NORMAL;
    int32_t m_iPrevState = STATE_NORMAL;
    bool m_bPressed = false;
    float m_fHoldTimer = 0.0f;
    bool m_bRepeating = false;
    GUICOLOR m_ChildrenColor;
};
