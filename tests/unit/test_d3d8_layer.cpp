// The Direct3D-shaped device layer itself, on the recording backend:
// reference counts, buffers, argument checks and the lost-device protocol
// that the engine relies on.
#include <gtest/gtest.h>

#include "d3d8_recording.h"
#include "window_headless.h"

using namespace vd3d;

namespace {

constexpr uint32_t kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

class D3D8LayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        control = InstallRecordingDirect3D();
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        params.BackBufferWidth = 64;
        params.BackBufferHeight = 32;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_FLIP;
        params.hDeviceWindow = &window;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  D3D_OK);
        recording = RecordingDevice::Of(device);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        EXPECT_EQ(d3d->Release(), 0u);
        SetDirect3DFactory(nullptr);
    }

    // Six indices per quad, like the engine's.
    IDirect3DIndexBuffer8* QuadIndices(uint32_t quads) {
        IDirect3DIndexBuffer8* ib = nullptr;
        EXPECT_EQ(device->CreateIndexBuffer(quads * 12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib),
                  D3D_OK);
        uint8_t* bytes = nullptr;
        EXPECT_EQ(ib->Lock(0, 0, &bytes, 0), D3D_OK);
        uint16_t* i = reinterpret_cast<uint16_t*>(bytes);
        for (uint16_t q = 0; q < quads; ++q) {
            const uint16_t v = static_cast<uint16_t>(q * 4);
            const uint16_t six[6] = {v, uint16_t(v + 1), uint16_t(v + 2), v, uint16_t(v + 2), uint16_t(v + 3)};
            std::copy(six, six + 6, i + q * 6);
        }
        EXPECT_EQ(ib->Unlock(), D3D_OK);
        return ib;
    }

    platform::HeadlessWindow window;
    std::shared_ptr<RecordingControl> control;
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    RecordingDevice* recording = nullptr;
    D3DPRESENT_PARAMETERS params;
};

TEST_F(D3D8LayerTest, OnlySdkVersion120GivesAnObject) {
    EXPECT_EQ(Direct3DCreate8(220), nullptr);
    control->refuseCreate = true;
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
}

TEST_F(D3D8LayerTest, ReleaseCountsAndWhoHoldsWhom) {
    // The device holds the API object; a buffer holds the device.
    EXPECT_EQ(d3d->AddRef(), 3u);
    EXPECT_EQ(d3d->Release(), 2u);
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(400, D3DUSAGE_DYNAMIC, kFvf, D3DPOOL_DEFAULT, &vb), D3D_OK);
    EXPECT_EQ(device->AddRef(), 3u);
    EXPECT_EQ(device->Release(), 2u);
    EXPECT_EQ(vb->AddRef(), 2u);
    EXPECT_EQ(vb->Release(), 1u);

    // A bound buffer outlives the program's last reference; it goes when
    // the device lets go of it.
    ASSERT_EQ(device->SetStreamSource(0, vb, 40), D3D_OK);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(recording->State().stream, vb);
    EXPECT_EQ(device->AddRef(), 2u) << "the released buffer gave its device reference back";
    device->Release();

    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    // A leaked texture keeps the device (and so the API object) alive.
    EXPECT_EQ(device->Release(), 1u);
    EXPECT_EQ(texture->Release(), 0u);
    device = nullptr;  // that was the last reference
    EXPECT_EQ(control->device, nullptr);
}

TEST_F(D3D8LayerTest, ResetNeedsTheDefaultPoolEmptyAndRestoresDefaults) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(400, D3DUSAGE_DYNAMIC, kFvf, D3DPOOL_DEFAULT, &vb), D3D_OK);
    IDirect3DIndexBuffer8* ib = QuadIndices(1);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetIndices(ib, 0);
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL) << "a default-pool buffer is still alive";
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(device->Reset(&params), D3D_OK) << "managed buffers survive a reset";
    uint32_t value = 0;
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 1u);
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<uint32_t>(D3DTOP_DISABLE));
    device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(recording->State().indices, nullptr);
    EXPECT_EQ(recording->State().vertexFormat, 0u);
    EXPECT_EQ(ib->Release(), 0u);
}

TEST_F(D3D8LayerTest, LostDeviceCycle) {
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    recording->LoseDevice();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&params), D3DERR_DEVICELOST) << "not before the window is back";
    // Drawing calls go on quietly while lost.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 0.0f, 0), D3D_OK);
    EXPECT_EQ(recording->backBuffer[0], 0xFF000000u);
    recording->RestoreWindow();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    recording->RestoreWindow();
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK) << "a usable device stays usable";
}

TEST_F(D3D8LayerTest, BuffersLockOnceAndWithinTheirLength) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(400, D3DUSAGE_DYNAMIC, kFvf, D3DPOOL_DEFAULT, &vb), D3D_OK);
    uint8_t* bytes = nullptr;
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 401, &bytes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(399, 2, &bytes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(40, 40, &bytes, D3DLOCK_DISCARD), D3D_OK);
    uint8_t* again = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &again, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
    vb->Release();
}

