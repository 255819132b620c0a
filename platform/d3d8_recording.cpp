#include "d3d8_recording.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace vd3d {

namespace {

class RecordingDirect3D final : public Direct3DBase {
public:
    explicit RecordingDirect3D(std::shared_ptr<RecordingControl> control) : m_control(std::move(control)) {
        m_adapter = m_control->adapter;
    }

protected:
    HRESULT Hook(const char* call) override {
        auto failure = m_control->failures.find(call);
        return failure == m_control->failures.end() ? D3D_OK : failure->second;
    }

    HRESULT NewDevice(platform::GameWindow* focusWindow, const D3DPRESENT_PARAMETERS& params,
                      IDirect3DDevice8** device) override {
        (void)focusWindow;
        *device = new RecordingDevice(*this, params, m_control);
        return D3D_OK;
    }

private:
    std::shared_ptr<RecordingControl> m_control;
};

}  // namespace

AdapterInfo RecordingControl::TypicalAdapter() {
    AdapterInfo adapter;
    adapter.identifier.Driver = "nv4_disp.dll";
    adapter.identifier.Description = "NVIDIA GeForce4 Ti 4200";
    adapter.identifier.VendorId = 0x10DE;
    adapter.identifier.DeviceId = 0x0253;
    adapter.desktop = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    adapter.modes = {
        {640, 480, 60, D3DFMT_R5G6B5},   {640, 480, 60, D3DFMT_X8R8G8B8},  {800, 600, 60, D3DFMT_R5G6B5},
        {800, 600, 75, D3DFMT_R5G6B5},   {800, 600, 60, D3DFMT_X8R8G8B8},  {800, 600, 75, D3DFMT_X8R8G8B8},
        {1024, 768, 60, D3DFMT_R5G6B5},  {1024, 768, 60, D3DFMT_X8R8G8B8},
    };
    D3DCAPS8& caps = adapter.caps;
    caps.Caps2 = D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_FULLSCREENGAMMA;
    caps.RasterCaps = D3DPRASTERCAPS_FOGVERTEX;
    caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_MIRROR;
    caps.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                         D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_DOTPRODUCT3;
    caps.MaxTextureWidth = 2048;
    caps.MaxTextureHeight = 2048;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 4;
    const std::set<D3DFORMAT> textures = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                          D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_DXT1,   D3DFMT_DXT3,
                                          D3DFMT_DXT5};
    adapter.textureUsable = [textures](D3DFORMAT, D3DFORMAT texture) { return textures.count(texture) > 0; };
    return adapter;
}

RecordingDevice::RecordingDevice(Direct3DBase& d3d, const D3DPRESENT_PARAMETERS& params,
                                 std::shared_ptr<RecordingControl> control)
    : DeviceBase(d3d, params), m_control(std::move(control)) {
    backBuffer.assign(static_cast<size_t>(params.BackBufferWidth) * params.BackBufferHeight, 0xFF000000u);
    frontBuffer = backBuffer;
    m_control->device = this;
}

RecordingDevice::~RecordingDevice() {
    if (m_control->device == this) m_control->device = nullptr;
}

bool RecordingDevice::OnRequestVsync(bool wanted) {
    m_control->vsyncRequests.push_back(wanted);
    return wanted && m_control->grantVsync;
}

HRESULT RecordingDevice::Hook(const char* call, uint32_t argument) {
    calls.push_back(RecordedCall{call, argument});
    auto failure = m_control->failures.find(call);
    return failure == m_control->failures.end() ? D3D_OK : failure->second;
}

int RecordingDevice::CountCalls(const std::string& name) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&name](const RecordedCall& c) { return c.name == name; }));
}

HRESULT RecordingDevice::OnReset(const D3DPRESENT_PARAMETERS& params) {
    backBuffer.assign(static_cast<size_t>(params.BackBufferWidth) * params.BackBufferHeight, 0xFF000000u);
    frontBuffer = backBuffer;
    return D3D_OK;
}

void RecordingDevice::OnClear(const D3DRECT& rect, uint32_t color) {
    const int32_t width = static_cast<int32_t>(m_params.BackBufferWidth);
    for (int32_t y = rect.y1; y < rect.y2; ++y)
        std::fill(backBuffer.begin() + y * width + rect.x1, backBuffer.begin() + y * width + rect.x2, color);
}

void RecordingDevice::OnDraw(const DrawCall& call) {
    RecordedDraw draw;
    draw.call = call;
    draw.stride = m_state.stride;
    draw.vertexFormat = m_state.vertexFormat;
    const uint8_t* vertices = m_state.stream->Bytes() + (m_state.baseVertexIndex + call.minIndex) * m_state.stride;
    draw.vertices.assign(vertices, vertices + call.numVertices * m_state.stride);
    const uint16_t* indices = reinterpret_cast<const uint16_t*>(m_state.indices->Bytes()) + call.startIndex;
    draw.indices.assign(indices, indices + call.primCount * 3);
    std::memcpy(draw.renderStates, m_state.renderStates, sizeof(draw.renderStates));
    std::memcpy(draw.stageStates, m_state.stageStates, sizeof(draw.stageStates));
    for (uint32_t stage = 0; stage < kMaxTextureStages; ++stage) draw.textures[stage] = m_state.textures[stage];
    draw.viewport = m_state.viewport;
    draws.push_back(std::move(draw));
}

void RecordingDevice::OnReadFrontBuffer(uint8_t* pixels, uint32_t pitch) {
    const uint32_t width = m_params.BackBufferWidth;
    for (uint32_t y = 0; y < m_params.BackBufferHeight; ++y)
        std::memcpy(pixels + y * pitch, frontBuffer.data() + y * width, width * 4);
}

std::shared_ptr<RecordingControl> InstallRecordingDirect3D(AdapterInfo adapter) {
    auto control = std::make_shared<RecordingControl>();
    control->adapter = std::move(adapter);
    SetDirect3DFactory([control]() -> IDirect3D8* {
        if (control->refuseCreate) return nullptr;
        return new RecordingDirect3D(control);
    });
    return control;
}

}  // namespace vd3d
