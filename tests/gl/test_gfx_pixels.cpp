// Textures, techniques, lights, text and screenshots through the OpenGL
// device on a real X server (xvfb-run, Mesa): the pixels read back must be
// the ones the images, techniques and fonts ask for.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "image.h"
#include "gl_fixtures.h"
#include "letterbox.h"
#include "window_sdl.h"
#include "x_server_image.h"

using namespace vd3d;

namespace {

int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

image::Image Picture(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& colour) {
    image::Image result;
    result.width = width;
    result.height = height;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) result.pixels.push_back(colour(x, y));
    return result;
}

// Draws the texture as it is: stage 0 selects the texel, point filters, no
// blending.
const char* const kTechniques =
    "<techniquespack>"
    "<t id=\"TEQ_GL_COPY\" alphablending=\"OFF\" fog=\"OFF\" s0_colorop=\"SELECTARG1\" s0_colorarg1=\"TEXTURE\" "
    "s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"TEXTURE\" s0_address=\"CLAMP\" s1_colorop=\"DISABLE\" "
    "s0_minfilter=\"POINT\" s0_magfilter=\"POINT\" s0_mipfilter=\"NONE\" dynlightmode=\"DISABLED\"/>"
    "<t id=\"TEQ_GL_MODULATE\" alphablending=\"OFF\" s0_colorop=\"MODULATE\" s0_colorarg1=\"TEXTURE\" "
    "s0_colorarg2=\"DIFFUSE\" s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"DIFFUSE\" s1_colorop=\"DISABLE\"/>"
    "<t id=\"TEQ_GL_FOG\" fog=\"ON\" fogcolorr=\"0\" fogcolorg=\"0\" fogcolorb=\"1\" s0_colorop=\"SELECTARG1\" "
    "s0_colorarg1=\"DIFFUSE\" s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"DIFFUSE\" s1_colorop=\"DISABLE\"/>"
    "<t id=\"TEQ_GL_LIT\" fog=\"OFF\" s0_colorop=\"SELECTARG1\" s0_colorarg1=\"DIFFUSE\" s0_alphaop=\"SELECTARG1\" "
    "s0_alphaarg1=\"DIFFUSE\" s1_colorop=\"DISABLE\" dynlightmode=\"VERTEX\" dynlightambientcolorr=\"0.2\" "
    "dynlightambientcolorg=\"0.2\" dynlightambientcolorb=\"0.2\"/>"
    "<t id=\"TEQ_GL_TEXT\" alphablending=\"ON\" absrc=\"SRCALPHA\" abdest=\"INVSRCALPHA\" fog=\"OFF\" "
    "s0_colorop=\"MODULATE\" s0_colorarg1=\"TEXTURE\" s0_colorarg2=\"DIFFUSE\" s0_alphaop=\"MODULATE\" "
    "s0_alphaarg1=\"TEXTURE\" s0_alphaarg2=\"DIFFUSE\" s0_address=\"CLAMP\" s1_colorop=\"DISABLE\" "
    "s0_minfilter=\"POINT\" s0_magfilter=\"POINT\" s0_mipfilter=\"NONE\" dynlightmode=\"DISABLED\"/>"
    "</techniquespack>";

class GlPixelTest : public gltest::GlEngineTest {
protected:
    void StartEngine(int32_t mode = 3, bool windowed = true) {
        GlEngineTest::StartEngine(mode, windowed);
        engine->LoadTechniquesPack(kTechniques, static_cast<int32_t>(std::strlen(kTechniques)));
    }

    // Format index 3: A8R8G8B8 on a 32-bit display.
    int32_t LoadTexture(const std::string& id, const std::string& bytes) {
        return engine->LoadTextureFromMemory(bytes.data(), static_cast<int32_t>(bytes.size()), 3, id.c_str(), 1, 0, 0);
    }

    void Quad(float x, float y, float w, float h, float z = 0.5f) {
        engine->VQuadSetPos(x, y, w, h, z);
        engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
        engine->SceneRender();
    }

    std::vector<uint32_t> FrontBuffer() { return gltest::FrontBuffer(engine->m_pD3DDevice); }
    static uint32_t Rgb(const std::vector<uint32_t>& pixels, int x, int y) { return pixels[y * 800 + x] & 0xFFFFFFu; }
};

