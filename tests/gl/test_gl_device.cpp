// The OpenGL device on a real X server (xvfb-run, Mesa): pixels read back
// from the front buffer and the window must be where, and what, Direct3D
// would have drawn.
#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "cvelmor.h"
#include "d3d8_gl.h"
#include "system.h"
#include "gl_fixtures.h"
#include "texel_rgba.h"
#include "window.h"
#include "window_sdl.h"

using namespace vd3d;
using gltest::FrontBuffer;

namespace {

// 0xRRGGBB of an A8R8G8B8 pixel.
uint32_t Rgb(uint32_t argb) { return argb & 0xFFFFFFu; }
int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

class GlDeviceTest : public gltest::GlEngineTest {
protected:
    uint32_t At(const std::vector<uint32_t>& pixels, int x, int y) { return Rgb(pixels[y * 800 + x]); }
    IDirect3DDevice8* Device() { return engine->m_pD3DDevice; }
    void SetStage(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) {
        Device()->SetTextureStageState(stage, type, value);
    }
};

TEST_F(GlDeviceTest, AdapterOffers800x600InThirtyTwoBits) {
    StartEngine();
    V2DVIDEOCAPS caps;
    engine->GetVideoCardCaps(caps);
    EXPECT_TRUE(caps.Mode2.Valid);
    EXPECT_EQ(caps.Mode2.Width, 800u);
    EXPECT_EQ(caps.Mode2.Format, static_cast<uint32_t>(D3DFMT_X8R8G8B8));
    EXPECT_TRUE(caps.Mode1.Valid);
    EXPECT_NE(Log().find("          Display Mode 2 is valid."), std::string::npos);
    EXPECT_NE(Log().find("     Videocard: "), std::string::npos);
}

TEST_F(GlDeviceTest, ClearedFrameIsThatColourEverywhere) {
    StartEngine();
    Frame(0.2f, 0.4f, 0.6f, [] {});
    const auto pixels = FrontBuffer(Device(), 800, 600);
    for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], 0xFF336699u) << "pixel " << i;
}

TEST_F(GlDeviceTest, QuadCoversExactlyThePixelsDirect3DWould) {
    StartEngine();
    Frame(0, 0, 0, [&] {
        engine->VQuadSetColor(1, 0, 0, 1);
        engine->VQuadSetPos(10, 10, 100, 50, 0.5f);
        engine->VQuadRender();
        engine->VQuadSetColor(0, 1, 0, 1);
        engine->VQuadSetPos(300, 200, 1, 1, 0.5f);
        engine->VQuadRender();
    });
    const auto pixels = FrontBuffer(Device(), 800, 600);
    for (int y = 9; y <= 60; ++y) {
        for (int x = 9; x <= 110; ++x) {
            const bool inside = x >= 10 && x <= 109 && y >= 10 && y <= 59;
            ASSERT_EQ(At(pixels, x, y), inside ? 0xFF0000u : 0u) << x << "," << y;
        }
    }
    EXPECT_EQ(At(pixels, 300, 200), 0x00FF00u) << "a one-pixel quad is one pixel";
    EXPECT_EQ(At(pixels, 301, 200), 0u);
    EXPECT_EQ(At(pixels, 300, 201), 0u);
    EXPECT_EQ(At(pixels, 299, 199), 0u);
}

