// Scene control on the recording device: the render operation with lights
// first, the clipped viewport and its flush, the gamma ramp, screenshots
// (header bytes, row order, windowed rendering, device failures), vertex
// and Dot3 lighting.
#include <cmath>
#include <functional>

#include "gfx_fixtures.h"

using namespace gfxtest;
using namespace vd3d;

namespace {

class SceneTest : public GfxEngineTest {
protected:
    // Applies a technique that sets only the light mode and the ambient colour.
    void LightMode(const std::string& mode, const std::string& ambient = "0.2") {
        const std::string id = "TEQ_UT_" + mode + std::to_string(++m_techniques);
        LoadTechniques("<techniquespack><t id=\"" + id + "\" dynlightmode=\"" + mode +
                       "\" dynlightambientcolorr=\"" + ambient + "\" dynlightambientcolorg=\"" + ambient +
                       "\" dynlightambientcolorb=\"" + ambient + "\"/></techniquespack>");
        engine->ApplyTechnique(id);
    }

    V2DLIGHT Light(float x, float y, float inner, float outer, float r, float g, float b) {
        return V2DLIGHT{inner, outer, r, g, b, 1.0f, x, y, 0.5f, true};
    }

    // Shapes the 100x100 quad at (100, 100) with colour alpha 0.5 and
    // renders it; returns its vertices as drawn.
    std::vector<V2DVERTEX> RenderQuad() {
        engine->SceneBegin();
        engine->VQuadSetPos(100, 100, 100, 100, 0.5f);
        engine->VQuadSetColor(0.9f, 0.9f, 0.9f, 0.5f);
        engine->SceneRender();
        engine->SceneEnd();
        return Vertices(Device().draws.back());
    }

    static std::vector<uint8_t> FileBytes(const std::string& path) {
        const std::string text = testsupport::ReadFile(path);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    static uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
        return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
    }

private:
    int m_techniques = 0;
};

TEST_F(SceneTest, ViewportIsClippedToTheScreen) {
    engine->SceneSetViewport(-10, -10, 100, 100);
    D3DVIEWPORT8 v = Device().State().viewport;
    EXPECT_EQ(v.X, 0u);
    EXPECT_EQ(v.Y, 0u);
    EXPECT_EQ(v.Width, 90u);
    EXPECT_EQ(v.Height, 90u);
    EXPECT_EQ(v.MinZ, 0.0f);
    EXPECT_EQ(v.MaxZ, 1.0f);

    engine->SceneSetViewport(750, 550, 100, 100);
    v = Device().State().viewport;
    EXPECT_EQ(v.Width, 50u);
    EXPECT_EQ(v.Height, 50u);

    engine->SceneSetViewport(-200, 10, 100, -5);
    v = Device().State().viewport;
    EXPECT_EQ(v.X, 0u);
    EXPECT_EQ(v.Width, 0u);
    EXPECT_EQ(v.Height, 0u);
}

TEST_F(SceneTest, ViewportChangeDrawsWhatWasQueuedInTheOldOne) {
    engine->SceneBegin();
    engine->SceneSetViewport(0, 0, 400, 300);
    QueueQuad(10, 10);
    engine->SceneSetViewport(400, 300, 400, 300);
    ASSERT_EQ(Device().draws.size(), 1u);
    EXPECT_EQ(Device().draws[0].viewport.Width, 400u);
    EXPECT_EQ(Device().draws[0].viewport.X, 0u);
    engine->SceneEnd();
}

TEST_F(SceneTest, GammaRampsFollowTheBezierOfLevelAndBend) {
    D3DGAMMARAMP ramp;
    engine->SceneSetGamma(1.0f, 0.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(ramp.red[i], i * 257) << i;
        ASSERT_EQ(ramp.green[i], ramp.red[i]);
        ASSERT_EQ(ramp.blue[i], ramp.red[i]);
    }

    // Level 0.5: white comes out at half brightness, along a straight line.
    engine->SceneSetGamma(0.5f, 0.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[0], 0);
    EXPECT_EQ(ramp.red[255], 32767);
    EXPECT_NEAR(ramp.red[128], 128 * 257 / 2, 2);

    // Level 1.5: black is lifted to half, white stays white.
    engine->SceneSetGamma(1.5f, 0.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[0], 32767);
    EXPECT_EQ(ramp.red[255], 65535);

    // Bend 1 pulls the middle up to the top: brighter mid-tones, same ends.
    engine->SceneSetGamma(1.0f, 1.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[0], 0);
    EXPECT_GE(ramp.red[255], 65534);  // t runs a hair past 1 at the last entry
    EXPECT_GT(ramp.red[64], 64 * 257 + 10000);

    // Levels past the ends are held there.
    engine->SceneSetGamma(3.0f, 0.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[0], 65535);
    engine->SceneSetGamma(-1.0f, 0.0f);
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[255], 0);
}

