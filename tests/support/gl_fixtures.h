// Tests on a real X server (xvfb-run, Mesa): the engine on the OpenGL device
// and the SDL window system, on the headless clock and message queue, and
// the last presented frame read back.
#pragma once

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "cvelmor.h"
#include "d3d8.h"
#include "test_support.h"
#include "window.h"

namespace gltest {

// The last presented frame, top row first, 0xAARRGGBB.
inline std::vector<uint32_t> FrontBuffer(vd3d::IDirect3DDevice8* device, uint32_t width = 800,
                                         uint32_t height = 600) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    vd3d::IDirect3DSurface8* surface = nullptr;
    EXPECT_EQ(device->CreateImageSurface(width, height, vd3d::D3DFMT_A8R8G8B8, &surface), vd3d::D3D_OK);
    EXPECT_EQ(device->GetFrontBuffer(surface), vd3d::D3D_OK);
    vd3d::D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, vd3d::D3DLOCK_READONLY), vd3d::D3D_OK);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(&pixels[y * width], static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, width * 4);
    surface->UnlockRect();
    surface->Release();
    return pixels;
}

class GlEngineTest : public EngineTest {
protected:
    void SetUp() override {
        VELMOR_REQUIRE_DISPLAY();
        EngineTest::SetUp();
        m_started = true;
        vd3d::SetDirect3DFactory(nullptr);
        platform::SetWindowSystem(nullptr);
    }
    void TearDown() override {
        if (!m_started) return;
        engine.reset();
        EngineTest::TearDown();
    }

    // The engine at 800x600, windowed on the desktop by default (mode 3);
    // mode 2 is full screen.
    void StartEngine(int32_t mode = 3, bool windowed = true) {
        engine = std::make_unique<CVelmor>();
        engine->SetAppInfo("Quble", "v. 1.0");
        engine->GfxPreinit(800, 600);
        engine->GfxInit(mode, windowed);
        ASSERT_TRUE(engine->GfxDeviceExists());
    }

    void Frame(float r, float g, float b, const std::function<void()>& draw) {
        engine->SceneBegin();
        engine->SceneClearScreen(r, g, b);
        draw();
        engine->SceneEnd();
        engine->ScenePresent();
    }

    std::unique_ptr<CVelmor> engine;

private:
    bool m_started = false;
};

}  // namespace gltest