TEST_F(GlPixelTest, PngTextureDrawnOneToOneShowsEveryTexel) {
    StartEngine();
    const image::Image source = Picture(8, 8, [](uint32_t x, uint32_t y) {
        return 0xFF000000u | ((x * 32 + 7) << 16) | ((y * 32 + 3) << 8) | ((x * 7 + y * 11) & 0xFF);
    });
    const int32_t texture = LoadTexture("TEX_GL_PNG", Text(image::EncodePng(source)));
    Frame(0, 0, 0, [&] {
        engine->SetTexture(texture, 0);
        engine->ApplyTechnique(std::string("TEQ_GL_COPY"));
        engine->VQuadSetColor(1, 1, 1, 1);
        Quad(40, 30, 8, 8);
    });
    const std::vector<uint32_t> pixels = FrontBuffer();
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            ASSERT_EQ(Rgb(pixels, 40 + x, 30 + y), source.pixels[y * 8 + x] & 0xFFFFFFu) << x << "," << y;
    EXPECT_EQ(Rgb(pixels, 39, 30), 0u);
    EXPECT_EQ(Rgb(pixels, 48, 37), 0u);
}

TEST_F(GlPixelTest, JpegTextureDrawnOneToOneShowsItsColours) {
    StartEngine();
    const uint32_t colours[4] = {0xFFC02010u, 0xFF10C020u, 0xFF2010C0u, 0xFFE0E0E0u};
    const image::Image source =
        Picture(16, 16, [&](uint32_t x, uint32_t y) { return colours[(y / 8) * 2 + x / 8]; });
    const int32_t texture = LoadTexture("TEX_GL_JPG", Text(image::EncodeJpeg(source, 95)));
    Frame(0, 0, 0, [&] {
        engine->SetTexture(texture, 0);
        engine->ApplyTechnique(std::string("TEQ_GL_COPY"));
        Quad(100, 100, 16, 16);
    });
    const std::vector<uint32_t> pixels = FrontBuffer();
    for (int block = 0; block < 4; ++block) {
        const uint32_t shown = pixels[(100 + 4 + (block / 2) * 8) * 800 + 100 + 4 + (block % 2) * 8];
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(Channel(shown, shift), Channel(colours[block], shift), 6) << "block " << block;
    }
}

TEST_F(GlPixelTest, ModulateMultipliesTextureAndDiffuse) {
    StartEngine();
    const image::Image solid = Picture(2, 2, [](uint32_t, uint32_t) { return 0xFFC86432u; });  // 200, 100, 50
    const int32_t texture = LoadTexture("TEX_GL_SOLID", Text(image::EncodePng(solid)));
    Frame(0, 0, 0, [&] {
        engine->SetTexture(texture, 0);
        engine->ApplyTechnique(std::string("TEQ_GL_MODULATE"));
        engine->VQuadSetColor(0.5f, 1.0f, 0.25f, 1.0f);
        Quad(10, 10, 20, 20);
    });
    const uint32_t pixel = FrontBuffer()[20 * 800 + 20];
    EXPECT_NEAR(Channel(pixel, 16), 200 * 127 / 255, 1.5);
    EXPECT_NEAR(Channel(pixel, 8), 100, 1.5);
    EXPECT_NEAR(Channel(pixel, 0), 50 * 63 / 255, 1.5);
}

TEST_F(GlPixelTest, FogColourIsMixedInByTheSpecularAlpha) {
    StartEngine();
    Frame(0, 0, 0, [&] {
        engine->SetNoTexture(0);
        engine->ApplyTechnique(std::string("TEQ_GL_FOG"));
        engine->VQuadSetColor(1, 1, 1, 1);
        Quad(10, 10, 20, 20, 0.25f);  // fog amount 0.25: a quarter of the quad's colour
    });
    const uint32_t pixel = FrontBuffer()[20 * 800 + 20];
    EXPECT_NEAR(Channel(pixel, 16), 64, 1.5);
    EXPECT_NEAR(Channel(pixel, 8), 64, 1.5);
    EXPECT_NEAR(Channel(pixel, 0), 255, 1.5);
}

TEST_F(GlPixelTest, VertexLightsColourTheQuad) {
    StartEngine();
    V2DLIGHT light = {1000, 2000, 0.6f, 0.0f, 0.3f, 1.0f, 50, 50, 0.5f, true};
    engine->LightAdd("LIGHT_GL", light);
    Frame(0, 0, 0, [&] {
        engine->SetNoTexture(0);
        engine->ApplyTechnique(std::string("TEQ_GL_LIT"));
        engine->VQuadSetColor(1, 1, 1, 1);
        Quad(10, 10, 20, 20);
    });
    const uint32_t pixel = FrontBuffer()[20 * 800 + 20];
    EXPECT_NEAR(Channel(pixel, 16), 204, 1.5);  // ambient 0.2 + 0.6
    EXPECT_NEAR(Channel(pixel, 8), 51, 1.5);
    EXPECT_NEAR(Channel(pixel, 0), 128, 1.5);
}