TEST_F(GlDeviceTest, TextureDrawnOneToOneLandsTexelOnPixel) {
    StartEngine();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(Device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    uint32_t texels[16];
    for (uint32_t i = 0; i < 16; ++i) {
        texels[i] = 0xFF000000u | ((i * 16) << 16) | ((255 - i * 16) << 8) | ((i % 4) * 80);
        *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + (i / 4) * locked.Pitch + (i % 4) * 4) =
            texels[i];
    }
    texture->UnlockRect(0);
    Device()->SetTexture(0, texture);
    // Linear filtering blends neighbours unless every pixel centre sits on
    // a texel centre.
    SetStage(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    SetStage(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    Frame(0, 0, 0, [&] {
        engine->VQuadSetColor(1, 1, 1, 1);
        engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
        engine->VQuadSetPos(20, 30, 4, 4, 0.5f);
        engine->VQuadRender();
    });
    const auto pixels = FrontBuffer(Device(), 800, 600);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(At(pixels, 20 + i % 4, 30 + i / 4), Rgb(texels[i])) << "texel " << i;
    EXPECT_EQ(At(pixels, 24, 30), 0u);
    Device()->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(GlDeviceTest, AlphaBlendingMixesWithinOneStep) {
    StartEngine();
    Device()->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    Device()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    Device()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    SetStage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    Frame(0, 0, 1, [&] {
        engine->VQuadSetColor(1, 0, 0, 0.5f);  // alpha byte 127
        engine->VQuadSetPos(100, 100, 10, 10, 0.5f);
        engine->VQuadRender();
    });
    const uint32_t pixel = FrontBuffer(Device(), 800, 600)[105 * 800 + 105];
    const double a = 127.0 / 255.0;
    EXPECT_NEAR(Channel(pixel, 16), 255 * a, 1.0);
    EXPECT_EQ(Channel(pixel, 8), 0);
    EXPECT_NEAR(Channel(pixel, 0), 255 * (1 - a), 1.0);
}

TEST_F(GlDeviceTest, TextureStageOperations) {
    StartEngine();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(Device()->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    *static_cast<uint32_t*>(locked.pBits) = 0xFFC86432u;  // 200, 100, 50
    texture->UnlockRect(0);
    Device()->SetTexture(0, texture);
    Device()->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF0A141Eu);  // 10, 20, 30

    struct Case {
        uint32_t op1, arg1, arg2;
        uint32_t expected;
    };
    // Stage 0 modulates the texel with a half-grey diffuse: about (100, 50, 25);
    // stage 1 combines that with the texture factor.
    const Case cases[] = {
        {D3DTOP_DISABLE, 0, 0, 0x643219u},
        {D3DTOP_SELECTARG2, D3DTA_CURRENT, D3DTA_TFACTOR, 0x0A141Eu},
        {D3DTOP_ADD, D3DTA_CURRENT, D3DTA_TFACTOR, 0x6E4637u},
        {D3DTOP_SUBTRACT, D3DTA_CURRENT, D3DTA_TFACTOR, 0x5A1E00u},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, 0x4E1405u},
    };
    for (const Case& c : cases) {
        SetStage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        SetStage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        SetStage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        SetStage(1, D3DTSS_COLOROP, c.op1);
        SetStage(1, D3DTSS_COLORARG1, c.arg1);
        SetStage(1, D3DTSS_COLORARG2, c.arg2);
        SetStage(1, D3DTSS_TEXCOORDINDEX, 0);
        if (c.arg1 == D3DTA_TEXTURE) Device()->SetTexture(1, texture);
        Frame(0, 0, 0, [&] {
            engine->VQuadSetColor(0.5f, 0.5f, 0.5f, 1);  // 127 of 255
            engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
            engine->VQuadSetPos(0, 0, 8, 8, 0.5f);
            engine->VQuadRender();
        });
        const uint32_t pixel = FrontBuffer(Device(), 800, 600)[4 * 800 + 4];
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(Channel(pixel, shift), Channel(c.expected, shift), 1.0) << "operation " << c.op1;
    }
    // Dot product of two vectors pointing the same way: full white.
    SetStage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetStage(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    SetStage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Device()->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF8080u);
    Frame(0, 0, 0, [&] {
        engine->VQuadSetColor(1, 0.5f, 0.5f, 1);
        engine->VQuadSetPos(0, 0, 8, 8, 0.5f);
        engine->VQuadRender();
    });
    const uint32_t white = FrontBuffer(Device(), 800, 600)[4 * 800 + 4];
    for (int shift : {16, 8, 0}) EXPECT_NEAR(Channel(white, shift), 255, 1.0);
    Device()->SetTexture(0, nullptr);
    Device()->SetTexture(1, nullptr);
    texture->Release();
}

TEST_F(GlDeviceTest, VertexFogTakesTheSpecularAlpha) {
    StartEngine();
    Device()->SetRenderState(D3DRS_FOGENABLE, 1);
    Device()->SetRenderState(D3DRS_FOGCOLOR, 0xFF00FF00u);
    SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    engine->m_gfx.bFog = true;
    Frame(0, 0, 0, [&] {
        engine->VQuadSetColor(1, 0, 0, 1);
        engine->VQuadSetPos(0, 0, 8, 8, 0.25f);  // fog amount 64 of 255
        engine->VQuadRender();
    });
    const uint32_t pixel = FrontBuffer(Device(), 800, 600)[4 * 800 + 4];
    EXPECT_NEAR(Channel(pixel, 16), 64, 1.0);
    EXPECT_NEAR(Channel(pixel, 8), 191, 1.0);
}

TEST_F(GlDeviceTest, FrontBufferIsTheLastPresentedFrame) {
    StartEngine();
    Frame(1, 0, 0, [] {});
    engine->SceneBegin();
    engine->SceneClearScreen(0, 1, 0);
    engine->SceneEnd();
    EXPECT_EQ(At(FrontBuffer(Device(), 800, 600), 400, 300), 0xFF0000u);
    engine->ScenePresent();
    EXPECT_EQ(At(FrontBuffer(Device(), 800, 600), 400, 300), 0x00FF00u);
}

// A frame that repeats the last shown one is not drawn again, and nothing
// that changes the picture is missed: a texture's new contents between
// frames, a texture changed in the middle of a frame (draws before the
// change keep the old texels), and a frame drawn over the kept picture
// instead of a clear (the back buffer keeps the shown picture, as a copy
// swap does).
TEST_F(GlDeviceTest, RepeatedFramesAreShownOnceAndEveryChangeIsShown) {
    StartEngine();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(Device()->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    auto fill = [&](uint32_t argb) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        *static_cast<uint32_t*>(locked.pBits) = argb;
        texture->UnlockRect(0);
    };
    auto quad = [&](float x) {
        engine->VQuadSetColor(1, 1, 1, 1);
        engine->VQuadSetPos(x, 10, 10, 10, 0.5f);
        engine->VQuadRender();
    };
    fill(0xFFFF0000u);
    Device()->SetTexture(0, texture);
    const uint64_t before = ShownFrameCount(Device());
    for (int i = 0; i < 3; ++i) Frame(0, 0, 1, [&] { quad(0); });
    EXPECT_EQ(ShownFrameCount(Device()), before + 1) << "two repeats shown again";
    EXPECT_EQ(At(FrontBuffer(Device()), 5, 15), 0xFF0000u);

    fill(0xFF00FF00u);
    Frame(0, 0, 1, [&] { quad(0); });
    EXPECT_EQ(ShownFrameCount(Device()), before + 2);
    EXPECT_EQ(At(FrontBuffer(Device()), 5, 15), 0x00FF00u) << "new texels not shown";

    Frame(0, 0, 1, [&] {
        quad(0);
        engine->FlushBatch();
        fill(0xFF0000FFu);
        quad(20);
    });
    auto pixels = FrontBuffer(Device());
    EXPECT_EQ(At(pixels, 5, 15), 0x00FF00u) << "a draw took texels set after it";
    EXPECT_EQ(At(pixels, 25, 15), 0x0000FFu);

    // Half-transparent white over the kept picture, twice: brighter each time.
    Device()->SetTexture(0, nullptr);
    Device()->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    Device()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    Device()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    SetStage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    int red = Channel(pixels[15 * 800 + 25], 16);
    for (int i = 0; i < 2; ++i) {
        engine->SceneBegin();
        engine->VQuadSetColor(1, 1, 1, 0.5f);
        engine->VQuadSetPos(20, 10, 10, 10, 0.5f);
        engine->VQuadRender();
        engine->SceneEnd();
        engine->ScenePresent();
        const int now = Channel(FrontBuffer(Device())[15 * 800 + 25], 16);
        EXPECT_NEAR(now, red + (255 - red) / 2, 1) << "pass " << i;
        red = now;
    }
    texture->Release();
}

// A device of its own on a window of another aspect than its back buffer.
class GlPresentTest : public GlDeviceTest {
protected:
    void Open(int windowW, int windowH, bool windowed) {
        platform::WindowSystem& windows = platform::GetWindowSystem();
        ASSERT_TRUE(windows.RegisterWindowClass("gl-test"));
        window = windows.CreateWindow("gl-test", "present", platform::WindowStyle::Windowed, 0, 0, windowW, windowH);
        ASSERT_NE(window, nullptr);
        window->Show();
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS params;
        params.BackBufferWidth = 800;
        params.BackBufferHeight = 600;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = windowed ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_FLIP;
        params.hDeviceWindow = window;
        params.Windowed = windowed;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  D3D_OK);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        if (window) {
            platform::GetWindowSystem().DestroyWindow(window);
            platform::GetWindowSystem().UnregisterWindowClass("gl-test");
        }
        GlDeviceTest::TearDown();
    }
    WindowCapture PresentCleared(uint32_t color) {
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, color, 0.0f, 0);
        device->EndScene();
        WindowCapture capture;
        EXPECT_TRUE(CaptureNextPresent(device, &capture));
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return capture;
    }

    platform::GameWindow* window = nullptr;
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
};

