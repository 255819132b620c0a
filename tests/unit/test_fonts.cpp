// Bitmap fonts on the recording device: descriptions loaded through the
// resource subsystem (with their texture and technique pack on demand), the
// pen rules of DrawText and DrawTextEx, colours, measuring, and every error.
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>

#include "cvelmor_utils_csmartid.h"
#include "gfx_fixtures.h"
#include "image.h"
#include "test_support.h"

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
        testsupport::WriteFile("DATA/fonts/page1.png", Png(Solid(64, 32, 0xFFFFFFFFu)));
        testsupport::WriteFile("DATA/fonts/page2.png", Png(Solid(32, 16, 0xFFFFFFFFu)));
        testsupport::WriteFile("DATA/res.xml",
                               "<respack>"
                               "<r id=\"TEX_UT_FONT\" typeid=\"TEXTURE\" filename=\"fonts/font.png\" tag=\"1\" "
                               "data1=\"3\"/>"
                               "<r id=\"TEQ_PACK_UT\" typeid=\"TECHNIQUE\" filename=\"fonts/techs.xml\" tag=\"1\"/>"
                               "<r id=\"FNT_UT_A\" typeid=\"FONT\" filename=\"fonts/a.xml\" tag=\"2\"/>"
                               "<r id=\"TEX_UT_PAGE1\" typeid=\"TEXTURE\" filename=\"fonts/page1.png\" tag=\"1\"/>"
                               "<r id=\"TEX_UT_PAGE2\" typeid=\"TEXTURE\" filename=\"fonts/page2.png\" tag=\"1\"/>"
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
                               const std::string& root = "fontdesc", const std::string& children = "") {
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
        return children.empty() ? xml + "/>" : xml + ">" + children + "</" + root + ">";
    }

    // FNT_UT_A with two pages: U+0100 to U+017F on a 16 by 8 grid (advance
    // 12, U+012C missing) and U+0400 to U+041F on 8 by 4 (advance 14); the
    // box is in cell 127.
    static std::string PagedFontXml(const std::string& fallback = "127") {
        std::string page1 = "<page textureid=\"TEX_UT_PAGE1\" first=\"256\" rows=\"8\"";
        for (int code = 256; code < 384; ++code)
            if (code != 300) page1 += " cs" + std::to_string(code) + "=\"12\"";
        std::string page2 = "<page textureid=\"TEX_UT_PAGE2\" first=\"1024\" columns=\"8\" rows=\"4\"";
        for (int code = 1024; code < 1056; ++code) page2 += " cs" + std::to_string(code) + "=\"14\"";
        return FontXml({{"fallback", fallback}}, "fontdesc", page1 + "/>" + page2 + "/><other/>");
    }

    // One drawn glyph: its texture, its texture rectangle and where it stands.
    struct PagedGlyph {
        const void* texture;
        float left, top, right, bottom;
        float x;
    };
    template <typename Draw>
    std::vector<PagedGlyph> DrawnFromPages(Draw draw) {
        Device().ClearRecords();
        engine->SceneBegin();
        draw();
        engine->SceneEnd();
        std::vector<PagedGlyph> glyphs;
        for (const RecordedDraw& d : Device().draws) {
            const std::vector<V2DVERTEX> v = Vertices(d);
            for (size_t q = 0; q + 3 < v.size(); q += 4)
                glyphs.push_back({d.textures[0], v[q].tu1, v[q].tv1, v[q + 2].tu1, v[q + 2].tv1, v[q].x + 0.5f});
        }
        return glyphs;
    }
    const void* Texture(const char* id) {
        return engine->m_gfx.pTextures->GetItem(engine->m_gfx.pTextures->FindByName(id));
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

// Text is UTF-8; a byte that starts no valid sequence is its Latin-1
// character; a code point the font lacks is the fallback box.
TEST_F(FontTest, Utf8TextFindsItsGlyphsOnThePagesAndTheFallbackForTheRest) {
    LoadFont(PagedFontXml());
    const void* root = Texture("TEX_UT_FONT");
    const void* page1 = Texture("TEX_UT_PAGE1");
    const void* page2 = Texture("TEX_UT_PAGE2");
    struct Cell {
        const void* texture;
        int column, row, columns, rows;
        float x;
    };
    const auto latin1 = [&](int code, float x) { return Cell{root, code % 16, code / 16, 16, 16, x}; };
    const Cell box = latin1(127, 0);
    struct Case {
        const char* text;
        uint32_t maxChars;
        std::vector<Cell> cells;
    };
    const std::vector<Case> cases = {
        {"A", 0, {latin1('A', 0)}},
        {"\xC3\xA4", 0, {latin1(0xE4, 0)}},                                 // ä as UTF-8: one character
        {"\xE4", 0, {latin1(0xE4, 0)}},                                     // ä as a Latin-1 byte
        {"\xC3(", 0, {latin1(0xC3, 0), latin1('(', 10)}},                     // a lead byte without its follower
        {"\xC0\xAF", 0, {latin1(0xC0, 0), latin1(0xAF, 10)}},                // overlong
        {"\xED\xA0\x80", 0, {latin1(0xED, 0), latin1(0xA0, 10), latin1(0x80, 20)}},  // a surrogate
        {"\xC4\x81" "A", 0, {{page1, 1, 0, 16, 8, 0}, latin1('A', 12)}},     // ā on page 1
        {"\xC5\xBF", 0, {{page1, 15, 7, 16, 8, 0}}},                         // U+017F, the page's last cell
        {"\xD0\x89\xD0\x80", 0, {{page2, 1, 1, 8, 4, 0}, {page2, 0, 0, 8, 4, 14}}},  // Љ, Ѐ
        {"\xC4\xAC", 0, {box}},                                           // U+012C: on a page, not in the font
        {"\xD0\xA0", 0, {box}},                                           // U+0420: past page 2
        {"\xE4\xB8\xAD\xF0\x9F\x98\x80", 0, {box, {root, 15, 7, 16, 16, 10}}},  // 中 and an emoji
        {"%3A%x%", 0, {latin1('A', 0), latin1('%', 10), latin1('x', 20), latin1('%', 30)}},
        {"\xC4\x81\xC4\x81\xC4\x81", 2, {{page1, 1, 0, 16, 8, 0}, {page1, 1, 0, 16, 8, 12}}},
    };
    for (const Case& c : cases) {
        const std::vector<PagedGlyph> glyphs =
            DrawnFromPages([&] { engine->DrawTextEx(c.text, 0, 0, c.maxChars, 0, 1.0f, true, 1, 0, 0); });
        ASSERT_EQ(glyphs.size(), c.cells.size()) << c.text;
        float width = 0;
        for (size_t i = 0; i < glyphs.size(); ++i) {
            const Cell& cell = c.cells[i];
            const float columns = static_cast<float>(cell.columns), rows = static_cast<float>(cell.rows);
            EXPECT_EQ(glyphs[i].texture, cell.texture) << c.text << " " << i;
            EXPECT_FLOAT_EQ(glyphs[i].left, static_cast<float>(cell.column) / columns) << c.text << " " << i;
            EXPECT_FLOAT_EQ(glyphs[i].top, static_cast<float>(cell.row) / rows) << c.text << " " << i;
            EXPECT_FLOAT_EQ(glyphs[i].right, static_cast<float>(cell.column + 1) / columns) << c.text << " " << i;
            EXPECT_FLOAT_EQ(glyphs[i].bottom, static_cast<float>(cell.row + 1) / rows) << c.text << " " << i;
            EXPECT_EQ(glyphs[i].x, cell.x) << c.text << " " << i;
            width = glyphs[i].x + (cell.texture == page1 ? 12.0f : cell.texture == page2 ? 14.0f : 10.0f);
        }
        if (c.maxChars == 0) EXPECT_EQ(engine->GetStringWidth(c.text, 0, 1, 0), width) << c.text;
    }
    // The pen meets no box without a fallback glyph: a blank's advance.
    LoadFont(FontXml({{"id", "FNT_UT_B"}}));
    engine->SetCurrentFont(1);
    const std::vector<PagedGlyph> glyphs =
        DrawnFromPages([&] { engine->DrawTextEx("\xC4\x81" "A", 0, 0, 0, 0, 1.0f, true, 1, 0, 0); });
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_EQ(glyphs[0].x, 8.0f);
    EXPECT_EQ(engine->GetStringWidth("\xC4\x81" "A", 1, 1, 0), 18.0f);
}

#if !defined(_WIN32)  // runs the font tool with the build machine's Python
// A font made by velmorfont from a packaged TrueType font, declared by the
// resource lines it prints: Latin-1, its pages and the box for the rest
// draw from cells that hold ink, each glyph advancing the pen.
TEST_F(FontTest, VelmorfontOutputLoadsAndDrawsEveryScriptItWasAskedFor) {
    const std::string command = std::string(VELMOR_TEST_PYTHON) + " " + VELMOR_FONT_TOOL +
                                " /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf --id FNT_MADE --size 20"
                                " --out DATA/made --pages latin-ext-a,greek,cyrillic --technique TEQ_UT_FONT"
                                " --techpack TEQ_PACK_UT > lines.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    testsupport::WriteFile("DATA/made.xml", "<respack>" + testsupport::ReadFile("lines.txt") + "</respack>");
    engine->ResourcesDeinit();
    engine->ResourcesInit();
    engine->LoadResources(1);
    engine->SetCurrentFont("FNT_MADE");

    const auto ink = [](const std::string& file, int column, int row, int columns, int rows) {
        const std::string bytes = testsupport::ReadFile("DATA/made/" + file);
        image::Image picture;
        std::string error;
        if (!image::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture, error)) return -1;
        const uint32_t w = picture.width / columns, h = picture.height / rows;
        int count = 0;
        for (uint32_t y = row * h; y < (row + 1) * h; ++y) {
            for (uint32_t x = column * w; x < (column + 1) * w; ++x)
                count += (picture.pixels[y * picture.width + x] >> 24) > 128;
        }
        return count;
    };
    struct Expected {
        const char* texture;
        const char* file;
        int code, first, rows;
    };
    // A, n with tilde, a with macron, Greek Omega, Cyrillic zhe, and a CJK
    // ideograph DejaVu Sans lacks: the box in cell 127.
    const Expected expected[] = {{"TEX_FNT_MADE", "fnt_made.png", 'A', 0, 16},
                                 {"TEX_FNT_MADE", "fnt_made.png", 0xF1, 0, 16},
                                 {"TEX_FNT_MADE_0100", "fnt_made_0100.png", 0x101, 0x100, 8},
                                 {"TEX_FNT_MADE_0370", "fnt_made_0370.png", 0x3A9, 0x370, 32},
                                 {"TEX_FNT_MADE_0370", "fnt_made_0370.png", 0x436, 0x370, 32},
                                 {"TEX_FNT_MADE", "fnt_made.png", 127, 0, 16}};
    const std::vector<PagedGlyph> glyphs = DrawnFromPages(
        [&] { engine->DrawTextEx("A\xC3\xB1\xC4\x81\xCE\xA9\xD0\xB6\xE4\xB8\xAD", 0, 0, 0, 0, 1.0f, true, 1, 0, 0); });
    ASSERT_EQ(glyphs.size(), std::size(expected));
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.code);
        const int k = e.code - e.first, rows = e.rows;
        EXPECT_EQ(glyphs[i].texture, Texture(e.texture));
        EXPECT_FLOAT_EQ(glyphs[i].left, (k % 16) / 16.0f);
        EXPECT_FLOAT_EQ(glyphs[i].top, static_cast<float>(k / 16) / static_cast<float>(rows));
        EXPECT_GT(ink(e.file, k % 16, k / 16, 16, rows), 10);
        if (i > 0) {
            EXPECT_GT(glyphs[i].x, glyphs[i - 1].x + 4);
        }
    }
    // A cell the font has no code point for holds nothing.
    EXPECT_EQ(ink("fnt_made.png", 0, 8, 16, 16), 0);
}
#endif

