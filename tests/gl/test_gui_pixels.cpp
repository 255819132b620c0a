// GUI data drawn through the OpenGL device on a real X server (xvfb-run,
// Mesa): a window with a nine-patch frame, a button with a tinted child and
// a centred label, read back pixel by pixel.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "gl_fixtures.h"
#include "image.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

// COPY shows the texture as it is; MODULATE multiplies it by the quad colour.
const char* const kTechniques =
    "<techniquespack>"
    "<t id=\"TEQ_GUI_COPY\" alphablending=\"OFF\" fog=\"OFF\" s0_colorop=\"SELECTARG1\" s0_colorarg1=\"TEXTURE\" "
    "s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"TEXTURE\" s0_address=\"CLAMP\" s1_colorop=\"DISABLE\" "
    "s0_minfilter=\"POINT\" s0_magfilter=\"POINT\" s0_mipfilter=\"NONE\" dynlightmode=\"DISABLED\"/>"
    "<t id=\"TEQ_GUI_MODULATE\" alphablending=\"OFF\" fog=\"OFF\" s0_colorop=\"MODULATE\" s0_colorarg1=\"TEXTURE\" "
    "s0_colorarg2=\"DIFFUSE\" s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"DIFFUSE\" s0_address=\"CLAMP\" "
    "s1_colorop=\"DISABLE\" s0_minfilter=\"POINT\" s0_magfilter=\"POINT\" s0_mipfilter=\"NONE\" "
    "dynlightmode=\"DISABLED\"/>"
    "</techniquespack>";

// A window at (100, 100), 300x200, framed by an 8-pixel border; a button at
// (150, 150), 100x40, with a 20x20 child at (160, 160) that takes the
// button's child colour; a label 100 wide at (160, 210) centring "AAAA" in
// red: four 8-pixel glyphs from x = 160 + 34.
const char* const kGui = R"(<desktop>
  <window id="WND" coords="0 0 300 200" enabled="1" location_hidden="100 100" location_middle="100 100"
          location_shown="100 100">
    <tile id="FRAME" coords="0 0 300 200" visible="1" enabled="1" drawscheme="4" drawparams="32 32 8 8"
          technique="TEQ_GUI_COPY" texture="TEX_FRAME"/>
    <button id="BTN" coords="50 50 100 40" visible="1" enabled="1" technique="TEQ_GUI_MODULATE"
            texture_normal="TEX_GREEN" texture_selected="TEX_YELLOW" childscolor_normal="1 0 1 1"
            childscolor_selected="0 1 1 1">
      <tile id="MARK" coords="10 10 20 20" visible="1" enabled="1" technique="TEQ_GUI_MODULATE"
            texture="TEX_WHITE"/>
    </button>
    <label id="LBL" coords="60 110 100 16" font="FNT_GUI_T" text="AAAA" font_color="0" alignment="2"
           font_setdefaulttechnique="1" visible="1" enabled="1"/>
  </window></desktop>)";

const uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGrey = 0x808080, kGreen = 0x00FF00, kYellow = 0xFFFF00, kMagenta = 0xFF00FF,
               kCyan = 0x00FFFF, kBlack = 0x000000;