TEST_F(GlPresentTest, PictureIsLetterboxedIntoAWiderWindow) {
    Open(1000, 500, true);
    const WindowCapture capture = PresentCleared(0xFFFF0000u);
    ASSERT_EQ(capture.width, 1000);
    ASSERT_EQ(capture.height, 500);
    // 800x600 scaled to the height: 666 pixels wide, 167 from the left.
    auto at = [&capture](int x, int y) { return Rgb(capture.pixels[y * capture.width + x]); };
    for (int y : {0, 250, 499}) {
        EXPECT_EQ(at(0, y), 0u);
        EXPECT_EQ(at(166, y), 0u);
        EXPECT_EQ(at(167, y), 0xFF0000u);
        EXPECT_EQ(at(832, y), 0xFF0000u);
        EXPECT_EQ(at(833, y), 0u);
        EXPECT_EQ(at(999, y), 0u);
    }
}

// A window of the picture's own size shows it pixel for pixel, the right
// way up: marks in two corners land where the front buffer has them.
TEST_F(GlPresentTest, WindowOfThePictureSizeShowsTheFrontBufferExactly) {
    Open(800, 600, true);
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 0.0f, 0);
    const D3DRECT topLeft{0, 0, 100, 50}, bottomRight{700, 550, 800, 600};
    device->Clear(1, &topLeft, D3DCLEAR_TARGET, 0xFFFF0000u, 0.0f, 0);
    device->Clear(1, &bottomRight, D3DCLEAR_TARGET, 0xFF00FF00u, 0.0f, 0);
    device->EndScene();
    WindowCapture capture;
    ASSERT_TRUE(CaptureNextPresent(device, &capture));
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(capture.width, 800);
    ASSERT_EQ(capture.height, 600);
    auto at = [&capture](int x, int y) { return Rgb(capture.pixels[y * capture.width + x]); };
    EXPECT_EQ(at(0, 0), 0xFF0000u);
    EXPECT_EQ(at(99, 49), 0xFF0000u);
    EXPECT_EQ(at(100, 49), 0x0000FFu);
    EXPECT_EQ(at(0, 599), 0x0000FFu);
    EXPECT_EQ(at(799, 599), 0x00FF00u);
    const std::vector<uint32_t> front = FrontBuffer(device, 800, 600);
    size_t differing = 0;
    for (size_t i = 0; i < front.size(); ++i) differing += Rgb(front[i]) != Rgb(capture.pixels[i]);
    EXPECT_EQ(differing, 0u);
}

