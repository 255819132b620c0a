// Textured, coloured 16x16 quads per frame through the engine's batches:
// the CPU cost per quad on the recording device (no GPU: the engine's work
// plus the recording of each batch), then whole frames and quads per second
// on the OpenGL device in an 800x600 window with the frame cap off (run under
// xvfb-run for Mesa's software renderer, or on a desktop).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cvelmor.h"
#include "d3d8_gl.h"
#include "d3d8_recording.h"
#include "frame_pacer.h"
#include "system.h"
#include "system_headless.h"
#include "window.h"
#include "window_headless.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kQuadCounts[] = {1000, 10000, 50000};

// The edge of each quad in pixels: QUAD_SIZE from the environment, 16 unless
// given (2 leaves little to fill, so the frame shows the per-quad costs).
float QuadSize() {
    const char* text = std::getenv("QUAD_SIZE");
    const float size = text ? static_cast<float>(std::atof(text)) : 16.0f;
    return size > 0.0f ? size : 16.0f;
}

vd3d::IDirect3DTexture8* BindCheckerTexture(CVelmor& engine) {
    vd3d::IDirect3DTexture8* texture = nullptr;
    engine.m_pD3DDevice->CreateTexture(16, 16, 1, 0, vd3d::D3DFMT_A8R8G8B8, vd3d::D3DPOOL_MANAGED, &texture);
    vd3d::D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                ((x ^ y) & 4) ? 0xFFFFFFFFu : 0xFF808080u;
    texture->UnlockRect(0);
    engine.m_pD3DDevice->SetTexture(0, texture);
    return texture;
}

// Returns the seconds spent shaping, queueing and drawing the quads (the
// clear and the present excluded).
double DrawFrame(CVelmor& engine, int quads) {
    engine.SceneBegin();
    engine.SceneClearScreen(0, 0, 0);
    static const float size = QuadSize();
    const auto start = Clock::now();
    for (int i = 0; i < quads; ++i) {
        const float x = static_cast<float>((i * 16) % 800);
        const float y = static_cast<float>(((i * 16) / 800 * 16) % 600);
        engine.VQuadSetColor((i & 255) / 255.0f, 0.5f, 1.0f - (i & 255) / 255.0f, 1.0f);
        engine.VQuadSetTexCoords(1, 0, 0, 1, 1);
        engine.VQuadSetPos(x, y, size, size, 0.5f);
        engine.VQuadRender();
    }
    engine.SceneEnd();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    engine.ScenePresent();
    return seconds;
}

void BenchRecording() {
    std::printf("Recording device, CPU time per quad from the first quad to the scene's end\n"
                "(shaping, queueing, batch draws and their recording; clear and present excluded):\n");
    for (int quads : kQuadCounts) {
        platform::InstallHeadlessSystem();
        platform::InstallHeadlessWindowSystem();
        auto control = vd3d::InstallRecordingDirect3D();
        double seconds = 0;
        long long drawn = 0;
        {
            CVelmor engine;
            engine.GfxPreinit(800, 600);
            engine.GfxInit(2, false);
            vd3d::IDirect3DTexture8* texture = BindCheckerTexture(engine);
            auto* device = vd3d::RecordingDevice::Of(engine.m_pD3DDevice);
            DrawFrame(engine, quads);  // warm up
            device->ClearRecords();
            while (seconds < 1.0) {
                seconds += DrawFrame(engine, quads);
                drawn += quads;
                device->ClearRecords();
            }
            engine.m_pD3DDevice->SetTexture(0, nullptr);
            texture->Release();
        }
        std::printf("  %6d quads/frame: %7.1f ns/quad\n", quads, seconds * 1e9 / static_cast<double>(drawn));
        vd3d::SetDirect3DFactory(nullptr);
        platform::SetWindowSystem(nullptr);
    }
}

void BenchOpenGl() {
    std::printf("OpenGL device, 800x600 window, frame cap off:\n");
    if (!std::getenv("DISPLAY")) {
        std::printf("  skipped: no X display (run under xvfb-run)\n");
        return;
    }
    platform::SetSystem(platform::CreateSdlSystem());
    for (int quads : kQuadCounts) {
        CVelmor engine;
        engine.SetAppInfo("bench_gfx_quads", "");
        engine.GfxPreinit(800, 600);
        engine.GfxInit(3, true);
        vd3d::IDirect3DTexture8* texture = BindCheckerTexture(engine);
        DrawFrame(engine, quads);  // warm up: shaders, uploads
        int frames = 0;
        const auto start = Clock::now();
        double seconds = 0;
        while (seconds < 3.0 || frames < 3) {
            engine.UpdateAllSystems();
            DrawFrame(engine, quads);
            ++frames;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        std::printf("  %6d quads/frame: %8.1f frames/s, %12.0f quads/s\n", quads, frames / seconds,
                    frames * static_cast<double>(quads) / seconds);
        engine.m_pD3DDevice->SetTexture(0, nullptr);
        texture->Release();
    }
}

}  // namespace

int main() {
    std::printf("Quads of %gx%g pixels\n", QuadSize(), QuadSize());
    vd3d::SetFrameCap(false);  // as many frames as the device can draw
    vd3d::SetRepeatedFramesSkipped(false);  // each frame drawn, though all are alike
    BenchRecording();
    BenchOpenGl();
    return 0;
}
