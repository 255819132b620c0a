// Bitmap fonts on the recording device: descriptions loaded through the
// resource subsystem (with their texture and technique pack on demand), the
// pen rules of DrawText and DrawTextEx, colours, measuring, and every error.
#include <filesystem>
#include <map>

#include "cvelmor_utils_csmartid.h"
#include "gfx_fixtures.h"

using namespace gfxtest;
using namespace vd3d;

namespace {

// One character quad as drawn: its top left corner as given (the half-pixel
// shift taken back), its size, the texture cell and the colour.
struct Glyph {
    float x, y, size;
    int column, row;
    uint32_t diffuse;
};

class FontTest : public GfxEngineTest {
protected:
    void SetUp() override {
        GfxEngineTest::SetUp();
        std::filesystem::create_directories("DATA/fonts");
        testsupport::WriteFile("DATA/fonts/font.png", Png(Solid(64, 64, 0xFFFFFFFFu)));
        testsupport::WriteFile("DATA/fonts/techs.xml",
                               "<techniquespack><t id=\"TEQ_UT_FONT\" alphablending=\"ON\" absrc=\"SRCALPHA\"/>"
                               "<t id=\"TEQ_UT_OTHER\" alphablending=\"OFF\"/></techniquespack>");
        testsupport::WriteFile("DATA/fonts/a.xml", FontXml({}));
        testsupport::WriteFile("DATA/res.xml",
                               "<respack>"
                               "<r id=\"TEX_UT_FONT\" typeid=\"TEXTURE\" filename=\"fonts/font.png\" tag=\"1\" "
                               "data1=\"3\"/>"
                               "<r id=\"TEQ_PACK_UT\" typeid=\"TECHNIQUE\" filename=\"fonts/techs.xml\" tag=\"1\"/>"
                               "<r id=\"FNT_UT_A\" typeid=\"FONT\" filename=\"fonts/a.xml\" tag=\"2\"/>"
                               "</respack>");
        engine->ResourcesInit();
    }
    void TearDown() override {
        engine->ResourcesDeinit();
        GfxEngineTest::TearDown();
    }

    // A description with cell 16, colours 0 (red), 2 (0, 0.5, 1) and 3
    // (green), advances 10.5 except space 8.7 and tab 20.2. `changes` sets
    // attributes; an empty value leaves the attribute out.
    static std::string FontXml(const std::map<std::string, std::string>& changes,
                               const std::string& root = "fontdesc") {
        std::map<std::string, std::string> a = {
            {"id", "FNT_UT_A"},        {"textureid", "TEX_UT_FONT"}, {"techniqueid", "TEQ_UT_FONT"},
            {"techpackid", "TEQ_PACK_UT"}, {"cellsize", "16"},       {"tag", "5"},
            {"color0r", "1"},          {"color2g", "0.5"},           {"color2b", "1"},
            {"color3g", "1"},
        };
        for (int code = 0; code < 256; ++code) a["cs" + std::to_string(code)] = "10.5";
        a["cs32"] = "8.7";
        a["cs9"] = "20.2";
        for (const auto& [name, value] : changes) a[name] = value;
        std::string xml = "<" + root;
        for (const auto& [name, value] : a)
            if (!value.empty()) xml += " " + name + "=\"" + value + "\"";
        return xml + "/>";
    }

    int32_t LoadFont(const std::string& xml) {
        return engine->LoadFontFromMemory(xml.data(), static_cast<int32_t>(xml.size()));
    }