TEST_F(GlPresentTest, GammaRampAppliesInFullScreenOnly) {
    Open(800, 600, false);
    D3DGAMMARAMP half;
    for (int i = 0; i < 256; ++i) half.red[i] = half.green[i] = half.blue[i] = static_cast<uint16_t>(i * 257 / 2);
    device->SetGammaRamp(D3DSGR_NO_CALIBRATION, &half);
    const WindowCapture capture = PresentCleared(0xFFC86400u);  // 200, 100, 0
    const uint32_t shown = capture.pixels[300 * capture.width + 400];
    EXPECT_NEAR(Channel(shown, 16), 100, 1.0);
    EXPECT_NEAR(Channel(shown, 8), 50, 1.0);
    EXPECT_EQ(Rgb(FrontBuffer(device, 800, 600)[0]), 0xC86400u) << "the front buffer holds the frame, not the ramp";
}

TEST_F(GlDeviceTest, HidingTheFullScreenWindowLosesTheDeviceUntilReset) {
    platform::SetSystem(platform::CreateSdlSystem());
    StartEngine(2, false);
    SDL_Window* window = platform::SdlWindowOf(engine->m_hWnd);
    ASSERT_NE(window, nullptr);
    // The main loop's own check may reset the device as soon as it can.
    auto pumpUntil = [&](HRESULT wanted) {
        return testsupport::WaitUntil(
            [&] {
                engine->UpdateAllSystems();
                if (Device()->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) engine->GfxCheckDevice();
                return Device()->TestCooperativeLevel() == wanted;
            },
            std::chrono::seconds(3));
    };
    ASSERT_TRUE(pumpUntil(D3D_OK));
    SDL_HideWindow(window);
    ASSERT_TRUE(pumpUntil(D3DERR_DEVICELOST));
    EXPECT_FALSE(engine->GfxCheckDevice());
    EXPECT_NE(Log().find("   +: Device is lost and currently cannot be restored."), std::string::npos);
    SDL_ShowWindow(window);
    ASSERT_TRUE(pumpUntil(D3D_OK));
    EXPECT_NE(Log().find("   =: D3DDevice is lost. Trying to reset...\n   +: Done."), std::string::npos);
    Frame(0, 0, 1, [] {});
    EXPECT_EQ(At(FrontBuffer(Device(), 800, 600), 1, 1), 0x0000FFu);
}