class GlGuiPixelTest : public gltest::GlEngineTest {
protected:
    void StartGUI() {
        StartEngine();
        engine->ResourcesInit();
        engine->ScriptsInit();
        engine->LoadTechniquesPack(kTechniques, static_cast<int32_t>(std::strlen(kTechniques)));
        // The frame: a blue 8-texel border around a grey centre.
        image::Image frame;
        frame.width = frame.height = 32;
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x) {
                const bool border = x < 8 || y < 8 || x >= 24 || y >= 24;
                frame.pixels.push_back(border ? 0xFF0000FFu : 0xFF808080u);
            }
        LoadTexture("TEX_FRAME", frame);
        LoadTexture("TEX_GREEN", Solid(0xFF00FF00u));
        LoadTexture("TEX_YELLOW", Solid(0xFFFFFF00u));
        LoadTexture("TEX_WHITE", Solid(0xFFFFFFFFu));
        // Every glyph cell of the font is solid white; colour 0 is red.
        image::Image glyphs;
        glyphs.width = glyphs.height = 128;
        glyphs.pixels.assign(128 * 128, 0xFFFFFFFFu);
        LoadTexture("TEX_GLYPHS", glyphs);
        std::string font = "<fontdesc id=\"FNT_GUI_T\" textureid=\"TEX_GLYPHS\" techniqueid=\"TEQ_GUI_MODULATE\" "
                           "techpackid=\"TEQ_PACK_T\" cellsize=\"8\" color0r=\"1\"";
        for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + "=\"8\"";
        font += "/>";
        ASSERT_GE(engine->LoadFontFromMemory(font.data(), static_cast<int32_t>(font.size())), 0);
        gui = std::make_unique<CVelmorGUI>();
        CXMLDocument document;
        document.LoadFromBuffer(kGui, std::strlen(kGui), false);
        document.Parse();
        LoadGUIData(document.GetRoot());
    }
    void TearDown() override {
        gui.reset();
        GlEngineTest::TearDown();
    }

    static image::Image Solid(uint32_t argb) {
        image::Image result;
        result.width = result.height = 8;
        result.pixels.assign(64, argb);
        return result;
    }
    void LoadTexture(const std::string& id, const image::Image& picture) {
        const std::vector<uint8_t> png = image::EncodePng(picture);
        ASSERT_GE(engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, id.c_str(), 1, 0, 0),
                  0);
    }
    // One GUI frame with the cursor at (x, y), drawn and read back.
    std::vector<uint32_t> GuiFrame(int32_t x, int32_t y) {
        engine->m_inp.iCursorX = x;
        engine->m_inp.iCursorY = y;
        gui->Update();
        Frame(0, 0, 0, [&] { gui->Draw(); });
        return gltest::FrontBuffer(engine->m_pD3DDevice);
    }
    static uint32_t Rgb(const std::vector<uint32_t>& pixels, int x, int y) { return pixels[y * 800 + x] & 0xFFFFFFu; }

    std::unique_ptr<CVelmorGUI> gui;
};

TEST_F(GlGuiPixelTest, WindowFrameAndButtonLooksReachTheScreen) {
    StartGUI();
    gui->ExecuteElementCommand("WND", 1);
    struct Probe {
        const char* what;
        int x, y;
        uint32_t rgb;
    };
    const Probe idle[] = {
        {"top-left corner", 103, 103, kBlue},   {"top edge", 250, 104, kBlue},
        {"left edge", 104, 220, kBlue},         {"bottom-right corner", 396, 296, kBlue},
        {"right edge", 395, 200, kBlue},        {"centre", 320, 250, kGrey},
        {"just inside the border", 109, 109, kGrey},
        {"button, normal texture", 220, 180, kGreen},
        {"child, normal colour", 170, 170, kMagenta},
        {"label, first glyph", 196, 213, kRed},     {"label, last glyph", 225, 213, kRed},
        {"left of the centred text", 190, 213, kGrey}, {"right of the centred text", 229, 213, kGrey},
        {"left of the window", 98, 150, kBlack}, {"below the window", 200, 302, kBlack},
    };
    std::vector<uint32_t> pixels = GuiFrame(0, 0);
    for (const Probe& probe : idle) EXPECT_EQ(Rgb(pixels, probe.x, probe.y), probe.rgb) << probe.what;

    pixels = GuiFrame(200, 170);  // over the button
    const Probe hovered[] = {
        {"button, selected texture", 220, 180, kYellow},
        {"child, selected colour", 170, 170, kCyan},
        {"frame unchanged", 103, 103, kBlue},
    };
    for (const Probe& probe : hovered) EXPECT_EQ(Rgb(pixels, probe.x, probe.y), probe.rgb) << probe.what;

    gui->ExecuteElementCommand("WND", 2);
    pixels = GuiFrame(200, 170);
    for (const Probe& probe : idle) EXPECT_EQ(Rgb(pixels, probe.x, probe.y), kBlack) << "hidden: " << probe.what;
}

}  // namespace
