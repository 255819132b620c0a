// Bitmap fonts, drawn as one quad per character through the scene's render
// operation. Text is UTF-8 (cvelmor_utils_utf8.h: a byte that starts no valid
// sequence is the Latin-1 character of its code).
//
// The font description, an XML document:
//
//   <fontdesc id="FNT_X" textureid="TEX_X" techniqueid="TEQ_X" techpackid="TEQ_PACK"
//             cellsize="32" color0r=".." .. color9b=".." cs0=".." .. cs255=".." tag="1"
//             fallback="127">
//     <page textureid="TEX_X_1" first="256" columns="16" rows="8" cs256=".." .. cs383=".."/>
//     ...
//   </fontdesc>
//
// - The root's texture holds codes 0 to 255 in a 16 by 16 grid (code c in
//   column c mod 16, row c div 16); cs0 to cs255 are their advances, all
//   required. Codes 0 to 255 are the Latin-1 characters, U+0000 to U+00FF.
// - Each `page` child holds further code points: `textureid` (required) a
//   texture resource, loaded when absent; `first` (required) the decimal code
//   point of its first cell, 256 to 1114111; `columns` and `rows` (optional,
//   default 16, each 1 to 256) its grid. Cell k, counted row by row, holds
//   code point first + k, in texture rectangle left = (k mod columns) /
//   columns, top = (k div columns) / rows, width 1 / columns, height 1 / rows.
//   `cs` + the decimal code point (cs256, cs1044) gives a cell's advance in
//   pixels; a cell without it is a code point the font lacks. Pages must not
//   overlap one another; all cells are drawn at the font's cell size.
// - `fallback` (optional): the decimal code point whose glyph (an empty box
//   in our fonts) is drawn for every code point the font lacks; it must be
//   one the font has. Without it a lacking code point draws nothing and
//   moves the pen like a blank.
// A file of the 256-cell form alone (no pages, no fallback) reads and draws
// as it always did. Other elements and attributes are ignored.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
#include "cvelmor_utils_utf8.h"
#include "cxmlparser.h"

namespace {

const char* const kFile = "cvelmor_gfx_font";

[[noreturn]] void ThrowFontError(int32_t type, const std::string& message, uint32_t line) {
    throw CEHSException(type, 0, message, kFile, line);
}

float Number(const std::string& text) { return static_cast<float>(std::strtod(text.c_str(), nullptr)); }

int32_t FindFont(CVelmor& engine, const char* fp_pszID) {
    return engine.m_gfx.pFonts ? engine.m_gfx.pFonts->FindByName(fp_pszID) : -1;
}

// The item named fp_strID in `manager`; when there is none, the resource
// fp_strResourceID is loaded and the name looked up again.
template <typename Manager>
int32_t FindOrLoad(CVelmor& engine, const std::unique_ptr<Manager>& manager, const std::string& fp_strID,
                   const std::string& fp_strResourceID) {
    int32_t iID = manager->FindByName(fp_strID);
    if (iID >= 0) return iID;
    engine.LoadResource(fp_strResourceID.c_str());
    return manager->FindByName(fp_strID);
}

constexpr uint32_t kLastCodePoint = 0x10FFFF;

int32_t ReadTexture(CVelmor& engine, const CXMLNode& node, const char* fp_pszMissing) {
    const std::string& textureID = node.GetAttribute("textureid");
    if (textureID.empty()) ThrowFontError(EHS_TYPE_GENERAL, fp_pszMissing, __LINE__);
    const int32_t iID = FindOrLoad(engine, engine.m_gfx.pTextures, textureID, textureID);
    if (iID < 0) ThrowFontError(EHS_TYPE_GENERAL, "Cannot load font texture!", __LINE__);
    return iID;
}

// A whole decimal number from `lowest` to `highest`; `fallback` when the
// attribute is absent; anything else is the error `message`.
uint32_t WholeNumber(const CXMLNode& node, const char* fp_pszName, uint32_t lowest, uint32_t highest,
                     int64_t fallback, const char* message) {
    const std::string& text = node.GetAttribute(fp_pszName);
    if (text.empty() && fallback >= 0) return static_cast<uint32_t>(fallback);
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || value < lowest || value > highest)
        ThrowFontError(EHS_TYPE_GENERAL, message, __LINE__);
    return static_cast<uint32_t>(value);
}