// Each texture format drawn one texel to a pixel shows the texels read as
// RGBA bytes: colours drawn over the clear, alpha as white scaled by it.
// Desktop OpenGL reads Direct3D's texels itself (its S3TC decoder too);
// OpenGL ES is given the RGBA bytes or, where the driver has S3TC, the
// blocks themselves.
TEST_F(GlDeviceTest, EveryTextureFormatDrawsItsTexelsReadAsRgba) {
    StartEngine();
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A4R4G4B4, D3DFMT_X4R4G4B4, D3DFMT_A8,       D3DFMT_L8,       D3DFMT_A8L8,
                                 D3DFMT_DXT1,     D3DFMT_DXT2,     D3DFMT_DXT3,     D3DFMT_DXT4,     D3DFMT_DXT5};
    std::mt19937 random(7);
    SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    for (D3DFORMAT format : formats) {
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(Device()->CreateTexture(8, 8, 1, 0, format, D3DPOOL_MANAGED, &texture), D3D_OK) << format;
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        // Eight rows of texels, or two rows of 4x4 blocks (the S3TC formats
        // are four-character codes, above the numbered formats).
        const size_t size = static_cast<size_t>(locked.Pitch) * (format > 0xFFFF ? 2 : 8);
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        std::memcpy(locked.pBits, bytes.data(), size);
        texture->UnlockRect(0);
        std::vector<uint8_t> rgba;
        ASSERT_TRUE(ConvertToRgba8(format, 8, 8, bytes.data(), bytes.size(), rgba));

        Device()->SetTexture(0, texture);
        Frame(1, 1, 1, [&] {
            engine->VQuadSetColor(1, 1, 1, 1);
            engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
            engine->VQuadSetPos(0, 0, 8, 8, 0.5f);
            engine->VQuadRender();
            engine->FlushBatch();
            Device()->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
            Device()->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
            Device()->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
            engine->VQuadSetPos(10, 0, 8, 8, 0.5f);
            engine->VQuadRender();
            engine->FlushBatch();
            Device()->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
        });
        const auto pixels = FrontBuffer(Device(), 800, 600);
        for (int i = 0; i < 64; ++i) {
            const uint8_t* want = &rgba[static_cast<size_t>(i) * 4];
            const uint32_t color = pixels[(i / 8) * 800 + i % 8], alpha = pixels[(i / 8) * 800 + 10 + i % 8];
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(Channel(color, 16 - 8 * c), want[c], 1) << "format " << format << " texel " << i;
                ASSERT_NEAR(Channel(alpha, 16 - 8 * c), want[3], 1) << "format " << format << " texel " << i;
            }
        }
        Device()->SetTexture(0, nullptr);
        texture->Release();
    }
}

