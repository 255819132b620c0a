#include "v2dgui_stdclass_animtile.h"

#include <algorithm>
#include <cmath>

#include "cvelmor.h"

namespace {

const char* const kFile = "v2dgui_stdclass_animtile";

// Shortest cycle accepted: a cycle of 0 would never end its wrap-around.
const float kMinCycleTime = 0.001f;

float Bezier(float p, float q, float r, float f) { return (1.0f - f) * (1.0f - f) * p + 2.0f * f * (1.0f - f) * q + f * f * r; }

GUICOLOR Bezier(const GUICOLOR& p, const GUICOLOR& q, const GUICOLOR& r, float f) {
    return {Bezier(p.r, q.r, r.r, f), Bezier(p.g, q.g, r.g, f), Bezier(p.b, q.b, r.b, f), Bezier(p.a, q.a, r.a, f)};
}

GUIPOINT Bezier(const GUIPOINT& p, const GUIPOINT& q, const GUIPOINT& r, float f) {
    return {Bezier(p.x, q.x, r.x, f), Bezier(p.y, q.y, r.y, f)};
}

}  // namespace

void CGUIAnimTile::SetParam(int32_t fp_iParamID, const CGUIValue& fp_Value) {
    SetCheckpoint(322, __LINE__);
    switch (fp_iParamID) {
    case PARAM_COLOR_BEGIN:
        m_ColorBegin = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_COLOR_MIDDLE:
        m_ColorMiddle = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_COLOR_END:
        m_ColorEnd = GUICOLOR::FromRect(fp_Value.GetRect());
        break;
    case PARAM_LOCATION_BEGIN:
        m_LocationBegin = fp_Value.GetPoint();
        break;
    case PARAM_LOCATION_MIDDLE:
        m_LocationMiddle = fp_Value.GetPoint();
        break;
    case PARAM_LOCATION_END:
        m_LocationEnd = fp_Value.GetPoint();
        break;
    case PARAM_LOCATION_CENTER:
        m_LocationCenter = fp_Value.GetPoint();
        break;
    case PARAM_SCALE_BEGIN:
        m_fScaleBegin = fp_Value.GetFloat();
        break;
    case PARAM_SCALE_MIDDLE:
        m_fScaleMiddle = fp_Value.GetFloat();
        break;
    case PARAM_SCALE_END:
        m_fScaleEnd = fp_Value.GetFloat();
        break;
    case PARAM_ANGLE_BEGIN:
        m_fAngleBegin = fp_Value.GetFloat();
        break;
    case PARAM_ANGLE_MIDDLE:
        m_fAngleMiddle = fp_Value.GetFloat();
        break;
    case PARAM_ANGLE_END:
        m_fAngleEnd = fp_Value.GetFloat();
        break;
    case PARAM_ENUM_FRAMES:
        SetFrames(fp_Value.GetEnum());
        break;
    case PARAM_TIME_ANIMCYCLE:
        m_fCycleTime = std::max(kMinCycleTime, fp_Value.GetFloat());
        break;
    case PARAM_LOOPED:
        m_bLooped = fp_Value.GetBoolean();
        break;
    case PARAM_NOPARENTENABLED:
        m_bNoParentEnabled = fp_Value.GetBoolean();
        break;
    default:
        CGUITile::SetParam(fp_iParamID, fp_Value);
    }
}

// Every frame must name a texture; nothing changes when one does not.
void CGUIAnimTile::SetFrames(CGUIEnum* fp_pFrames) {
    if (fp_pFrames == nullptr) throw CEHSException(EHS_TYPE_GENERAL, 0, "CGUIEnum pointer is NULL!", kFile, __LINE__);
    std::vector<int32_t> frames;
    for (int32_t i = 0; i < fp_pFrames->GetCount(); ++i) {
        const int32_t texture = Engine().GetTextureID(fp_pFrames->GetValue(i));
        if (texture < 0) throw CEHSException(EHS_TYPE_GENERAL, 0, "Invalid texture ID!", kFile, __LINE__);
        frames.push_back(texture);
    }
    m_pFramesEnum = fp_pFrames;
    m_frames = std::move(frames);
    // Set by an action between this frame's update and draw, the list may
    // be shorter than the frame the update chose.
    m_iFrame = std::min(m_iFrame, std::max(static_cast<int32_t>(m_frames.size()) - 1, 0));
}

