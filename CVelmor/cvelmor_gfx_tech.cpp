// Techniques: named blocks of render settings read from technique packs.
// Applying one pushes only the groups of settings it defines; every other
// device state stays as the previous techniques left it.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
#include "cxmlparser.h"

using namespace vd3d;

namespace {

const char* const kFile = "cvelmor_gfx_tech";

struct V2DKEYWORD {
    const char* pszText;
    uint32_t dwValue;
};

// Each table's first row is its default: the value of an absent attribute
// and of any text not in the table.
const V2DKEYWORD kBlendKeywords[] = {
    {"ZERO", D3DBLEND_ZERO},           {"ONE", D3DBLEND_ONE},
    {"SRCCOLOR", D3DBLEND_SRCCOLOR},   {"INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
    {"SRCALPHA", D3DBLEND_SRCALPHA},   {"INVSRCALPHA", D3DBLEND_INVSRCALPHA},
    {"DESTALPHA", D3DBLEND_DESTALPHA}, {"INVDESTALPHA", D3DBLEND_INVDESTALPHA},
    {"DESTCOLOR", D3DBLEND_DESTCOLOR}, {"INVDESTCOLOR", D3DBLEND_INVDESTCOLOR},
    {"SRCALPHASAT", D3DBLEND_SRCALPHASAT},
};
const V2DKEYWORD kOperationKeywords[] = {
    {"DISABLE", D3DTOP_DISABLE}, {"SELECTARG1", D3DTOP_SELECTARG1}, {"SELECTARG2", D3DTOP_SELECTARG2},
    {"MODULATE", D3DTOP_MODULATE}, {"ADD", D3DTOP_ADD}, {"SUBTRACT", D3DTOP_SUBTRACT},
    {"DOTPRODUCT3", D3DTOP_DOTPRODUCT3},
};
const V2DKEYWORD kArgumentKeywords[] = {
    {"CURRENT", D3DTA_CURRENT}, {"DIFFUSE", D3DTA_DIFFUSE},   {"TEXTURE", D3DTA_TEXTURE},
    {"TFACTOR", D3DTA_TFACTOR}, {"SPECULAR", D3DTA_SPECULAR},
};
const V2DKEYWORD kAddressKeywords[] = {{"WRAP", D3DTADDRESS_WRAP}, {"CLAMP", D3DTADDRESS_CLAMP}};
const V2DKEYWORD kFilterKeywords[] = {{"NONE", D3DTEXF_NONE}, {"POINT", D3DTEXF_POINT}, {"LINEAR", D3DTEXF_LINEAR}};
const V2DKEYWORD kLightModeKeywords[] = {{"DISABLED", 0}, {"VERTEX", 1}, {"DOT3", 2}};

template <size_t N>
uint32_t Keyword(const CXMLNode& node, const std::string& attribute, const V2DKEYWORD (&table)[N]) {
    const std::string& text = node.GetAttribute(attribute);
    for (const V2DKEYWORD& keyword : table)
        if (text == keyword.pszText) return keyword.dwValue;
    return table[0].dwValue;
}

// The attribute "s0_" + name or "s1_" + name.
template <size_t N>
uint32_t StageKeyword(const CXMLNode& node, int stage, const char* name, const V2DKEYWORD (&table)[N]) {
    return Keyword(node, "s" + std::to_string(stage) + "_" + name, table);
}

bool Present(const CXMLNode& node, const char* attribute) { return !node.GetAttribute(attribute).empty(); }

bool Switch(const CXMLNode& node, const char* attribute) { return node.GetAttribute(attribute) == "ON"; }

// Decimal floating-point text; absent or not a number reads as 0.
float Number(const CXMLNode& node, const std::string& attribute) {
    return static_cast<float>(std::strtod(node.GetAttribute(attribute).c_str(), nullptr));
}

// A colour channel 0.0..1.0 as a byte, truncated; values outside the range
// are held at its ends.
uint32_t ColorByte(const CXMLNode& node, const std::string& attribute) {
    const float value = Number(node, attribute) * 255.0f;
    if (!(value > 0.0f)) return 0;
    return value >= 255.0f ? 255 : static_cast<uint32_t>(value);
}

// The colour of attributes prefix + "r", "g", "b" (and "a" when withAlpha,
// else alpha 255).
uint32_t Color(const CXMLNode& node, const std::string& prefix, bool withAlpha) {
    const uint32_t alpha = withAlpha ? ColorByte(node, prefix + "a") : 255;
    return D3DCOLOR_ARGB(alpha, ColorByte(node, prefix + "r"), ColorByte(node, prefix + "g"),
                         ColorByte(node, prefix + "b"));
}

// Groups in the order of the record; a group whose key attribute is absent
// is marked not set and the rest of it is not read.
void ReadTechnique(const CXMLNode& node, V2DTECHNIQUE& technique) {
    technique = V2DTECHNIQUE{};
    technique.AlphaBlendingSet = Present(node, "alphablending");
    if (technique.AlphaBlendingSet) {
        technique.AlphaBlending = Switch(node, "alphablending");
        technique.SrcBlend = Keyword(node, "absrc", kBlendKeywords);
        technique.DestBlend = Keyword(node, "abdest", kBlendKeywords);
    }
    technique.FogSet = Present(node, "fog");
    if (technique.FogSet) {
        technique.Fog = Switch(node, "fog");
        technique.FogStart = Number(node, "fogstart");
        technique.FogEnd = Number(node, "fogend");
        technique.FogColor = Color(node, "fogcolor", false);
    }
    technique.TextureFactorSet = Present(node, "texturefactorr");
    if (technique.TextureFactorSet) technique.TextureFactor = Color(node, "texturefactor", true);
    technique.StageStatesSet = Present(node, "s0_colorop");
    if (technique.StageStatesSet) {
        for (int stage = 0; stage < 2; ++stage) {
            technique.ColorOp[stage] = StageKeyword(node, stage, "colorop", kOperationKeywords);
            technique.ColorArg1[stage] = StageKeyword(node, stage, "colorarg1", kArgumentKeywords);
            technique.ColorArg2[stage] = StageKeyword(node, stage, "colorarg2", kArgumentKeywords);
            technique.AlphaOp[stage] = StageKeyword(node, stage, "alphaop", kOperationKeywords);
            technique.AlphaArg1[stage] = StageKeyword(node, stage, "alphaarg1", kArgumentKeywords);
            technique.AlphaArg2[stage] = StageKeyword(node, stage, "alphaarg2", kArgumentKeywords);
            technique.Address[stage] = StageKeyword(node, stage, "address", kAddressKeywords);
        }
    }
    technique.FiltersSet = Present(node, "s0_minfilter");
    if (technique.FiltersSet) {
        for (int stage = 0; stage < 2; ++stage) {
            technique.MinFilter[stage] = StageKeyword(node, stage, "minfilter", kFilterKeywords);
            technique.MagFilter[stage] = StageKeyword(node, stage, "magfilter", kFilterKeywords);
            technique.MipFilter[stage] = StageKeyword(node, stage, "mipfilter", kFilterKeywords);
        }
    }
    technique.DynLightSet = Present(node, "dynlightmode");
    if (technique.DynLightSet) {
        technique.DynLightMode = Keyword(node, "dynlightmode", kLightModeKeywords);
        technique.DynLightAmbientColor = Color(node, "dynlightambientcolor", false);
    }
}

uint32_t FloatBits(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

int32_t FindTechnique(CVelmor& engine, const char* fp_pszID) {
    return engine.m_gfx.pTechniques ? engine.m_gfx.pTechniques->FindByName(fp_pszID) : -1;
}

[[noreturn]] void ThrowPackError(const char* message, uint32_t line) {
    throw CEHSException(EHS_TYPE_GENERAL, 0, message, kFile, line);
}

// Adds every technique of the pack whose ID is new.
void ProcessPack(CVelmor& engine, const CXMLNode* fp_pRoot) {
    SetCheckpoint(125, __LINE__);
    CVelmor::LogBlankLines(1);
    CVelmor::LogEntry("Processing techniques pack...", LOG_DETAIL);
    // A document without any element leaves the root unnamed.
    if (!fp_pRoot || fp_pRoot->GetName().empty()) ThrowPackError("Error in XML parser: Root node is NULL!", __LINE__);
    if (fp_pRoot->GetName() != "techniquespack")
        ThrowPackError("Wrong XML root node name: must be techniquespack!", __LINE__);

    int32_t loaded = 0;
    for (int i = 0; i < fp_pRoot->GetChildCount(); ++i) {
        const CXMLNode* child = fp_pRoot->GetChild(i);
        if (!child) ThrowPackError("Error in XML parser - child node is NULL!", __LINE__);
        const std::string& id = child->GetAttribute("id");
        if (id.empty()) ThrowPackError("Ivanlid technique ID!", __LINE__);
        // The first definition of an ID stays.
        if (engine.m_gfx.pTechniques->FindByName(id) >= 0) continue;
        std::unique_ptr<V2DTECHNIQUE> technique(new (std::nothrow) V2DTECHNIQUE);
        if (!technique) ThrowPackError("Cannot create V2DTECHNIQUE object!", __LINE__);
        ReadTechnique(*child, *technique);
        const int32_t tag = ResParseDecimal(child->GetAttribute("tag"));
        const int32_t iID = engine.m_gfx.pTechniques->Add(std::move(technique), id, tag);
        CSmartID::BindByName(id.c_str(), iID);
        ++loaded;
    }
    CVelmor::LogEntry(std::to_string(loaded) + " techniques loaded.", LOG_RESULT);
    CVelmor::LogBlankLines(1);
}

}  // namespace

void CVelmor::LoadTechniquesPack(const void* fp_pData, int32_t fp_iSize) {
    SetCheckpoint(125, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    CXMLDocument document;
    document.LoadFromBuffer(fp_pData, fp_iSize > 0 ? static_cast<size_t>(fp_iSize) : 0, GetXMLEncryptMode());
    document.Parse();
    ProcessPack(*this, document.GetRoot());
}

int32_t CVelmor::GetTechniqueID(const std::string& fp_strID) {
    SetCheckpoint(125, __LINE__);
    const int32_t iID = FindTechnique(*this, fp_strID.c_str());
    if (iID < 0) LogEntry("Cannot find iID of technique with strID = " + fp_strID, LOG_WARNING);
    return iID;
}

void CVelmor::ApplyTechnique(int32_t fp_iID) {
    SetCheckpoint(125, __LINE__);
    if (fp_iID == m_gfx.iCurrentTechnique) return;
    FlushBatch();
    if (!m_gfx.pTechniques || !m_gfx.pTechniques->IsValidID(fp_iID))
        throw CEHSException(EHS_TYPE_GAME, 0, "Invalid technique ID! ID = " + std::to_string(fp_iID), kFile,
                            __LINE__);
    const V2DTECHNIQUE& t = *m_gfx.pTechniques->GetItem(fp_iID);
    IDirect3DDevice8* device = m_pD3DDevice;
    if (t.AlphaBlendingSet) {
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, t.AlphaBlending ? 1 : 0);
        device->SetRenderState(D3DRS_SRCBLEND, t.SrcBlend);
        device->SetRenderState(D3DRS_DESTBLEND, t.DestBlend);
    }
    if (t.FogSet) {
        device->SetRenderState(D3DRS_FOGENABLE, t.Fog ? 1 : 0);
        m_gfx.bFog = t.Fog;
        device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        device->SetRenderState(D3DRS_FOGSTART, FloatBits(t.FogStart));
        device->SetRenderState(D3DRS_FOGEND, FloatBits(t.FogEnd));
        device->SetRenderState(D3DRS_FOGCOLOR, t.FogColor);
    }
    if (t.TextureFactorSet) device->SetRenderState(D3DRS_TEXTUREFACTOR, t.TextureFactor);
    if (t.StageStatesSet) {
        for (uint32_t stage = 0; stage < 2; ++stage) {
            device->SetTextureStageState(stage, D3DTSS_COLOROP, t.ColorOp[stage]);
            // A disabled second stage needs nothing else.
            if (stage == 1 && t.ColorOp[stage] == D3DTOP_DISABLE) break;
            device->SetTextureStageState(stage, D3DTSS_COLORARG1, t.ColorArg1[stage]);
            device->SetTextureStageState(stage, D3DTSS_COLORARG2, t.ColorArg2[stage]);
            device->SetTextureStageState(stage, D3DTSS_ALPHAOP, t.AlphaOp[stage]);
            device->SetTextureStageState(stage, D3DTSS_ALPHAARG1, t.AlphaArg1[stage]);
            device->SetTextureStageState(stage, D3DTSS_ALPHAARG2, t.AlphaArg2[stage]);
            device->SetTextureStageState(stage, D3DTSS_ADDRESSU, t.Address[stage]);
            device->SetTextureStageState(stage, D3DTSS_ADDRESSV, t.Address[stage]);
        }
    }
    if (t.FiltersSet) {
        for (uint32_t stage = 0; stage < 2; ++stage) {
            device->SetTextureStageState(stage, D3DTSS_MINFILTER, t.MinFilter[stage]);
            device->SetTextureStageState(stage, D3DTSS_MAGFILTER, t.MagFilter[stage]);
            device->SetTextureStageState(stage, D3DTSS_MIPFILTER, t.MipFilter[stage]);
        }
    }
    if (t.DynLightSet) {
        SetDynLightMode(t.DynLightMode);
        const uint32_t color = t.DynLightAmbientColor;
        m_gfx.dynLightAmbient[0] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
        m_gfx.dynLightAmbient[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
        m_gfx.dynLightAmbient[2] = static_cast<float>(color & 0xFF) / 255.0f;
        m_gfx.dynLightAmbient[3] = static_cast<float>(color >> 24) / 255.0f;
    }
    m_gfx.iCurrentTechnique = fp_iID;
}

// A missing name reaches the ID form as -1, whose own error reports it.
void CVelmor::ApplyTechnique(const std::string& fp_strID) {
    SetCheckpoint(125, __LINE__);
    ApplyTechnique(FindTechnique(*this, fp_strID.c_str()));
}

void CVelmor::ApplyTechnique(const CSmartID& fp_ID) {
    SetCheckpoint(125, __LINE__);
    ApplyTechnique(fp_ID.GetID());
}