// Border addressing: coordinates outside the texture, on the axes that ask
// for it, read the border colour; the other axis clamps.
TEST_F(GlDeviceTest, BorderAddressingReadsTheBorderColourOutsideTheTexture) {
    StartEngine();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(Device()->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int i = 0; i < 4; ++i)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + (i / 2) * locked.Pitch + (i % 2) * 4, &texels[i], 4);
    texture->UnlockRect(0);
    Device()->SetTexture(0, texture);
    SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStage(0, D3DTSS_ADDRESSU, D3DTADDRESS_BORDER);
    SetStage(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    SetStage(0, D3DTSS_BORDERCOLOR, 0xFF804020u);
    // Eight pixels each way over coordinates -0.5 to 1.5: pixels 0, 1, 6
    // and 7 fall outside, 2 to 5 on the texels, two pixels each.
    Frame(0, 0, 0, [&] {
        engine->VQuadSetColor(1, 1, 1, 1);
        engine->VQuadSetTexCoords(1, -0.5f, -0.5f, 1.5f, 1.5f);
        engine->VQuadSetPos(0, 0, 8, 8, 0.5f);
        engine->VQuadRender();
    });
    const auto pixels = FrontBuffer(Device(), 800, 600);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int column = std::min(std::max((x - 2) / 2, 0), 1), row = std::min(std::max((y - 2) / 2, 0), 1);
            const bool outside = x < 2 || x > 5;
            EXPECT_EQ(At(pixels, x, y), Rgb(outside ? 0xFF804020u : texels[row * 2 + column])) << x << "," << y;
        }
    }
    Device()->SetTexture(0, nullptr);
    texture->Release();
}

// An indexed draw whose lowest index is not 0 reads the vertices from that
// index on.
TEST_F(GlDeviceTest, IndexedDrawFromALaterVertexDrawsThoseVertices) {
    StartEngine();
    struct Vertex {
        float x, y, z, rhw;
        uint32_t diffuse, specular;
        float u0, v0, u1, v1;
    };
    const uint32_t fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
    // Two quads: red at the top left, green below it; the draw takes the
    // second (vertices 4 to 7, indices 6 to 11) with base vertex 1, so
    // vertex 5 of the buffer is the first it reads.
    Vertex vertices[9] = {};
    auto quad = [&](int first, float x, float y, uint32_t colour) {
        const float corners[4][2] = {{x, y}, {x + 10, y}, {x + 10, y + 10}, {x, y + 10}};
        for (int i = 0; i < 4; ++i)
            vertices[first + i] = Vertex{corners[i][0] - 0.5f, corners[i][1] - 0.5f, 0.5f, 1, colour, 0, 0, 0, 0, 0};
    };
    quad(1, 0, 0, 0xFFFF0000u);
    quad(5, 20, 20, 0xFF00FF00u);
    const uint16_t indices[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(Device()->CreateVertexBuffer(sizeof(vertices), D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(Device()->CreateIndexBuffer(sizeof(indices), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib),
              D3D_OK);
    uint8_t* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, sizeof(vertices));
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof(indices));
    ib->Unlock();
    SetStage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    Frame(0, 0, 0, [&] {
        engine->FlushBatch();
        Device()->SetVertexShader(fvf);
        Device()->SetStreamSource(0, vb, sizeof(Vertex));
        Device()->SetIndices(ib, 1);
        ASSERT_EQ(Device()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 4, 6, 2), D3D_OK);
    });
    const auto pixels = FrontBuffer(Device(), 800, 600);
    EXPECT_EQ(At(pixels, 25, 25), 0x00FF00u);
    EXPECT_EQ(At(pixels, 5, 5), 0u) << "the first quad is not in the draw";
    EXPECT_EQ(At(pixels, 19, 25), 0u);
    EXPECT_EQ(At(pixels, 29, 29), 0x00FF00u);
    EXPECT_EQ(At(pixels, 30, 30), 0u);
    ib->Release();
    vb->Release();
}

}  // namespace