V2DFONTPAGE ReadPage(CVelmor& engine, const CXMLNode& node) {
    V2DFONTPAGE page;
    page.TextureID = ReadTexture(engine, node, "Invalid font page texture ID!");
    page.First = WholeNumber(node, "first", 256, kLastCodePoint, -1, "Invalid first code point of a font page!");
    page.Columns = WholeNumber(node, "columns", 1, 256, 16, "Invalid font page grid!");
    page.Rows = WholeNumber(node, "rows", 1, 256, 16, "Invalid font page grid!");
    const uint32_t cells = page.Columns * page.Rows;
    if (cells - 1 > kLastCodePoint - page.First)
        ThrowFontError(EHS_TYPE_GENERAL, "Invalid first code point of a font page!", __LINE__);
    page.Advance.assign(cells, 0.0f);
    page.HasGlyph.assign(cells, 0);
    for (uint32_t k = 0; k < cells; ++k) {
        const std::string& advance = node.GetAttribute("cs" + std::to_string(page.First + k));
        if (advance.empty()) continue;
        page.Advance[k] = Number(advance);
        page.HasGlyph[k] = 1;
    }
    return page;
}

void ReadPages(CVelmor& engine, const CXMLNode& root, V2DFONT& font) {
    for (int i = 0; i < root.GetChildCount(); ++i) {
        const CXMLNode& node = *root.GetChild(i);
        if (node.GetName() != "page") continue;
        V2DFONTPAGE page = ReadPage(engine, node);
        const uint32_t last = page.First + page.Columns * page.Rows - 1;
        for (const V2DFONTPAGE& other : font.Pages) {
            if (page.First <= other.First + other.Columns * other.Rows - 1 && other.First <= last)
                ThrowFontError(EHS_TYPE_GENERAL, "Overlapping font pages!", __LINE__);
        }
        font.Pages.push_back(std::move(page));
    }
}

// Where a code point's glyph is, or null when the font lacks it.
struct V2DGLYPH {
    int32_t TextureID;
    float Left, Top, Right, Bottom;
    float Advance;
};

bool FindGlyph(const V2DFONT& font, uint32_t code, V2DGLYPH& glyph) {
    if (code < 256) {
        const float left = static_cast<float>(code % 16) / 16.0f, top = static_cast<float>(code / 16) / 16.0f;
        glyph = {font.TextureID, left, top, left + 1.0f / 16.0f, top + 1.0f / 16.0f, font.Advance[code]};
        return true;
    }
    for (const V2DFONTPAGE& page : font.Pages) {
        if (code < page.First || code - page.First >= page.HasGlyph.size()) continue;
        const uint32_t k = code - page.First;
        if (!page.HasGlyph[k]) return false;
        const float columns = static_cast<float>(page.Columns), rows = static_cast<float>(page.Rows);
        const float left = static_cast<float>(k % page.Columns) / columns;
        const float top = static_cast<float>(k / page.Columns) / rows;
        glyph = {page.TextureID, left, top, left + 1.0f / columns, top + 1.0f / rows, page.Advance[k]};
        return true;
    }
    return false;
}

void ReadFallback(const CXMLNode& root, V2DFONT& font) {
    if (root.GetAttribute("fallback").empty()) return;
    const uint32_t code = WholeNumber(root, "fallback", 0, kLastCodePoint, -1, "Invalid font fallback glyph!");
    V2DGLYPH glyph;
    if (!FindGlyph(font, code, glyph)) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font fallback glyph!", __LINE__);
    font.FallbackCode = static_cast<int32_t>(code);
}