    // Runs `draw` inside a scene and returns the glyphs it queued.
    template <typename Draw>
    std::vector<Glyph> Drawn(Draw draw) {
        Device().ClearRecords();
        engine->SceneBegin();
        draw();
        engine->SceneEnd();
        std::vector<Glyph> glyphs;
        for (const RecordedDraw& d : Device().draws) {
            const std::vector<V2DVERTEX> v = Vertices(d);
            for (size_t q = 0; q + 3 < v.size(); q += 4)
                glyphs.push_back(Glyph{v[q].x + 0.5f, v[q].y + 0.5f, v[q + 1].x - v[q].x,
                                       int(v[q].tu1 * 16 + 0.5f), int(v[q].tv1 * 16 + 0.5f), v[q].diffuse});
        }
        return glyphs;
    }
};

TEST_F(FontTest, AFontWhoseTextureIsNotLoadedLoadsItAndItsTechniquePack) {
    EXPECT_EQ(engine->m_gfx.pTextures->FindByName("TEX_UT_FONT"), -1);
    EXPECT_EQ(engine->m_gfx.pTechniques->FindByName("TEQ_UT_FONT"), -1);
    CSmartID fontID("FNT_UT_A");
    engine->LoadResource("FNT_UT_A");
    const int32_t font = engine->GetFontID("FNT_UT_A");
    ASSERT_EQ(font, 0);
    EXPECT_EQ(fontID.GetID(), 0);
    EXPECT_EQ(engine->m_gfx.pFonts->GetTag(0), 5);
    const V2DFONT& f = *engine->m_gfx.pFonts->GetItem(font);
    EXPECT_EQ(f.TextureID, engine->m_gfx.pTextures->FindByName("TEX_UT_FONT"));
    EXPECT_GE(f.TextureID, 0);
    EXPECT_EQ(f.TechniqueID, engine->m_gfx.pTechniques->FindByName("TEQ_UT_FONT"));
    EXPECT_GE(f.TechniqueID, 0);
    EXPECT_EQ(f.CellSize, 16.0f);
    EXPECT_FLOAT_EQ(f.Advance[65], 10.5f);
    EXPECT_FLOAT_EQ(f.Advance[32], 8.7f);
    EXPECT_EQ(f.Colors[2][1], 0.5f);
    EXPECT_EQ(f.Colors[2][3], 1.0f);
    EXPECT_EQ(f.Colors[9][0], 0.0f);
    EXPECT_TRUE(LogHas("  -=: Loading font description from memory..."));
    EXPECT_TRUE(LogHas("   +: 2 techniques loaded."));

    EXPECT_EQ(LoadFont(FontXml({})), 0);
    EXPECT_TRUE(LogHas(" !: Warning: Dublicated font!"));
    EXPECT_EQ(engine->m_gfx.pFonts->GetCount(), 1);
    EXPECT_EQ(engine->GetFontID("FNT_UT_NONE"), -1);
    EXPECT_TRUE(LogHas(" !: Cannot find iID of font with strID = FNT_UT_NONE"));
    EXPECT_EQ(DemandFont("FNT_UT_A"), 0);
}

TEST_F(FontTest, DrawingBeforeAnySetCurrentFontUsesFontZero) {
    engine->LoadResource("FNT_UT_A");
    EXPECT_EQ(engine->m_gfx.iCurrentFont, -1);
    const std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText("A", 10, 20, 0, -1, 1.0f); });
    EXPECT_EQ(engine->m_gfx.iCurrentFont, 0);
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_EQ(glyphs[0].x, 10.0f);
    EXPECT_EQ(glyphs[0].y, 20.0f);
    EXPECT_EQ(glyphs[0].size, 16.0f);
    EXPECT_EQ(glyphs[0].column, 1);  // 'A' is 65: column 1, row 4
    EXPECT_EQ(glyphs[0].row, 4);
    const V2DFONT& f = *engine->m_gfx.pFonts->GetItem(0);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[0], f.TextureID);
    EXPECT_EQ(engine->m_gfx.iCurrentTechnique, f.TechniqueID);
    EXPECT_EQ(Device().draws[0].renderStates[D3DRS_ALPHABLENDENABLE], 1u);
}

TEST_F(FontTest, NewlineReturnsThePenAndMovesDownATenthMoreThanTheCell) {
    engine->LoadResource("FNT_UT_A");
    const std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText("A\nB", 10, 20, 0, -1, 1.0f); });
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[1].x, 10.0f);
    EXPECT_EQ(glyphs[1].y, 37.0f);  // floor(16 * 1.1) = 17
}

TEST_F(FontTest, GlyphAdvancesAreExactWhileSpacesAndTabsMoveWholePixels) {
    engine->LoadResource("FNT_UT_A");
    std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText("AB C\tD", 10, 20, 0, -1, 1.0f); });
    ASSERT_EQ(glyphs.size(), 4u);
    EXPECT_EQ(glyphs[1].x, 20.5f);
    EXPECT_EQ(glyphs[2].x, 39.0f);  // 31 + floor(8.7)
    EXPECT_EQ(glyphs[3].x, 69.5f);  // 49.5 + floor(20.2)
}

TEST_F(FontTest, ControlCharactersDrawNothingAndLeaveThePen) {
    engine->LoadResource("FNT_UT_A");
    const std::vector<Glyph> glyphs =
        Drawn([&] { engine->DrawText("A\x01\x08\x0b\x0c\x0d\x1f" "B", 10, 20, 0, -1, 1.0f); });
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[1].x, 20.5f);
    EXPECT_EQ(glyphs[1].y, 20.0f);
}

TEST_F(FontTest, MaxCharactersEndsTheText) {
    engine->LoadResource("FNT_UT_A");
    EXPECT_EQ(Drawn([&] { engine->DrawText("ABCD", 0, 0, 2, -1, 1.0f); }).size(), 2u);
    EXPECT_EQ(Drawn([&] { engine->DrawText("AB\0CD", 0, 0, 4, -1, 1.0f); }).size(), 2u);
}