// A font of 256 cells alone draws every byte that starts no UTF-8 sequence
// from the cell of its code, as such fonts always did, and Latin-1 names
// stored by older versions look as they did.
TEST_F(FontTest, AFontWithoutPagesDrawsLatin1BytesAsBefore) {
    engine->LoadResource("FNT_UT_A");
    std::string bytes;
    for (int code = 33; code < 256; ++code) bytes += static_cast<char>(code);
    const std::vector<Glyph> glyphs = Drawn([&] { engine->DrawText(bytes.c_str(), 0, 0, 0, -1, 1.0f); });
    ASSERT_EQ(glyphs.size(), bytes.size());
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const int code = static_cast<unsigned char>(bytes[i]);
        EXPECT_EQ(glyphs[i].column, code % 16) << code;
        EXPECT_EQ(glyphs[i].row, code / 16) << code;
        EXPECT_FLOAT_EQ(glyphs[i].x, 10.5f * static_cast<float>(i)) << code;
    }
    const std::vector<Glyph> name = Drawn([&] { engine->DrawText("M\xFCller", 0, 0, 0, -1, 1.0f); });
    ASSERT_EQ(name.size(), 6u);
    EXPECT_EQ(name[1].column + name[1].row * 16, 0xFC);
    // The same name as UTF-8 draws the same.
    const std::vector<Glyph> utf8 = Drawn([&] { engine->DrawText("M\xC3\xBCller", 0, 0, 0, -1, 1.0f); });
    ASSERT_EQ(utf8.size(), 6u);
    EXPECT_EQ(utf8[1].column + utf8[1].row * 16, 0xFC);
    EXPECT_EQ(utf8[5].x, name[5].x);
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
        {FontXml({}, "fontdesc", "<page first=\"256\"/>"), "Invalid font page texture ID!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_NONE\" first=\"256\"/>"), "Cannot load font texture!",
         EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\"/>"), "Invalid first code point of a font page!",
         EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\" first=\"255\"/>"),
         "Invalid first code point of a font page!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\" first=\"1114000\"/>"),
         "Invalid first code point of a font page!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\" first=\"300x\"/>"),
         "Invalid first code point of a font page!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\" first=\"256\" rows=\"0\"/>"),
         "Invalid font page grid!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc", "<page textureid=\"TEX_UT_PAGE1\" first=\"256\" columns=\"257\"/>"),
         "Invalid font page grid!", EHS_TYPE_GENERAL},
        {FontXml({}, "fontdesc",
                 "<page textureid=\"TEX_UT_PAGE1\" first=\"256\"/><page textureid=\"TEX_UT_PAGE2\" first=\"511\"/>"),
         "Overlapping font pages!", EHS_TYPE_GENERAL},
        {PagedFontXml("300"), "Invalid font fallback glyph!", EHS_TYPE_GENERAL},
        {PagedFontXml("box"), "Invalid font fallback glyph!", EHS_TYPE_GENERAL},
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
