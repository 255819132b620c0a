// A Direct3D-shaped device with no GPU, for tests and benchmarks: the adapter
// is scripted, every state is kept, each draw is recorded with its vertices,
// indices and the states in force, any checked call can be made to fail, and
// the device can be lost on demand. Clears fill a back buffer of pixels and
// Present copies it to the front buffer, so front-buffer reads have content.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "d3d8_device.h"

namespace vd3d {

struct RecordedCall {
    std::string name;
    uint32_t argument;
};

struct RecordedDraw {
    DrawCall call;
    uint32_t stride;
    uint32_t vertexFormat;
    // Vertices from index baseVertexIndex + minIndex on, numVertices of them.
    std::vector<uint8_t> vertices;
    // primCount * 3 indices from startIndex on.
    std::vector<uint16_t> indices;
    uint32_t renderStates[kRenderStateCount];
    uint32_t stageStates[kMaxTextureStages][kStageStateCount];
    const IDirect3DBaseTexture8* textures[kMaxTextureStages];
    D3DVIEWPORT8 viewport;
};

class RecordingDevice;

// Shared by the test, the API object and its device.
struct RecordingControl {
    AdapterInfo adapter;
    // Call name ("CreateDevice", "VertexBuffer::Lock", "Reset", ...) to the
    // result it fails with from now on.
    std::map<std::string, HRESULT> failures;
    // Direct3DCreate8 yields nothing while set.
    bool refuseCreate = false;
    // The device open now, if any.
    RecordingDevice* device = nullptr;
    // Whether the system grants vsync when a device asks for it, and what the
    // devices asked (true: vsync wanted, false: not), in order.
    bool grantVsync = false;
    std::vector<bool> vsyncRequests;

    // A card of its time: 16- and 32-bit modes at 640x480, 800x600 (two
    // refresh rates) and 1024x768, a 1024x768 32-bit desktop, the common
    // texture formats, every feature the engine asks about.
    static AdapterInfo TypicalAdapter();
};

class RecordingDevice final : public DeviceBase {
public:
    RecordingDevice(Direct3DBase& d3d, const D3DPRESENT_PARAMETERS& params, std::shared_ptr<RecordingControl> control);
    ~RecordingDevice() override;

    static RecordingDevice* Of(IDirect3DDevice8* device) { return dynamic_cast<RecordingDevice*>(device); }

    HRESULT Hook(const char* call, uint32_t argument) override;

    // The window went away / came back.
    void LoseDevice() { MarkLost(); }
    void RestoreWindow() { MarkResettable(); }

    int CountCalls(const std::string& name) const;
    void ClearRecords() {
        calls.clear();
        draws.clear();
    }

    std::vector<RecordedCall> calls;
    std::vector<RecordedDraw> draws;
    uint32_t presents = 0;
    // A8R8G8B8 pixels, top row first.
    std::vector<uint32_t> backBuffer;
    std::vector<uint32_t> frontBuffer;

protected:
    HRESULT OnReset(const D3DPRESENT_PARAMETERS& params) override;
    void OnClear(const D3DRECT& rect, uint32_t color) override;
    void OnDraw(const DrawCall& call) override;
    void OnPresent() override { frontBuffer = backBuffer; }
    bool OnRequestVsync(bool wanted) override;
    void OnReadFrontBuffer(uint8_t* pixels, uint32_t pitch) override;

private:
    std::shared_ptr<RecordingControl> m_control;
};

// Makes Direct3DCreate8 build recording objects on `adapter` and returns
// the control they share.
std::shared_ptr<RecordingControl> InstallRecordingDirect3D(AdapterInfo adapter = RecordingControl::TypicalAdapter());

}  // namespace vd3d