TEST_F(SceneTest, ScreenshotsAreNumberedBitmapsOfTheFrontBuffer) {
    engine->SceneBegin();
    engine->SceneClearScreen(1.0f, 0.5f, 0.0f);
    engine->SceneEnd();
    engine->ScenePresent();
    // Marks in the presented frame show the row order: top left blue,
    // bottom left green.
    Device().frontBuffer[0] = 0xFF0000FFu;
    Device().frontBuffer[599 * 800] = 0xFF00FF00u;
    engine->SceneMakeScreenshot();
    engine->SceneMakeScreenshot();
    EXPECT_TRUE(LogHas("   +: Screenshot saved."));
    EXPECT_EQ(engine->m_gfx.dwScreenshotCounter, 2u);

    for (const char* name : {"screenshot1.bmp", "screenshot2.bmp"}) {
        const std::vector<uint8_t> b = FileBytes(name);
        const uint32_t imageSize = 800 * 3 * 600;
        ASSERT_EQ(b.size(), 54u + imageSize) << name;
        const std::vector<uint8_t> header(b.begin(), b.begin() + 54);
        std::vector<uint8_t> expected(54, 0);
        const auto put = [&](size_t at, uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) expected[at + i] = uint8_t(v >> (8 * i));
        };
        expected[0] = 'B';
        expected[1] = 'M';
        put(2, 54 + imageSize, 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, 800, 4);
        put(22, 600, 4);
        put(26, 1, 2);
        put(28, 24, 2);
        put(34, imageSize, 4);
        EXPECT_EQ(header, expected) << name;
        // The first row in the file is the bottom screen row.
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 60), (std::vector<uint8_t>{0, 255, 0, 0, 127, 255}));
        const size_t topRow = 54 + size_t(599) * 800 * 3;
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + topRow, b.begin() + topRow + 6),
                  (std::vector<uint8_t>{255, 0, 0, 0, 127, 255}));
    }
}

TEST_F(SceneTest, ScreenshotsOfEarlierRunsAreKept) {
    testsupport::WriteFile("screenshot1.bmp", "an earlier run's");
    testsupport::WriteFile("screenshot2.bmp", "another");
    testsupport::WriteFile("screenshot4.bmp", "and one more");
    engine->ScenePresent();
    for (int i = 0; i < 3; ++i) engine->SceneMakeScreenshot();
    EXPECT_EQ(testsupport::ReadFile("screenshot1.bmp"), "an earlier run's");
    EXPECT_EQ(testsupport::ReadFile("screenshot2.bmp"), "another");
    EXPECT_EQ(testsupport::ReadFile("screenshot4.bmp"), "and one more");
    for (const char* name : {"screenshot3.bmp", "screenshot5.bmp", "screenshot6.bmp"})
        EXPECT_EQ(FileBytes(name).size(), 54u + 800u * 600u * 3u) << name;
    EXPECT_FALSE(testsupport::FileExists("screenshot7.bmp"));
    EXPECT_EQ(engine->m_gfx.dwScreenshotCounter, 6u);
}

TEST_F(SceneTest, RowsOfAWidthNotAMultipleOfFourArePadded) {
    // A 3x2 desktop, drawn full screen in its own size (mode 3).
    engine.reset();
    AdapterInfo adapter = RecordingControl::TypicalAdapter();
    adapter.desktop = D3DDISPLAYMODE{3, 2, 60, D3DFMT_X8R8G8B8};
    d3d = InstallRecordingDirect3D(adapter);
    engine = std::make_unique<CVelmor>();
    engine->GfxPreinit(3, 2);
    engine->GfxInit(3, false);
    engine->ScenePresent();
    Device().frontBuffer = {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu, 0xFF0D0E0Fu, 0xFF101112u};
    engine->SceneMakeScreenshot();
    const std::vector<uint8_t> b = FileBytes("screenshot1.bmp");
    ASSERT_EQ(b.size(), 54u + 24u);
    EXPECT_EQ(Read32(b, 34), 24u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.end()),
              (std::vector<uint8_t>{0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10, 0, 0, 0,  //
                                    0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0}));
}

TEST_F(SceneTest, NoScreenshotWhileRenderingWindowed) {
    engine.reset();
    engine = std::make_unique<CVelmor>();
    engine->GfxPreinit(800, 600);
    engine->GfxInit(3, true);
    engine->SceneMakeScreenshot();
    EXPECT_TRUE(LogHas(" !: Cannot make a screenshot in windowed mode!"));
    EXPECT_FALSE(testsupport::FileExists("screenshot1.bmp"));
    EXPECT_EQ(engine->m_gfx.dwScreenshotCounter, 0u);
}