// A font texture whose cell for code c holds an opaque white square of
// 4 + c % 8 pixels in its top left corner and is transparent elsewhere.
image::Image FontTexture() {
    return Picture(256, 256, [](uint32_t x, uint32_t y) {
        const uint32_t code = (y / 16) * 16 + x / 16;
        const uint32_t side = 4 + code % 8;
        return (x % 16 < side && y % 16 < side) ? 0xFFFFFFFFu : 0x00000000u;
    });
}

std::string FontDescription() {
    std::string xml = "<fontdesc id=\"FNT_GL\" textureid=\"TEX_GL_FONT\" techniqueid=\"TEQ_GL_TEXT\" "
                      "techpackid=\"PACK_GL\" cellsize=\"16\" color1r=\"1\" color1g=\"0.5\" color1b=\"0\"";
    for (int code = 0; code < 256; ++code) xml += " cs" + std::to_string(code) + "=\"16\"";
    return xml + "/>";
}

TEST_F(GlPixelTest, ALineOfTextCoversTheCellsOfItsCharacters) {
    StartEngine();
    LoadTexture("TEX_GL_FONT", Text(image::EncodePng(FontTexture())));
    const std::string description = FontDescription();
    engine->LoadFontFromMemory(description.data(), static_cast<int32_t>(description.size()));
    engine->SetCurrentFont(std::string("FNT_GL"));
    Frame(0, 0, 0.5f, [&] { engine->DrawText("AB A\nC", 100, 200, 0, 1, 1.0f); });
    const std::vector<uint32_t> pixels = FrontBuffer();
    // Glyph squares: 'A' (65) 5 pixels, 'B' 6, 'C' 7; the space moves 16.
    struct Square {
        int x, y, side;
    };
    const Square squares[] = {{100, 200, 5}, {116, 200, 6}, {148, 200, 5}, {100, 217, 7}};
    for (int y = 195; y < 240; ++y) {
        for (int x = 95; x < 170; ++x) {
            bool inside = false;
            for (const Square& s : squares) inside |= x >= s.x && x < s.x + s.side && y >= s.y && y < s.y + s.side;
            ASSERT_EQ(Rgb(pixels, x, y), inside ? 0xFF7F00u : 0x00007Fu) << x << "," << y;
        }
    }
}

