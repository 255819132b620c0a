// Scene control: each frame is begun, cleared, drawn, ended and presented.
#include "cvelmor.h"

using namespace vd3d;

namespace {
const char* const kFile = "cvelmor_gfx_scene";
}

void CVelmor::GfxRequireDevice(const char* file, uint32_t line) const {
    if (!m_pD3DDevice) throw CEHSException(EHS_TYPE_GENERAL, 0, "D3DDevice object was not created!", file, line);
}

// The device's own answers are not checked: a lost device is dealt with
// before the frame, by GfxCheckDevice.
void CVelmor::SceneBegin() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    m_pD3DDevice->BeginScene();
    BeginBatch();
}

void CVelmor::SceneEnd() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    EndBatch();
    m_pD3DDevice->EndScene();
}

void CVelmor::SceneClearScreen(float r, float g, float b) {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    const uint32_t color = D3DCOLOR_ARGB(255, V2DColorChannel(r), V2DColorChannel(g), V2DColorChannel(b));
    m_pD3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, color, 0.0f, 0);
}

void CVelmor::ScenePresent() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    m_pD3DDevice->Present(nullptr, nullptr, nullptr, nullptr);
}
