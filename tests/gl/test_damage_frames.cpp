// A device that draws, scales and shows only where its frames change must
// show exactly what drawing every frame whole shows. Two devices, on two
// windows side by side, draw the same random frames of a game screen (tiles
// changing, a ticking clock label, windows moving, fades, textures given new
// contents between and within frames, frames drawn over the last picture
// without a clear, repeated frames); one tracks its damage, the other draws
// whole. After every present their front buffers and the pixels the X server
// holds for their windows must be equal. The seed is printed; set
// VELMOR_DAMAGE_SEED to run one again.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "d3d8.h"
#include "d3d8_gl.h"
#include "gl_fixtures.h"
#include "window.h"
#include "window_sdl.h"
#include "x_server_image.h"

using namespace vd3d;

namespace {

constexpr int kPictureW = 400, kPictureH = 300;
constexpr int kFrames = 90;
constexpr int kTiles = 25, kDigits = 5, kWindows = 2;
constexpr uint32_t kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr uint32_t kMaxQuads = 64;

struct Vertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u0, v0, u1, v1;
};

struct Quad {
    float x, y, w, h;
    uint32_t colour;
    float u0, v0, u1, v1;
};

// What one frame shows; each frame changes a few things of the last.
struct Scene {
    uint32_t background = 0xFF202040u;
    bool cleared = true;
    uint32_t tileColour[kTiles] = {};
    bool tileShown[kTiles] = {};
    int digits[kDigits] = {};
    float windowX[kWindows] = {60, 200}, windowY[kWindows] = {40, 150};
    float fade = 0;  // alpha of the dark veil over most of the picture; 0: none
    int tilesInset = 0;  // the tiles' viewport, inset from the picture's edges
    // New texels for a texture: before the frame, or (the tile texture) after
    // the tiles are drawn and before a badge that reads it.
    int refillTexture = -1;
    bool refillTilesWithin = false;
    uint32_t texelSeed = 0;
    float sparkleX = 0, sparkleY = 0;  // a frame without a clear draws only this
    bool blank = false;  // a frame of the background alone, as a start or a loading screen shows
};

// A device on a window of its own, and what it draws with.
class Screen {
public:
    Screen(int index, int windowW, int windowH, int x) {
        platform::WindowSystem& windows = platform::GetWindowSystem();
        m_class = "damage-" + std::to_string(index);
        if (!windows.RegisterWindowClass(m_class)) return;
        m_window = windows.CreateWindow(m_class, m_class, platform::WindowStyle::Windowed, x, 0, windowW, windowH);
        if (!m_window) return;
        m_window->Show();
        m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        if (!m_d3d) return;
        D3DPRESENT_PARAMETERS params;
        params.BackBufferWidth = kPictureW;
        params.BackBufferHeight = kPictureH;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_COPY;
        params.hDeviceWindow = m_window;
        params.Windowed = true;
        if (m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                                &m_device) != D3D_OK)
            return;
        m_device->CreateVertexBuffer(kMaxQuads * 4 * sizeof(Vertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, kFvf,
                                     D3DPOOL_DEFAULT, &m_vertices);
        m_device->CreateIndexBuffer(kMaxQuads * 6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                    &m_indices);
        uint8_t* bytes = nullptr;
        m_indices->Lock(0, 0, &bytes, 0);
        for (uint16_t q = 0; q < kMaxQuads; ++q) {
            const uint16_t v = static_cast<uint16_t>(q * 4);
            const uint16_t six[6] = {v, static_cast<uint16_t>(v + 1), static_cast<uint16_t>(v + 2),
                                     v, static_cast<uint16_t>(v + 2), static_cast<uint16_t>(v + 3)};
            std::memcpy(bytes + q * 12, six, sizeof(six));
        }
        m_indices->Unlock();
        for (int t = 0; t < 3; ++t) {
            m_device->CreateTexture(32, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_textures[t]);
            Refill(t, static_cast<uint32_t>(t) * 7919u + 1);
        }
        m_device->SetVertexShader(kFvf);
        m_device->SetStreamSource(0, m_vertices, sizeof(Vertex));
        m_device->SetIndices(m_indices, 0);
        m_device->SetRenderState(D3DRS_LIGHTING, 0);
        m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        m_device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        m_device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        m_device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        m_device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    }