TEST_F(D3D8LayerTest, DrawsAreCheckedAndRecorded) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * 40, D3DUSAGE_DYNAMIC, kFvf, D3DPOOL_DEFAULT, &vb), D3D_OK);
    IDirect3DIndexBuffer8* ib = QuadIndices(2);
    EXPECT_EQ(device->SetVertexShader(0x42), D3DERR_INVALIDCALL) << "only the engine's vertex format";
    ASSERT_EQ(device->SetVertexShader(kFvf), D3D_OK);
    device->SetStreamSource(0, vb, 40);
    device->SetIndices(ib, 0);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
    device->BeginScene();
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    uint8_t* bytes = nullptr;
    vb->Lock(0, 0, &bytes, D3DLOCK_DISCARD);
    bytes[40 * 4] = 0x7F;  // first byte of vertex 4
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 0, 4), D3DERR_INVALIDCALL) << "locked";
    vb->Unlock();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 0, 5), D3DERR_INVALIDCALL) << "past the indices";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 9, 0, 4), D3DERR_INVALIDCALL) << "past the vertices";
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 4, 6, 2), D3D_OK);
    device->EndScene();
    ASSERT_EQ(recording->draws.size(), 1u);
    const RecordedDraw& draw = recording->draws[0];
    EXPECT_EQ(draw.vertices.size(), 160u);
    EXPECT_EQ(draw.vertices[0], 0x7F) << "vertices from minIndex on";
    EXPECT_EQ(draw.indices, (std::vector<uint16_t>{4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(draw.renderStates[D3DRS_ALPHABLENDENABLE], 1u);
    EXPECT_EQ(draw.stride, 40u);
    device->SetStreamSource(0, nullptr, 0);
    device->SetIndices(nullptr, 0);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);
}

TEST_F(D3D8LayerTest, ClearStaysInsideTheViewportAndPresentShowsIt) {
    D3DVIEWPORT8 outside{60, 0, 8, 32, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL) << "past the back buffer";
    D3DVIEWPORT8 viewport{8, 4, 16, 8, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.0f, 0), D3DERR_INVALIDCALL)
        << "there is no depth buffer";
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 0.0f, 0), D3D_OK);
    EXPECT_EQ(recording->backBuffer[4 * 64 + 8], 0xFF102030u);
    EXPECT_EQ(recording->backBuffer[11 * 64 + 23], 0xFF102030u);
    EXPECT_EQ(recording->backBuffer[4 * 64 + 7], 0xFF000000u);
    EXPECT_EQ(recording->backBuffer[12 * 64 + 8], 0xFF000000u);

    IDirect3DSurface8* surface = nullptr;
    ASSERT_EQ(device->CreateImageSurface(64, 32, D3DFMT_A8R8G8B8, &surface), D3D_OK);
    ASSERT_EQ(device->GetFrontBuffer(surface), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(locked.Pitch, 256);
    EXPECT_EQ(static_cast<uint8_t*>(locked.pBits)[4 * 256 + 8 * 4], 0x00) << "nothing presented yet";
    surface->UnlockRect();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    device->GetFrontBuffer(surface);
    surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    const uint8_t* pixel = static_cast<uint8_t*>(locked.pBits) + 4 * 256 + 8 * 4;
    EXPECT_EQ((std::vector<uint8_t>(pixel, pixel + 4)), (std::vector<uint8_t>{0x30, 0x20, 0x10, 0xFF}))
        << "blue, green, red, alpha";
    surface->UnlockRect();
    IDirect3DSurface8* small = nullptr;
    device->CreateImageSurface(32, 32, D3DFMT_A8R8G8B8, &small);
    EXPECT_EQ(device->GetFrontBuffer(small), D3DERR_INVALIDCALL);
    small->Release();
    surface->Release();
}

TEST_F(D3D8LayerTest, TexturesHaveTheirMipChainsAndPitches) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 7u) << "64, 32, 16, 8, 4, 2, 1";
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(3, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 2u);
    D3DLOCKED_RECT locked;
    RECT rect{4, 2, 8, 4};
    ASSERT_EQ(texture->LockRect(0, &locked, &rect, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 128);
    texture->UnlockRect(0);
    texture->Release();

    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3D_OK);
    texture->LockRect(0, &locked, nullptr, 0);
    EXPECT_EQ(locked.Pitch, 32) << "four blocks of 8 bytes per row of blocks";
    texture->UnlockRect(0);
    texture->Release();

    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL)
        << "a format the card does not offer";
    EXPECT_EQ(device->CreateTexture(4096, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL)
        << "wider than the card allows";
}

TEST_F(D3D8LayerTest, FormatChecksKnowTheDisplayFormats) {
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A4R4G4B4, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_UNKNOWN, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
    D3DDISPLAYMODE mode;
    EXPECT_EQ(d3d->EnumAdapterModes(0, d3d->GetAdapterModeCount(0), &mode), D3DERR_INVALIDCALL);
}

}  // namespace