// The glyph drawn for a code point: its own, else the fallback; false for a
// blank (no fallback glyph).
bool GlyphOrFallback(const V2DFONT& font, uint32_t code, V2DGLYPH& glyph) {
    if (FindGlyph(font, code, glyph)) return true;
    return font.FallbackCode >= 0 && FindGlyph(font, static_cast<uint32_t>(font.FallbackCode), glyph);
}

void ReadFontAttributes(CVelmor& engine, const CXMLNode& root, V2DFONT& font) {
    font.TextureID = ReadTexture(engine, root, "Invalid font texture ID!");

    const std::string& techniqueID = root.GetAttribute("techniqueid");
    if (techniqueID.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font technique ID!", __LINE__);
    const std::string& techPackID = root.GetAttribute("techpackid");
    if (techPackID.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font technique pack ID!", __LINE__);
    font.TechniqueID = FindOrLoad(engine, engine.m_gfx.pTechniques, techniqueID, techPackID);
    if (font.TechniqueID < 0) ThrowFontError(EHS_TYPE_GENERAL, "Cannot load font technique!", __LINE__);

    const std::string& cellSize = root.GetAttribute("cellsize");
    if (cellSize.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font cell size!", __LINE__);
    font.CellSize = Number(cellSize);

    for (int c = 0; c < 10; ++c) {
        const std::string prefix = "color" + std::to_string(c);
        font.Colors[c][0] = Number(root.GetAttribute(prefix + "r"));
        font.Colors[c][1] = Number(root.GetAttribute(prefix + "g"));
        font.Colors[c][2] = Number(root.GetAttribute(prefix + "b"));
        font.Colors[c][3] = 1.0f;
    }
    for (int code = 0; code < 256; ++code) {
        const std::string& advance = root.GetAttribute("cs" + std::to_string(code));
        if (advance.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid character length!", __LINE__);
        font.Advance[code] = Number(advance);
    }
    ReadPages(engine, root, font);
    ReadFallback(root, font);
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// How DrawTextEx differs from DrawText.
struct TextLayout {
    bool bExtended = false;
    float fScale = 1.0f;
    float fCharSpacing = 0.0f;
    float fLineSpacing = 0.0f;
};

void DrawFontText(CVelmor& engine, const char* fp_pszText, float fp_fX, float fp_fY, uint32_t fp_dwMaxChars,
                  int32_t fp_iColorIndex, float fp_fAlpha, bool fp_bApplyTechnique, const TextLayout& layout) {
    SetCheckpoint(126, __LINE__);
    V2DGFXSTATE& gfx = engine.m_gfx;
    if (gfx.iCurrentFont == -1) gfx.iCurrentFont = 0;
    const int32_t fontID = gfx.iCurrentFont;
    if (!gfx.pFonts || !gfx.pFonts->IsValidID(fontID))
        ThrowFontError(EHS_TYPE_GAME, "Cannot draw text: invalid current font id. ID = " + std::to_string(fontID),
                       __LINE__);
    if (fp_iColorIndex < -1 || fp_iColorIndex > 9)
        ThrowFontError(EHS_TYPE_GAME,
                       "Cannot draw text: invalid color index. Index = " + std::to_string(fp_iColorIndex), __LINE__);
    const V2DFONT& font = *gfx.pFonts->GetItem(fontID);
    engine.SetTexture(font.TextureID, 0);
    if (fp_bApplyTechnique) engine.ApplyTechnique(font.TechniqueID);
    const auto setColor = [&](int index) {
        engine.VQuadSetColor(font.Colors[index][0], font.Colors[index][1], font.Colors[index][2], fp_fAlpha);
    };
    if (fp_iColorIndex != -1) setColor(fp_iColorIndex);

    // Plain text moves the pen by the exact advance of a glyph and by whole
    // pixels for spaces; the extended form always by whole pixels.
    const float cell = layout.bExtended ? layout.fScale * font.CellSize : font.CellSize;
    const auto wholeAdvance = [&](float advance) {
        return layout.bExtended ? std::floor(layout.fScale * advance + layout.fCharSpacing) : std::floor(advance);
    };
    const float lineHeight = layout.bExtended ? std::floor(cell * 1.1f + layout.fLineSpacing) : std::floor(cell * 1.1f);
    const bool colorSwitches = layout.bExtended && fp_iColorIndex != -1;

    float penX = fp_fX, penY = fp_fY;
    int32_t texture = font.TextureID;
    const char* text = fp_pszText;
    // Counts characters, not bytes.
    for (uint32_t drawn = 0; *text != 0 && (fp_dwMaxChars == 0 || drawn < fp_dwMaxChars); ++drawn) {
        const V2DUTF8CHAR c = Utf8Next(text);
        text += c.length;
        V2DGLYPH glyph;
        if (c.code == '\n') {
            penX = fp_fX;
            penY += lineHeight;
        } else if (c.code == ' ' || c.code == '\t') {
            penX += wholeAdvance(font.Advance[c.code]);
        } else if (c.code < 33) {
            continue;
        } else if (colorSwitches && c.code == '%' && IsDigit(static_cast<unsigned char>(*text)) &&
                   (fp_dwMaxChars == 0 || drawn + 1 < fp_dwMaxChars)) {
            setColor(*text - '0');
            ++text;
            ++drawn;
        } else if (GlyphOrFallback(font, c.code, glyph)) {
            if (glyph.TextureID != texture) {
                texture = glyph.TextureID;
                engine.SetTexture(texture, 0);
            }
            engine.VQuadSetTexCoords(1, glyph.Left, glyph.Top, glyph.Right, glyph.Bottom);
            engine.VQuadSetPos(penX, penY, cell, cell, 0.5f);
            engine.SceneRender();
            penX += layout.bExtended ? wholeAdvance(glyph.Advance) : glyph.Advance;
        } else {
            penX += wholeAdvance(font.Advance[' ']);
        }
    }
}

}  // namespace

int32_t CVelmor::LoadFontFromMemory(const void* fp_pData, int32_t fp_iSize) {
    SetCheckpoint(126, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    LogEntry("Loading font description from memory...", LOG_DETAIL);
    CXMLDocument document;
    document.LoadFromBuffer(fp_pData, fp_iSize > 0 ? static_cast<size_t>(fp_iSize) : 0, GetXMLEncryptMode());
    document.Parse();
    const CXMLNode* root = document.GetRoot();
    // A document without any element leaves the root unnamed.
    if (root->GetName().empty())
        ThrowFontError(EHS_TYPE_GAME, "Parsing error during loading the font data!", __LINE__);
    if (root->GetName() != "fontdesc")
        ThrowFontError(EHS_TYPE_GAME, "XML file doesn't contain font description!", __LINE__);

    const std::string& id = root->GetAttribute("id");
    if (id.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font ID", __LINE__);
    const int32_t existing = m_gfx.pFonts->FindByName(id);
    if (existing >= 0) {
        LogEntry("Warning: Dublicated font!", LOG_WARNING);
        return existing;
    }
    std::unique_ptr<V2DFONT> font(new (std::nothrow) V2DFONT);
    if (!font) ThrowFontError(EHS_TYPE_GENERAL, "Cannot create font object!", __LINE__);
    ReadFontAttributes(*this, *root, *font);

    const int32_t iID = m_gfx.pFonts->Add(std::move(font), id, ResParseDecimal(root->GetAttribute("tag")));
    CSmartID::BindByName(id.c_str(), iID);
    LogEntry("Done.", LOG_RESULT);
    return iID;
}

int32_t CVelmor::GetFontID(const std::string& fp_strID) {
    SetCheckpoint(126, __LINE__);
    const int32_t iID = FindFont(*this, fp_strID.c_str());
    if (iID < 0) LogEntry("Cannot find iID of font with strID = " + fp_strID, LOG_WARNING);
    return iID;
}

void CVelmor::SetCurrentFont(int32_t fp_iID) {
    SetCheckpoint(126, __LINE__);
    if (!m_gfx.pFonts || !m_gfx.pFonts->IsValidID(fp_iID))
        ThrowFontError(EHS_TYPE_GAME, "Cannot set current font: invalid ID. ID = " + std::to_string(fp_iID), __LINE__);
    m_gfx.iCurrentFont = fp_iID;
}

void CVelmor::SetCurrentFont(const std::string& fp_strID) {
    SetCheckpoint(126, __LINE__);
    const int32_t iID = FindFont(*this, fp_strID.c_str());
    if (iID < 0) ThrowFontError(EHS_TYPE_GAME, "Cannot set current font: invalid ID. strID = " + fp_strID, __LINE__);
    m_gfx.iCurrentFont = iID;
}

// Checked when drawing.
void CVelmor::SetCurrentFont(const CSmartID& fp_ID) {
    SetCheckpoint(126, __LINE__);
    m_gfx.iCurrentFont = fp_ID.GetID();
}

void CVelmor::DrawText(const char* fp_pszText, float fp_fX, float fp_fY, uint32_t fp_dwMaxChars,
                       int32_t fp_iColorIndex, float fp_fAlpha) {
    SetCheckpoint(126, __LINE__);
    DrawFontText(*this, fp_pszText, fp_fX, fp_fY, fp_dwMaxChars, fp_iColorIndex, fp_fAlpha, true, TextLayout());
}

void CVelmor::DrawTextEx(const char* fp_pszText, float fp_fX, float fp_fY, uint32_t fp_dwMaxChars,
                         int32_t fp_iColorIndex, float fp_fAlpha, bool fp_bApplyTechnique, float fp_fScale,
                         float fp_fCharSpacing, float fp_fLineSpacing) {
    SetCheckpoint(126, __LINE__);
    TextLayout layout;
    layout.bExtended = true;
    layout.fScale = fp_fScale;
    layout.fCharSpacing = fp_fCharSpacing;
    layout.fLineSpacing = fp_fLineSpacing;
    DrawFontText(*this, fp_pszText, fp_fX, fp_fY, fp_dwMaxChars, fp_iColorIndex, fp_fAlpha, fp_bApplyTechnique,
                 layout);
}

float CVelmor::GetStringWidth(const char* fp_pszText, int32_t fp_iFontID, float fp_fScale, float fp_fCharSpacing) {
    SetCheckpoint(126, __LINE__);
    if (!m_gfx.pFonts || !m_gfx.pFonts->IsValidID(fp_iFontID))
        ThrowFontError(EHS_TYPE_GAME,
                       "Cannot calculate string width: invalid font id. ID = " + std::to_string(fp_iFontID), __LINE__);
    const V2DFONT& font = *m_gfx.pFonts->GetItem(fp_iFontID);
    float width = 0.0f;
    for (const char* text = fp_pszText; *text != 0 && *text != '\n';) {
        const V2DUTF8CHAR c = Utf8Next(text);
        text += c.length;
        V2DGLYPH glyph;
        if (c.code == '%' && IsDigit(static_cast<unsigned char>(*text))) {
            ++text;
        } else if (c.code == ' ' || c.code == '\t') {
            width += std::floor(fp_fScale * font.Advance[c.code] + fp_fCharSpacing);
        } else if (c.code >= 33) {
            const float advance = GlyphOrFallback(font, c.code, glyph) ? glyph.Advance : font.Advance[' '];
            width += std::floor(fp_fScale * advance + fp_fCharSpacing);
        }
    }
    return width;
}