TEST_F(SceneTest, ScreenshotDeviceFailuresAreFatalAndUseUpTheirNumber) {
    d3d->failures["CreateImageSurface"] = D3DERR_OUTOFVIDEOMEMORY;
    CEHSException e = Raised([&] { engine->SceneMakeScreenshot(); });
    EXPECT_EQ(e.GetDesc(), "Cannot create surface!");
    EXPECT_EQ(e.GetCode(), uint32_t(D3DERR_OUTOFVIDEOMEMORY));
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_scene");
    d3d->failures.clear();
    d3d->failures["GetFrontBuffer"] = D3DERR_INVALIDCALL;
    e = Raised([&] { engine->SceneMakeScreenshot(); });
    EXPECT_EQ(e.GetDesc(), "Cannot get front buffer!");
    EXPECT_EQ(e.GetCode(), uint32_t(D3DERR_INVALIDCALL));
    d3d->failures.clear();
    engine->SceneMakeScreenshot();
    EXPECT_TRUE(testsupport::FileExists("screenshot3.bmp"));
    EXPECT_FALSE(testsupport::FileExists("screenshot1.bmp"));
    engine->GfxDeinit();
    EXPECT_FALSE(LogHas(" !!!: pD3Device references left!"));
}

TEST_F(SceneTest, SceneOperationsNeedTheDevice) {
    engine->GfxDeinit();
    for (auto call : std::vector<std::function<void()>>{
             [&] { engine->SceneSetViewport(0, 0, 10, 10); }, [&] { engine->SceneSetGamma(1, 0); },
             [&] { engine->SceneMakeScreenshot(); }, [&] { engine->SceneBegin(); }}) {
        const CEHSException e = Raised(call);
        EXPECT_EQ(e.GetDesc(), "D3DDevice object was not created!");
        EXPECT_EQ(e.GetFile(), "cvelmor_gfx_scene");
    }
}

TEST_F(SceneTest, VertexLightingWithoutLightsGivesTheAmbientColour) {
    LightMode("VERTEX");
    for (const V2DVERTEX& v : RenderQuad()) EXPECT_EQ(v.diffuse, 0x7F333333u);
}

TEST_F(SceneTest, ALightWhoseInnerRadiusCoversTheQuadAddsItsWholeColour) {
    LightMode("VERTEX");
    engine->LightAdd("LIGHT_UT_A", Light(150, 150, 100, 200, 0.5f, 0.25f, 0.0f));
    // Ambient 0.2 + light (0.5, 0.25, 0): 0.7 -> 179, 0.45 -> 115, 0.2 -> 51.
    for (const V2DVERTEX& v : RenderQuad()) EXPECT_EQ(v.diffuse, 0x7FB37333u);
}

TEST_F(SceneTest, LightFadesBetweenItsRadiiAndCountsDepth) {
    LightMode("VERTEX", "0");
    // The top left corner is 100 pixels from the light; inner 50, outer 150:
    // half the light. The bottom right corner, 224 pixels away, gets none.
    engine->LightAdd("LIGHT_UT_A", Light(100, 0, 50, 150, 0.0f, 0.0f, 1.0f));
    std::vector<V2DVERTEX> v = RenderQuad();
    EXPECT_EQ(v[0].diffuse, 0x7F000080u);  // 0.5 -> 128
    EXPECT_EQ(v[2].diffuse, 0x7F000000u);

    // Depth differences count in pixels: (back-buffer width + height) / 2 =
    // 700 per unit, so a light 1/7 unit deeper at the same spot is 100 away.
    engine->GetLight(0)->X = 100;
    engine->GetLight(0)->Y = 100;
    engine->GetLight(0)->Z = 0.5f + 1.0f / 7.0f;
    v = RenderQuad();
    EXPECT_EQ(v[0].diffuse, 0x7F000080u);

    // A disabled light gives nothing; the quad keeps only the ambient colour.
    engine->GetLight(0)->Enabled = false;
    for (const V2DVERTEX& vertex : RenderQuad()) EXPECT_EQ(vertex.diffuse, 0x7F000000u);
}

TEST_F(SceneTest, LightsDoNothingWithTheModeDisabled) {
    engine->LightAdd("LIGHT_UT_A", Light(150, 150, 100, 200, 1, 1, 1));
    LightMode("DISABLED");
    for (const V2DVERTEX& v : RenderQuad()) EXPECT_EQ(v.diffuse, 0x7FE5E5E5u);
}