TEST_F(FontTest, ColourIndexColoursTheQuadsAndMinusOneKeepsTheQuadColour) {
    engine->LoadResource("FNT_UT_A");
    std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText("A", 0, 0, 0, 2, 0.5f); });
    EXPECT_EQ(glyphs[0].diffuse, 0x7F007FFFu);
    engine->VQuadSetColor(0.0f, 1.0f, 0.0f, 1.0f);
    glyphs = Drawn([&] { engine->DrawText("A", 0, 0, 0, -1, 0.5f); });
    EXPECT_EQ(glyphs[0].diffuse, 0xFF00FF00u);
    EXPECT_EQ(Raised([&] { engine->DrawText("A", 0, 0, 0, 10, 1.0f); }).GetDesc(),
              "Cannot draw text: invalid color index. Index = 10");
}

TEST_F(FontTest, PercentAndADigitSwitchColoursOnlyInDrawTextExWithAColourIndex) {
    engine->LoadResource("FNT_UT_A");
    std::vector<Glyph> glyphs = Drawn([&] { engine->DrawTextEx("A%3B", 0, 0, 0, 0, 1.0f, true, 1, 0, 0); });
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].diffuse, 0xFFFF0000u);
    EXPECT_EQ(glyphs[1].diffuse, 0xFF00FF00u);
    EXPECT_EQ(glyphs[1].x, 10.0f);  // the switch takes no room

    glyphs = Drawn([&] { engine->DrawTextEx("%3", 0, 0, 0, -1, 1.0f, true, 1, 0, 0); });
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].column * 1 + glyphs[0].row * 16, '%');
    EXPECT_EQ(glyphs[1].column + glyphs[1].row * 16, '3');
    EXPECT_EQ(Drawn([&] { engine->DrawText("%3", 0, 0, 0, 0, 1.0f); }).size(), 2u);
    // A "%" at the end of the text, or cut off from its digit, is a glyph.
    EXPECT_EQ(Drawn([&] { engine->DrawTextEx("A%", 0, 0, 0, 0, 1.0f, true, 1, 0, 0); }).size(), 2u);
    EXPECT_EQ(Drawn([&] { engine->DrawTextEx("A%3", 0, 0, 2, 0, 1.0f, true, 1, 0, 0); }).size(), 2u);
}

TEST_F(FontTest, DrawTextExScalesCellsAndAddsSpacing) {
    engine->LoadResource("FNT_UT_A");
    const std::vector<Glyph> glyphs =
        Drawn([&] { engine->DrawTextEx("AB\nC D", 10, 20, 0, -1, 1.0f, true, 2.0f, 1.0f, 3.0f); });
    ASSERT_EQ(glyphs.size(), 4u);
    EXPECT_EQ(glyphs[0].size, 32.0f);
    EXPECT_EQ(glyphs[1].x, 32.0f);  // floor(2 * 10.5 + 1) = 22
    EXPECT_EQ(glyphs[2].x, 10.0f);
    EXPECT_EQ(glyphs[2].y, 58.0f);  // floor(32 * 1.1 + 3) = 38
    EXPECT_EQ(glyphs[3].x, 50.0f);  // 32 + floor(2 * 8.7 + 1) = 18
}

TEST_F(FontTest, DrawTextExAppliesTheTechniqueOnlyWhenAsked) {
    engine->LoadResource("FNT_UT_A");
    engine->ApplyTechnique(std::string("TEQ_UT_OTHER"));
    const int32_t other = engine->m_gfx.iCurrentTechnique;
    Drawn([&] { engine->DrawTextEx("A", 0, 0, 0, -1, 1.0f, false, 1, 0, 0); });
    EXPECT_EQ(engine->m_gfx.iCurrentTechnique, other);
    Drawn([&] { engine->DrawTextEx("A", 0, 0, 0, -1, 1.0f, true, 1, 0, 0); });
    EXPECT_NE(engine->m_gfx.iCurrentTechnique, other);
}