TEST_F(GlPixelTest, ScreenshotsHoldTheFramesDrawn) {
    StartEngine(2, false);
    const auto drawFrame = [&](float r, float g, float b, float quadX) {
        Frame(r, g, b, [&] {
            engine->SetNoTexture(0);
            engine->ApplyTechnique(std::string("TEQ_GL_LIT"));
            engine->SetDynLightMode(0);
            engine->VQuadSetColor(1, 1, 0, 1);
            Quad(quadX, 0, 10, 600);
        });
    };
    drawFrame(0, 0, 1, 0);
    const std::vector<uint32_t> first = FrontBuffer();
    engine->SceneMakeScreenshot();
    drawFrame(1, 0, 0, 790);
    const std::vector<uint32_t> second = FrontBuffer();
    engine->SceneMakeScreenshot();

    const std::vector<uint32_t>* frames[] = {&first, &second};
    for (int n = 0; n < 2; ++n) {
        const std::string bytes = testsupport::ReadFile("screenshot" + std::to_string(n + 1) + ".bmp");
        ASSERT_EQ(bytes.size(), 54u + 800u * 600u * 3u);
        // Type, file size, offset 54, header 40, 800 x 600, 1 plane, 24 bits,
        // no compression, image size, zeros.
        const std::string header("BM\x36\xF9\x15\x00\0\0\0\0\x36\0\0\0\x28\0\0\0\x20\x03\0\0\x58\x02\0\0"
                                 "\x01\0\x18\0\0\0\0\0\x00\xF9\x15\x00\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0",
                                 54);
        EXPECT_EQ(bytes.substr(0, 54), header);
        const std::vector<uint32_t>& frame = *frames[n];
        for (int y = 0; y < 600; y += 7) {
            for (int x = 0; x < 800; x += 3) {
                const size_t at = 54 + (size_t(599 - y) * 800 + x) * 3;
                const uint32_t stored = uint32_t(uint8_t(bytes[at])) | (uint32_t(uint8_t(bytes[at + 1])) << 8) |
                                        (uint32_t(uint8_t(bytes[at + 2])) << 16);
                ASSERT_EQ(stored, Rgb(frame, x, y)) << "screenshot " << n + 1 << " at " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(Rgb(first, 5, 300), 0xFFFF00u);
    EXPECT_EQ(Rgb(first, 400, 300), 0x0000FFu);
    EXPECT_EQ(Rgb(second, 795, 599), 0xFFFF00u);
    EXPECT_EQ(Rgb(second, 5, 300), 0xFF0000u);
}

// Several frames of textured quads in full screen: the window the X server
// shows must hold the presented frame (the gamma lookup of the present pass
// must not be the last texture a scene left on stage 1), and mirrored quads
// are culled as Direct3D culls counter-clockwise triangles by default.
TEST_F(GlPixelTest, FullScreenWindowShowsThePresentedFramesAndMirroredQuadsAreCulled) {
    StartEngine(2, false);
    const uint32_t colours[3] = {0xFFE02040u, 0xFF30C060u, 0xFF4070D0u};
    int32_t textures[3];
    for (int i = 0; i < 3; ++i)
        textures[i] = LoadTexture("TEX_GL_SOLID" + std::to_string(i),
                                  Text(image::EncodePng(Picture(4, 4, [&](uint32_t, uint32_t) { return colours[i]; }))));
    const char* const stageOne =
        "<techniquespack><t id=\"TEQ_GL_TWO\" alphablending=\"OFF\" s0_colorop=\"SELECTARG1\" "
        "s0_colorarg1=\"TEXTURE\" s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"TEXTURE\" s1_colorop=\"SELECTARG1\" "
        "s1_colorarg1=\"CURRENT\" s1_alphaop=\"SELECTARG1\" s1_alphaarg1=\"CURRENT\"/></techniquespack>";
    engine->LoadTechniquesPack(stageOne, static_cast<int32_t>(std::strlen(stageOne)));
    SDL_Window* window = platform::SdlWindowOf(engine->m_hWnd);
    ASSERT_NE(window, nullptr);

    for (int frame = 0; frame < 4; ++frame) {
        Frame(0.1f, 0.2f, 0.3f, [&] {
            engine->ApplyTechnique(std::string("TEQ_GL_TWO"));
            for (int i = 0; i < 3; ++i) {
                engine->SetTexture(textures[(i + frame) % 3], 0);
                engine->SetTexture(textures[(i + frame + 1) % 3], 1);
                Quad(100.0f + 200.0f * i, 100, 150, 150);
            }
            // Mirrored in x, in y, and in both (which turns the winding back).
            engine->SetTexture(textures[0], 0);
            Quad(250, 350, -150, 150);
            Quad(300, 500, 150, -150);
            Quad(650, 500, -150, -150);
        });
    }
    const std::vector<uint32_t> front = FrontBuffer();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Rgb(front, 175 + 200 * i, 175), colours[(i + 3) % 3] & 0xFFFFFFu) << i;
    const uint32_t background = Rgb(front, 5, 5);
    EXPECT_EQ(Rgb(front, 175, 425), background) << "mirrored in x";
    EXPECT_EQ(Rgb(front, 375, 425), background) << "mirrored in y";
    EXPECT_EQ(Rgb(front, 575, 425), colours[0] & 0xFFFFFFu) << "mirrored in both";

    // The server's copy of the window may lag the swap a little. -1: the
    // server gave no image of the window.
    int mismatches = -1;
    testsupport::WaitUntil(
        [&] {
            const gltest::ServerImage shown = gltest::ReadServerImage(window);
            if (shown.width <= 0) return false;
            const platform::Letterbox box = platform::FitLetterbox(shown.width, shown.height, 800, 600);
            mismatches = 0;
            // The middle of each 50x50 block of the back buffer, away from edges
            // that scaling may blur.
            for (int by = 25; by < 600; by += 50) {
                for (int bx = 25; bx < 800; bx += 50) {
                    const int wx = box.x + bx * box.width / 800, wy = box.y + by * box.height / 600;
                    const uint32_t want = Rgb(front, bx, by), got = shown.pixels[wy * shown.width + wx];
                    for (int shift : {16, 8, 0})
                        if (std::abs(Channel(want, shift) - Channel(got, shift)) > 2) ++mismatches;
                }
            }
            return mismatches == 0;
        },
        std::chrono::seconds(2));
    EXPECT_EQ(mismatches, 0) << "the window shows another picture than the front buffer";
}

TEST_F(GlPixelTest, NoScreenshotWhileRenderingWindowed) {
    StartEngine(3, true);
    Frame(0, 1, 0, [] {});
    engine->SceneMakeScreenshot();
    EXPECT_FALSE(testsupport::FileExists("screenshot1.bmp"));
    EXPECT_EQ(engine->m_gfx.dwScreenshotCounter, 0u);
}

}  // namespace