TEST_F(SceneTest, Dot3WritesTheDirectionToItsLightIntoSpecularColours) {
    LightMode("DOT3");
    const CEHSException e = Raised([&] { RenderQuad(); });
    EXPECT_EQ(e.GetDesc(), "Wrong Dot3 light specified!");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GENERAL));
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_light");
    engine->SceneEnd();

    engine->SetDot3Light(engine->LightAdd("LIGHT_UT_A", Light(100, 100, 0, 1, 1, 1, 1)));
    engine->GetLight(0)->Z = 1.5f;
    std::vector<V2DVERTEX> v = RenderQuad();
    EXPECT_EQ(v[0].specular, 0xFF8080FFu);  // straight up: (0, 0, 1)
    // The light lies up and left of the bottom right corner, and far above.
    const float dx = -100, dy = -100, dz = 700;
    const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    const auto encode = [](float c) { return uint32_t(c * 127.0f + 128.0f); };
    EXPECT_EQ(v[2].specular, D3DCOLOR_ARGB(255, encode(dx / length), encode(dy / length), encode(dz / length)));

    // A card without Dot3 leaves the specular colours alone.
    engine->m_gfx.caps.Dot3 = false;
    engine->SetDot3Light(-1);
    EXPECT_NO_THROW(RenderQuad());
}

// ---- The frame cap ------------------------------------------------------------

class FrameCapTest : public EngineTest {};

// Presents are held to the display's refresh: by vsync where the system
// grants it and it holds them, else by sleeping after each present. Each row:
// the cap, the system's answer to vsync, the desktop's refresh rate (0:
// unknown), how long drawing a frame takes, and how long the 60 frames after
// the first then take on the test clock, of which how long was slept.
TEST_F(FrameCapTest, PresentsAreHeldToTheRefreshRateUnlessTheCapIsOff) {
    const uint64_t period60 = 16667, period75 = 13333;
    const struct {
        const char* name;
        bool cap;
        bool grantVsync;
        uint32_t refreshRate;
        uint64_t drawUs;
        uint64_t expectedUs;
        uint64_t expectedSleptUs;
        std::vector<bool> vsyncRequests;
    } cases[] = {
        {"cap off", false, true, 60, 0, 0, 0, {false}},
        {"vsync refused", true, false, 60, 0, 60 * period60, 60 * period60, {true}},
        {"vsync refused, rate unknown", true, false, 0, 0, 60 * period60, 60 * period60, {true}},
        {"vsync refused at 75 Hz", true, false, 75, 0, 60 * period75, 60 * period75, {true}},
        {"vsync refused, drawing 10 ms", true, false, 60, 10000, 60 * period60, 60 * (period60 - 10000), {true}},
        {"vsync refused, drawing slower than the refresh", true, false, 60, 25000, 60 * 25000, 0, {true}},
        {"vsync that holds the presents", true, true, 60, period60, 60 * period60, 0, {true}},
        // Granted but not held: after 30 presents in no time vsync is given
        // up and the sleeps take over (the first one after the 33rd present).
        {"vsync granted but not held", true, true, 60, 0, 29 * period60, 29 * period60, {true, false}},
    };
    for (const auto& c : cases) {
        d3d->adapter.desktop.RefreshRate = c.refreshRate;
        d3d->grantVsync = c.grantVsync;
        d3d->vsyncRequests.clear();
        vd3d::SetFrameCap(c.cap);
        CVelmor engine;
        engine.GfxPreinit(800, 600);
        engine.GfxInit(2, false);
        auto frame = [&] {
            system->microseconds += c.drawUs;
            engine.ScenePresent();
        };
        frame();
        const uint64_t start = system->microseconds, sleptBefore = system->slept;
        for (int i = 0; i < 60; ++i) frame();
        EXPECT_EQ(system->microseconds - start, c.expectedUs) << c.name;
        EXPECT_EQ(system->slept - sleptBefore, c.expectedSleptUs) << c.name;
        EXPECT_EQ(d3d->vsyncRequests, c.vsyncRequests) << c.name;
    }
}

// Turning the cap off takes effect at the next present, without vsync, and a
// device reset asks for vsync afresh.
TEST_F(FrameCapTest, TheCapCanBeTurnedOffWhileFramesRun) {
    vd3d::SetFrameCap(true);
    d3d->grantVsync = true;
    CVelmor engine;
    engine.GfxPreinit(800, 600);
    engine.GfxInit(2, false);
    engine.ScenePresent();
    vd3d::SetFrameCap(false);
    const uint64_t start = system->microseconds;
    for (int i = 0; i < 100; ++i) engine.ScenePresent();
    EXPECT_EQ(system->microseconds, start);
    EXPECT_EQ(d3d->vsyncRequests, (std::vector<bool>{true, false}));

    vd3d::SetFrameCap(true);
    engine.ScenePresent();
    RecordingDevice& device = *RecordingDevice::Of(engine.m_pD3DDevice);
    device.LoseDevice();
    device.RestoreWindow();
    ASSERT_TRUE(engine.GfxCheckDevice());
    engine.ScenePresent();
    EXPECT_EQ(d3d->vsyncRequests, (std::vector<bool>{true, false, true, true}));
}

}  // namespace
