// Bitmap fonts: a texture of 256 character cells in a 16 by 16 grid, the
// technique to draw it with, a cell size, 256 advance widths and ten named
// colours. Text is drawn as one quad per character through the scene's
// render operation.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
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

void ReadFontAttributes(CVelmor& engine, const CXMLNode& root, V2DFONT& font) {
    const std::string& textureID = root.GetAttribute("textureid");
    if (textureID.empty()) ThrowFontError(EHS_TYPE_GENERAL, "Invalid font texture ID!", __LINE__);
    font.TextureID = FindOrLoad(engine, engine.m_gfx.pTextures, textureID, textureID);
    if (font.TextureID < 0) ThrowFontError(EHS_TYPE_GENERAL, "Cannot load font texture!", __LINE__);

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
    const auto wholeAdvance = [&](unsigned char code) {
        return layout.bExtended ? std::floor(layout.fScale * font.Advance[code] + layout.fCharSpacing)
                                : std::floor(font.Advance[code]);
    };
    const float lineHeight = layout.bExtended ? std::floor(cell * 1.1f + layout.fLineSpacing) : std::floor(cell * 1.1f);
    const bool colorSwitches = layout.bExtended && fp_iColorIndex != -1;

    float penX = fp_fX, penY = fp_fY;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(fp_pszText);
    for (uint32_t i = 0; text[i] != 0 && (fp_dwMaxChars == 0 || i < fp_dwMaxChars); ++i) {
        const unsigned char code = text[i];
        if (code == '\n') {
            penX = fp_fX;
            penY += lineHeight;
        } else if (code == ' ' || code == '\t') {
            penX += wholeAdvance(code);
        } else if (code < 33) {
            continue;
        } else if (colorSwitches && code == '%' && IsDigit(text[i + 1]) &&
                   (fp_dwMaxChars == 0 || i + 1 < fp_dwMaxChars)) {
            setColor(text[i + 1] - '0');
            ++i;
        } else {
            const float left = static_cast<float>(code % 16) / 16.0f, top = static_cast<float>(code / 16) / 16.0f;
            engine.VQuadSetTexCoords(1, left, top, left + 1.0f / 16.0f, top + 1.0f / 16.0f);
            engine.VQuadSetPos(penX, penY, cell, cell, 0.5f);
            engine.SceneRender();
            penX += layout.bExtended ? wholeAdvance(code) : font.Advance[code];
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
    const unsigned char* text = reinterpret_cast<const unsigned char*>(fp_pszText);
    float width = 0.0f;
    for (uint32_t i = 0; text[i] != 0 && text[i] != '\n'; ++i) {
        const unsigned char code = text[i];
        if (code == '%' && IsDigit(text[i + 1])) {
            ++i;
        } else if (code == ' ' || code == '\t' || code >= 33) {
            width += std::floor(fp_fScale * font.Advance[code] + fp_fCharSpacing);
        }
    }
    return width;
}
