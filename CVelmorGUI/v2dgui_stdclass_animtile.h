// An animated tile: frames from an enumeration of textures, with colour,
// position, scale and angle blended along a curve over the cycle; looped,
// held at the end, or played once and then hidden.
#pragma once

#include <vector>

#include "v2dgui_stdclass_tile.h"

enum V2DGUIAnimTileCommand {
    GUICMD_PLAYONCE = 5,
    GUICMD_PLAYONCE_UNLESS_PLAYING = 6,
};

class CGUIAnimTile : public CGUITile {
public:
    enum Param : int32_t {
        PARAM_COLOR_MIDDLE = 19,
        PARAM_LOCATION_MIDDLE = 22,
        PARAM_COLOR_BEGIN = 31,
        PARAM_COLOR_END = 32,
        PARAM_LOCATION_BEGIN = 33,
        PARAM_LOCATION_END = 34,
        PARAM_LOCATION_CENTER = 35,
        PARAM_SCALE_BEGIN = 36,
        PARAM_SCALE_MIDDLE = 37,
        PARAM_SCALE_END = 38,
        PARAM_ANGLE_BEGIN = 39,
        PARAM_ANGLE_MIDDLE = 40,
        PARAM_ANGLE_END = 41,
        PARAM_ENUM_FRAMES = 42,
        PARAM_TIME_ANIMCYCLE = 43,
        PARAM_LOOPED = 44,
        PARAM_NOPARENTENABLED = 45,
    };

    explicit CGUIAnimTile(const std::string& fp_strID) : CGUITile(fp_strID) {}
    static CGUIElement* Create(const std::string& fp_strID) { return new CGUIAnimTile(fp_strID); }

    void SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) override;
    CGUIValue GetParam(int32_t fp_iParamID) override;
    void ExecuteCommand(int32_t fp_iCommand) override;
    void Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) override;
    void Draw() override;

    float GetAnimationTime() const { return m_fTime; }
    int32_t GetFrameIndex() const { return m_iFrame; }
    bool IsPlayingOnce() const { return m_bPlayOnce; }

private:
    void SetFrames(CGUIEnum* fp_pFrames);
    void AdvanceTime();

    GUICOLOR m_ColorBegin;
    GUICOLOR m_ColorMiddle;
    GUICOLOR m_ColorEnd;
    GUIPOINT m_LocationBegin;
    GUIPOINT m_LocationMiddle;
    GUIPOINT m_LocationEnd;
    GUIPOINT m_LocationCenter;
    float m_fScaleBegin = 1.0f, m_fScaleMiddle = 1.0f, m_fScaleEnd = 1.0f;
    float m_fAngleBegin = 0.0f, m_fAngleMiddle = 0.0f, m_fAngleEnd = 0.0f;
    CGUIEnum* m_pFramesEnum = nullptr;
    std::vector<int32_t> m_frames;  // texture handles
    float m_fCycleTime = 1.0f;
    bool m_bLooped = false;
    bool m_bNoParentEnabled = false;

    float m_fTime = 0.0f;
    bool m_bPlayOnce = false;
    float m_fScale = 1.0f;
    float m_fAngle = 0.0f;
    GUIPOINT m_RotationCenter;
    int32_t m_iFrame = 0;
};