    ~Screen() {
        for (IDirect3DTexture8* texture : m_textures)
            if (texture) texture->Release();
        if (m_device) {
            m_device->SetStreamSource(0, nullptr, 0);
            m_device->SetIndices(nullptr, 0);
            m_device->SetTexture(0, nullptr);
        }
        if (m_vertices) m_vertices->Release();
        if (m_indices) m_indices->Release();
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
        if (m_window) {
            platform::GetWindowSystem().DestroyWindow(m_window);
            platform::GetWindowSystem().UnregisterWindowClass(m_class);
        }
    }

    bool Ready() const { return m_device && m_vertices && m_indices && m_textures[2]; }
    IDirect3DDevice8* Device() const { return m_device; }
    SDL_Window* Window() const { return platform::SdlWindowOf(m_window); }

    // New texels, some of them see-through, made from the seed.
    void Refill(int texture, uint32_t seed) {
        D3DLOCKED_RECT locked;
        if (m_textures[texture]->LockRect(0, &locked, nullptr, 0) != D3D_OK) return;
        std::mt19937 texels(seed);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint32_t argb = texels() | 0xFF000000u;
                if (texels() % 4 == 0) argb = (argb & 0x00FFFFFFu) | 0x60000000u;
                std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &argb, 4);
            }
        m_textures[texture]->UnlockRect(0);
    }

    // A blank scene is only cleared, or (`paintBlank`) also painted over
    // with an opaque quad of the background's colour: one picture, shown
    // one way for a clear alone and another for a drawn quad.
    void Draw(const Scene& scene, bool paintBlank) {
        m_device->BeginScene();
        if (scene.blank) {
            m_device->Clear(0, nullptr, D3DCLEAR_TARGET, scene.background, 0, 0);
            if (paintBlank) Batch(nullptr, false, {{0, 0, kPictureW, kPictureH, scene.background, 0, 0, 1, 1}});
            End();
            return;
        }
        if (!scene.cleared) {
            // A half-transparent spark over the last picture, kept as it is.
            Batch(nullptr, true, {{scene.sparkleX, scene.sparkleY, 14, 9, 0x80FFFFFFu, 0, 0, 1, 1}});
            End();
            return;
        }
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET, scene.background, 0, 0);
        std::vector<Quad> tiles;
        for (int i = 0; i < kTiles; ++i)
            if (scene.tileShown[i])
                tiles.push_back({20.0f + (i % 5) * 36.0f, 60.0f + (i / 5) * 36.0f, 32, 32, scene.tileColour[i], 0, 0,
                                 1, 1});
        SetViewport(scene.tilesInset);
        Batch(m_textures[0], false, tiles);
        SetViewport(0);
        if (scene.refillTilesWithin) {
            Refill(0, scene.texelSeed);
            Batch(m_textures[0], true, {{300, 250, 40, 30, 0xFFFFFFFFu, 0, 0, 1, 1}});
        }
        // The clock: each digit a cell of a 4x4 grid in the "font" texture.
        std::vector<Quad> label;
        for (int i = 0; i < kDigits; ++i) {
            const float u = (scene.digits[i] % 4) * 0.25f, v = (scene.digits[i] / 4) * 0.25f;
            label.push_back({230.0f + i * 13.0f, 20, 12, 18, 0xFFFFFFFFu, u, v, u + 0.25f, v + 0.25f});
        }
        Batch(m_textures[1], true, label);
        for (int i = 0; i < kWindows; ++i)
            Batch(m_textures[2], true, {{scene.windowX[i], scene.windowY[i], 120, 90, 0xE0FFFFFFu, 0, 0, 2, 2}});
        if (scene.fade > 0) {
            const uint32_t alpha = static_cast<uint32_t>(scene.fade * 255.0f) << 24;
            Batch(nullptr, true, {{10, 10, 380, 280, alpha | 0x000010u, 0, 0, 1, 1}});
        }
        End();
    }

