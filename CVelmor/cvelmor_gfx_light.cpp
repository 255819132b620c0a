// Dynamic lights: point lights that colour the quad under construction per
// vertex (vertex mode), or write the direction to one light into the
// vertices' specular colours for a normal-map texture stage (Dot3 mode).
// The current technique chooses the mode.
#include <cmath>
#include <new>

#include "cvelmor.h"
#include "d3dx8.h"

using namespace vd3d;

namespace {

const char* const kFile = "cvelmor_gfx_light";

}  // namespace

void CVelmor::SetDynLightMode(uint32_t fp_dwMode) {
    SetCheckpoint(124, __LINE__);
    m_gfx.dwDynLightMode = fp_dwMode;
}

int32_t CVelmor::LightAdd(const std::string& fp_strID, const V2DLIGHT& fp_Light) {
    SetCheckpoint(124, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    const int32_t existing = m_gfx.pLights->FindByName(fp_strID);
    if (existing >= 0) return existing;
    std::unique_ptr<V2DLIGHT> light(new (std::nothrow) V2DLIGHT(fp_Light));
    if (!light) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create V2DLIGHT object!", kFile, __LINE__);
    return m_gfx.pLights->Add(std::move(light), fp_strID, 0);
}

V2DLIGHT* CVelmor::GetLight(int32_t fp_iID) {
    SetCheckpoint(124, __LINE__);
    return m_gfx.pLights ? m_gfx.pLights->GetItem(fp_iID) : nullptr;
}

void CVelmor::SetDot3Light(int32_t fp_iID) {
    SetCheckpoint(124, __LINE__);
    m_gfx.iDot3Light = fp_iID;
}

// Turns differences in depth into pixels: the mean of the back buffer's
// width and height.
float CVelmor::LightDepthScale() const {
    const D3DPRESENT_PARAMETERS& params = m_gfx.presentParams;
    return static_cast<float>((params.BackBufferWidth + params.BackBufferHeight) / 2);
}

void CVelmor::ApplyVertexLighting() {
    SetCheckpoint(124, __LINE__);
    V2DVERTEXQUAD& quad = m_gfx.quad;
    float accumulated[4][3];
    for (float(&vertex)[3] : accumulated)
        for (int c = 0; c < 3; ++c) vertex[c] = m_gfx.dynLightAmbient[c];
    const float depthScale = LightDepthScale();
    for (int32_t id = 0; id < m_gfx.pLights->GetCount(); ++id) {
        const V2DLIGHT* light = m_gfx.pLights->GetItem(id);
        if (!light || !light->Enabled) continue;
        for (int v = 0; v < 4; ++v) {
            const V2DVERTEX& vertex = quad.vertices[v];
            const float dx = vertex.x - light->X, dy = vertex.y - light->Y;
            const float dz = (vertex.z - light->Z) * depthScale;
            const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
            float factor = 1.0f;
            if (distance > light->InnerRadius)
                factor = 1.0f - (distance - light->InnerRadius) / (light->OuterRadius - light->InnerRadius);
            if (!(factor > 0.0f)) continue;
            accumulated[v][0] += light->Red * factor;
            accumulated[v][1] += light->Green * factor;
            accumulated[v][2] += light->Blue * factor;
        }
    }
    for (int v = 0; v < 4; ++v) {
        quad.vertices[v].diffuse =
            D3DCOLOR_ARGB(V2DColorChannel(quad.alpha[v]), V2DSpecularChannel(accumulated[v][0]),
                          V2DSpecularChannel(accumulated[v][1]), V2DSpecularChannel(accumulated[v][2]));
    }
}

void CVelmor::ApplyDot3Lighting() {
    SetCheckpoint(124, __LINE__);
    const V2DLIGHT* light = m_gfx.pLights->GetItem(m_gfx.iDot3Light);
    if (!light) throw CEHSException(EHS_TYPE_GENERAL, 0, "Wrong Dot3 light specified!", kFile, __LINE__);
    const float depthScale = LightDepthScale();
    for (V2DVERTEX& vertex : m_gfx.quad.vertices) {
        const D3DXVECTOR3 toLight = {light->X - vertex.x, light->Y - vertex.y, (light->Z - vertex.z) * depthScale};
        D3DXVECTOR3 direction;
        D3DXVec3Normalize(&direction, &toLight);
        const auto encode = [](float component) { return static_cast<uint32_t>(component * 127.0f + 128.0f); };
        vertex.specular = D3DCOLOR_ARGB(255, encode(direction.x), encode(direction.y), encode(direction.z));
    }
}

void CVelmor::ApplyLights() {
    SetCheckpoint(124, __LINE__);
    if (!m_gfx.pLights) return;
    if (m_gfx.dwDynLightMode == 1) ApplyVertexLighting();
    if (m_gfx.dwDynLightMode == 2 && m_gfx.caps.Dot3) ApplyDot3Lighting();
}