CGUIValue CGUIAnimTile::GetParam(int32_t fp_iParamID) {
    SetCheckpoint(322, __LINE__);
    switch (fp_iParamID) {
    case PARAM_COLOR_BEGIN:
        return CGUIValue(m_ColorBegin.ToRect());
    case PARAM_COLOR_MIDDLE:
        return CGUIValue(m_ColorMiddle.ToRect());
    case PARAM_COLOR_END:
        return CGUIValue(m_ColorEnd.ToRect());
    case PARAM_LOCATION_BEGIN:
        return CGUIValue(m_LocationBegin);
    case PARAM_LOCATION_MIDDLE:
        return CGUIValue(m_LocationMiddle);
    case PARAM_LOCATION_END:
        return CGUIValue(m_LocationEnd);
    case PARAM_LOCATION_CENTER:
        return CGUIValue(m_LocationCenter);
    case PARAM_SCALE_BEGIN:
        return CGUIValue(m_fScaleBegin);
    case PARAM_SCALE_MIDDLE:
        return CGUIValue(m_fScaleMiddle);
    case PARAM_SCALE_END:
        return CGUIValue(m_fScaleEnd);
    case PARAM_ANGLE_BEGIN:
        return CGUIValue(m_fAngleBegin);
    case PARAM_ANGLE_MIDDLE:
        return CGUIValue(m_fAngleMiddle);
    case PARAM_ANGLE_END:
        return CGUIValue(m_fAngleEnd);
    case PARAM_ENUM_FRAMES:
        return CGUIValue(m_pFramesEnum);
    case PARAM_TIME_ANIMCYCLE:
        return CGUIValue(m_fCycleTime);
    case PARAM_LOOPED:
        return CGUIValue(m_bLooped);
    case PARAM_NOPARENTENABLED:
        return CGUIValue(m_bNoParentEnabled);
    default:
        return CGUITile::GetParam(fp_iParamID);
    }
}

void CGUIAnimTile::ExecuteCommand(int32_t fp_iCommand) {
    SetCheckpoint(322, __LINE__);
    switch (fp_iCommand) {
    case GUICMD_ENABLE:
        m_bEnabled = true;
        m_bPlayOnce = false;
        break;
    case GUICMD_PLAYONCE_UNLESS_PLAYING:
        if (m_bPlayOnce) break;
        [[fallthrough]];
    case GUICMD_PLAYONCE:
        m_bPlayOnce = true;
        m_bEnabled = true;
        m_bVisible = true;
        break;
    default:
        CGUITile::ExecuteCommand(fp_iCommand);
    }
}

void CGUIAnimTile::AdvanceTime() {
    if (m_bEffEnabled) m_fTime += FrameTime();
    if (m_fTime < m_fCycleTime) return;
    if (m_bPlayOnce) {
        m_fTime = 0.0f;
        m_bEnabled = false;
        m_bVisible = false;
        m_bPlayOnce = false;
        m_bEffEnabled = false;
        m_bEffVisible = false;
    } else if (m_bLooped) {
        m_fTime = std::fmod(m_fTime, m_fCycleTime);
    } else {
        m_fTime = m_fCycleTime - 0.0001f;
    }
}

void CGUIAnimTile::Update(const GUIRECT& fp_ParentRect, const GUICOLOR& fp_ParentColor, bool fp_bParentVisible,
                          bool fp_bParentEnabled, float fp_fShiftX, float fp_fShiftY) {
    SetCheckpoint(322, __LINE__);
    m_bEffVisible = m_bVisible && fp_bParentVisible && !m_frames.empty();
    m_bEffEnabled = m_bEnabled && (m_bNoParentEnabled || fp_bParentEnabled);
    AdvanceTime();

    const float f = m_fTime / m_fCycleTime;
    m_EffColor = fp_ParentColor * Bezier(m_ColorBegin, m_ColorMiddle, m_ColorEnd, f);
    const GUIPOINT location = Bezier(m_LocationBegin, m_LocationMiddle, m_LocationEnd, f);
    m_EffRect = {fp_ParentRect.x + location.x - fp_fShiftX, fp_ParentRect.y + location.y - fp_fShiftY, m_Coords.w,
                 m_Coords.h};
    m_RotationCenter = {m_LocationCenter.x + m_EffRect.x, m_LocationCenter.y + m_EffRect.y};
    m_fScale = Bezier(m_fScaleBegin, m_fScaleMiddle, m_fScaleEnd, f);
    m_fAngle = Bezier(m_fAngleBegin, m_fAngleMiddle, m_fAngleEnd, f);
    const int32_t count = static_cast<int32_t>(m_frames.size());
    m_iFrame = count == 0 ? 0 : std::clamp(GUITruncate(f * static_cast<float>(count)), 0, count - 1);
    ProbeTip();
    UpdateChildren();
}

void CGUIAnimTile::Draw() {
    SetCheckpoint(322, __LINE__);
    if (!m_bEffVisible || m_frames.empty()) return;
    ApplyLook(m_frames[static_cast<size_t>(m_iFrame)]);
    if (m_iDrawScheme == 1) {
        CVelmor& engine = Engine();
        engine.VQuadSetTexCoords(1, m_TexCoords.x, m_TexCoords.y, m_TexCoords.w, m_TexCoords.h);
        engine.VQuadSetPos(m_EffRect.x, m_EffRect.y, m_EffRect.w, m_EffRect.h, 0.5f);
        if (m_fScale != 1.0f) engine.VQuadScale(m_RotationCenter.x, m_RotationCenter.y, m_fScale);
        if (m_fAngle != 0.0f) engine.VQuadRotate(m_RotationCenter.x, m_RotationCenter.y, m_fAngle);
        engine.SceneRender();
    } else {
        DrawScheme(m_EffRect);
    }
    DrawChildren();
}