private:
    void SetViewport(int inset) {
        D3DVIEWPORT8 viewport{static_cast<uint32_t>(inset), static_cast<uint32_t>(inset),
                              static_cast<uint32_t>(kPictureW - 2 * inset),
                              static_cast<uint32_t>(kPictureH - 2 * inset), 0, 1};
        m_device->SetViewport(&viewport);
    }

    void Batch(IDirect3DTexture8* texture, bool blend, const std::vector<Quad>& quads) {
        if (quads.empty()) return;
        uint8_t* bytes = nullptr;
        if (m_vertices->Lock(0, 0, &bytes, D3DLOCK_DISCARD) != D3D_OK) return;
        Vertex* v = reinterpret_cast<Vertex*>(bytes);
        for (const Quad& q : quads) {
            const float xs[4] = {q.x, q.x + q.w, q.x + q.w, q.x}, ys[4] = {q.y, q.y, q.y + q.h, q.y + q.h};
            const float us[4] = {q.u0, q.u1, q.u1, q.u0}, vs[4] = {q.v0, q.v0, q.v1, q.v1};
            for (int k = 0; k < 4; ++k) *v++ = Vertex{xs[k] - 0.5f, ys[k] - 0.5f, 0.5f, 1, q.colour, 0, us[k], vs[k], 0, 0};
        }
        m_vertices->Unlock();
        m_device->SetTexture(0, texture);
        m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend ? 1 : 0);
        const uint32_t n = static_cast<uint32_t>(quads.size());
        m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, n * 4, 0, n * 2);
    }

    void End() {
        m_device->EndScene();
        m_device->SetTexture(0, nullptr);
    }

    std::string m_class;
    platform::GameWindow* m_window = nullptr;
    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
    IDirect3DVertexBuffer8* m_vertices = nullptr;
    IDirect3DIndexBuffer8* m_indices = nullptr;
    IDirect3DTexture8* m_textures[3] = {};
};

// The next frame: a few changes of the kind a game screen makes, named.
Scene NextScene(Scene scene, std::mt19937& random, std::string& changes) {
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    scene.refillTexture = -1;
    scene.refillTilesWithin = false;
    scene.cleared = !chance(8);
    scene.blank = scene.cleared && chance(6);
    if (scene.blank) {
        scene.background = 0xFF000000u | (random() & 0xFFFFFFu);
        changes = "blank";
        return scene;
    }
    if (!scene.cleared) {
        scene.sparkleX = static_cast<float>(random() % 380);
        scene.sparkleY = static_cast<float>(random() % 290);
        changes = "spark over the last picture";
        return scene;
    }
    std::ostringstream names;
    if (chance(10)) {
        names << "repeat ";
    } else {
        if (chance(80)) {
            for (int i = kDigits - 1; i >= 0 && ++scene.digits[i] == 16; --i) scene.digits[i] = 0;
            names << "clock ";
        }
        if (chance(40)) {
            const int tile = static_cast<int>(random() % kTiles);
            scene.tileColour[tile] = 0xFF000000u | (random() & 0xFFFFFFu);
            scene.tileShown[tile] = chance(85);
            names << "tile" << tile << ' ';
        }
        if (chance(30)) {
            const int w = static_cast<int>(random() % kWindows);
            const bool jump = chance(25);
            scene.windowX[w] = jump ? static_cast<float>(random() % 360) - 40 : scene.windowX[w] + (random() % 41) - 20.0f;
            scene.windowY[w] = jump ? static_cast<float>(random() % 260) - 30 : scene.windowY[w] + (random() % 41) - 20.0f;
            names << "window" << w << (jump ? "-jump " : "-move ");
        }
        if (scene.fade > 0 || chance(8)) {
            scene.fade = scene.fade >= 0.9f || chance(10) ? 0.0f : scene.fade + 0.15f;
            names << "fade ";
        }
        if (chance(8)) {
            scene.refillTexture = static_cast<int>(random() % 3);
            names << "texels" << scene.refillTexture << ' ';
        }
        if (chance(6)) {
            scene.refillTilesWithin = true;
            names << "tile-texels-within ";
        }
        if (chance(5)) {
            scene.tilesInset = static_cast<int>(random() % 60);
            names << "viewport ";
        }
        if (chance(3)) {
            scene.background = 0xFF000000u | (random() & 0xFFFFFFu);
            names << "background ";
        }
    }
    scene.texelSeed = random();
    changes = names.str();
    return scene;
}