TEST_F(FontTest, StringWidthCountsTheFirstLineWithoutColourSwitches) {
    engine->LoadResource("FNT_UT_A");
    EXPECT_EQ(engine->GetStringWidth("AB C%3D\nEF", 0, 1.0f, 0.0f), 48.0f);  // 4 x 10 + 8
    EXPECT_EQ(engine->GetStringWidth("AB C%3D\x01", 0, 2.0f, 1.0f), 106.0f);  // 4 x 22 + 18
    EXPECT_EQ(engine->GetStringWidth("", 0, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(engine->GetStringWidth("%", 0, 1.0f, 0.0f), 10.0f);
}

TEST_F(FontTest, SetCurrentFontInItsThreeForms) {
    engine->LoadResource("FNT_UT_A");
    LoadFont(FontXml({{"id", "FNT_UT_B"}}));
    engine->SetCurrentFont(std::string("FNT_UT_B"));
    EXPECT_EQ(engine->m_gfx.iCurrentFont, 1);
    engine->SetCurrentFont(0);
    EXPECT_EQ(engine->m_gfx.iCurrentFont, 0);

    CEHSException e = Raised([&] { engine->SetCurrentFont(5); });
    EXPECT_EQ(e.GetDesc(), "Cannot set current font: invalid ID. ID = 5");
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_font");
    EXPECT_EQ(Raised([&] { engine->SetCurrentFont(std::string("FNT_UT_NONE")); }).GetDesc(),
              "Cannot set current font: invalid ID. strID = FNT_UT_NONE");

    // The identifier form is taken as it is; drawing finds it wrong.
    CSmartID unloaded("FNT_UT_C");
    CSmartID::BindByName("FNT_UT_C", 5);
    engine->SetCurrentFont(unloaded);
    EXPECT_EQ(engine->m_gfx.iCurrentFont, 5);
    e = Raised([&] { engine->DrawText("A", 0, 0, 0, -1, 1.0f); });
    EXPECT_EQ(e.GetDesc(), "Cannot draw text: invalid current font id. ID = 5");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GAME));
    e = Raised([&] { engine->GetStringWidth("A", 3, 1.0f, 0.0f); });
    EXPECT_EQ(e.GetDesc(), "Cannot calculate string width: invalid font id. ID = 3");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GAME));
}

TEST_F(FontTest, ALostDeviceResetKeepsTheCurrentFont) {
    engine->LoadResource("FNT_UT_A");
    const int32_t b = LoadFont(FontXml({{"id", "FNT_UT_B"}, {"cellsize", "32"}}));
    engine->SetCurrentFont(b);
    g_bWindowActive = 1;
    Device().LoseDevice();
    engine->UpdateAllSystems();
    Device().RestoreWindow();
    EXPECT_EQ(engine->UpdateAllSystems(), 1);
    ASSERT_EQ(Device().CountCalls("Reset"), 1);
    EXPECT_EQ(engine->m_gfx.iCurrentFont, b);
    // Text is drawn in that font: its cells are 32 pixels.
    const std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText("AB", 0, 0, 0, -1, 1.0f); });
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_FLOAT_EQ(glyphs[0].size, 32.0f);
}

TEST_F(FontTest, DrawingWithNoFontLoadedIsFatal) {
    const CEHSException e = Raised([&] { engine->DrawText("A", 0, 0, 0, -1, 1.0f); });
    EXPECT_EQ(e.GetDesc(), "Cannot draw text: invalid current font id. ID = 0");
}

TEST_F(FontTest, EveryDescriptionErrorIsFatal) {
    struct Case {
        std::string xml;
        std::string message;
        uint32_t type;
    };
    const std::vector<Case> cases = {
        {"no element", "Parsing error during loading the font data!", EHS_TYPE_GAME},
        {FontXml({}, "font"), "XML file doesn't contain font description!", EHS_TYPE_GAME},
        {FontXml({{"id", ""}}), "Invalid font ID", EHS_TYPE_GENERAL},
        {FontXml({{"textureid", ""}}), "Invalid font texture ID!", EHS_TYPE_GENERAL},
        {FontXml({{"textureid", "TEX_UT_MISSING"}}), "Cannot load font texture!", EHS_TYPE_GENERAL},
        {FontXml({{"techniqueid", ""}}), "Invalid font technique ID!", EHS_TYPE_GENERAL},
        {FontXml({{"techpackid", ""}}), "Invalid font technique pack ID!", EHS_TYPE_GENERAL},
        {FontXml({{"techniqueid", "TEQ_UT_MISSING"}}), "Cannot load font technique!", EHS_TYPE_GENERAL},
        {FontXml({{"cellsize", ""}}), "Invalid font cell size!", EHS_TYPE_GENERAL},
        {FontXml({{"cs200", ""}}), "Invalid character length!", EHS_TYPE_GENERAL},
    };
    for (const Case& c : cases) {
        const CEHSException e = Raised([&] { LoadFont(c.xml); });
        EXPECT_EQ(e.GetDesc(), c.message);
        EXPECT_EQ(e.GetType(), c.type) << c.message;
        EXPECT_EQ(e.GetFile(), "cvelmor_gfx_font");
    }
    EXPECT_EQ(engine->m_gfx.pFonts->GetCount(), 0);
    EXPECT_TRUE(LogHas(" !: Cannot find resource with ID = TEX_UT_MISSING"));
}

}  // namespace