// Where two images of equal size first differ, and in how many pixels.
std::string Difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
    if (a.size() != b.size()) return "sizes differ";
    size_t count = 0, first = a.size();
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) {
            ++count;
            if (first == a.size()) first = i;
        }
    if (count == 0) return "";
    std::ostringstream text;
    text << count << " pixels differ, the first at (" << first % width << ", " << first / width << ")";
    return text.str();
}

class DamageFramesTest : public gltest::GlEngineTest,
                         public ::testing::WithParamInterface<std::pair<int, int>> {
protected:
    void TearDown() override {
        SetDamageTracked(true);
        gltest::GlEngineTest::TearDown();
    }
};

// Window sizes: the picture's own (copied as it is), larger (scaled up,
// filtered) and of another aspect (scaled down between bars).
INSTANTIATE_TEST_SUITE_P(WindowSizes, DamageFramesTest,
                         ::testing::Values(std::make_pair(400, 300), std::make_pair(500, 375),
                                           std::make_pair(330, 300)));

TEST_P(DamageFramesTest, EveryShownFrameEqualsAWholeRedraw) {
    const auto [windowW, windowH] = GetParam();
    uint32_t seed = std::random_device{}();
    if (const char* fixed = std::getenv("VELMOR_DAMAGE_SEED")) seed = static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10));
    std::printf("damage frames: seed %u (VELMOR_DAMAGE_SEED=%u repeats this run)\n", seed, seed);
    RecordProperty("seed", std::to_string(seed));

    Screen tracked(0, windowW, windowH, 0), whole(1, windowW, windowH, 512);
    ASSERT_TRUE(tracked.Ready() && whole.Ready());
    std::mt19937 random(seed);
    Scene scene;
    for (int i = 0; i < kTiles; ++i) {
        scene.tileColour[i] = 0xFF000000u | (random() & 0xFFFFFFu);
        scene.tileShown[i] = true;
    }
    for (int frame = 0; frame < kFrames; ++frame) {
        std::string changes = "first";
        if (frame > 0) scene = NextScene(scene, random, changes);
        for (Screen* screen : {&tracked, &whole}) {
            if (scene.refillTexture >= 0) screen->Refill(scene.refillTexture, scene.texelSeed);
            screen->Draw(scene, screen == &whole);
            SetDamageTracked(screen == &tracked);
            ASSERT_EQ(screen->Device()->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        }
        const std::string at = "seed " + std::to_string(seed) + ", frame " + std::to_string(frame) + " (" + changes + ")";
        const std::string front = Difference(gltest::FrontBuffer(tracked.Device(), kPictureW, kPictureH),
                                             gltest::FrontBuffer(whole.Device(), kPictureW, kPictureH), kPictureW);
        ASSERT_EQ(front, "") << "front buffers, " << at;
        // Both windows' pixels as the X server holds them, once it has
        // taken what each was sent.
        std::string shown = "no image of a window";
        testsupport::WaitUntil(
            [&] {
                const gltest::ServerImage a = gltest::ReadServerImage(tracked.Window());
                const gltest::ServerImage b = gltest::ReadServerImage(whole.Window());
                if (a.width <= 0 || b.width <= 0) return false;
                shown = Difference(a.pixels, b.pixels, a.width);
                return shown.empty();
            },
            std::chrono::seconds(2));
        ASSERT_EQ(shown, "") << "windows, " << at;
    }
}

}  // namespace
