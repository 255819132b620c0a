// Textures: created from image files the resource manager has read into
// memory, kept in the textures manager under an integer ID and a text ID,
// and bound to texture stages before the quads that use them are queued.
#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
#include "d3dx8.h"

using namespace vd3d;

namespace {

const char* const kFile = "cvelmor_gfx_tex";

int32_t FindTexture(CVelmor& engine, const char* fp_pszID) {
    return engine.m_gfx.pTextures ? engine.m_gfx.pTextures->FindByName(fp_pszID) : -1;
}

int32_t FindTechnique(CVelmor& engine, const char* fp_pszID) {
    return engine.m_gfx.pTechniques ? engine.m_gfx.pTechniques->FindByName(fp_pszID) : -1;
}

int32_t FindFont(CVelmor& engine, const char* fp_pszID) {
    return engine.m_gfx.pFonts ? engine.m_gfx.pFonts->FindByName(fp_pszID) : -1;
}

}  // namespace

void CVelmor::GfxSetDemandLookups(bool fp_bManagersExist) {
    ResSetDemandLookup(DEMAND_TEXTURE, fp_bManagersExist ? FindTexture : nullptr);
    ResSetDemandLookup(DEMAND_TECHNIQUE, fp_bManagersExist ? FindTechnique : nullptr);
    ResSetDemandLookup(DEMAND_FONT, fp_bManagersExist ? FindFont : nullptr);
}

uint32_t CVelmor::TextureFormatForIndex(int32_t fp_iFormat) const {
    const V2DVIDEOCAPS& caps = m_gfx.caps;
    const V2DDISPLAYMODE& mode =
        m_gfx.iDisplayMode == 3 ? caps.Mode3 : (m_gfx.iDisplayMode == 2 ? caps.Mode2 : caps.Mode1);
    switch (fp_iFormat) {
        case 2: return mode.TextureFormat02;
        case 3: return mode.TextureFormat03;
        case 4: return mode.TextureFormat04;
        default: return mode.TextureFormat01;
    }
}

int32_t CVelmor::LoadTextureFromMemory(const void* fp_pData, int32_t fp_iSize, int32_t fp_iFormat,
                                       const char* fp_pszID, int32_t fp_iMipLevels, int32_t fp_iTag,
                                       int32_t fp_iEdgeSize) {
    SetCheckpoint(118, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    const int32_t existing = m_gfx.pTextures->FindByName(fp_pszID);
    if (existing >= 0) return existing;

    // 0 (and a negative size) takes the image's own size.
    uint32_t edge = fp_iEdgeSize > 0 ? static_cast<uint32_t>(fp_iEdgeSize) : 0;
    if (edge > m_gfx.caps.MaxTextureWidth) edge = m_gfx.caps.MaxTextureWidth;
    LogBlankLines(1);
    LogEntry(std::string("Loading texture from memory. ID = ") + fp_pszID, LOG_STEP);

    const D3DFORMAT format = static_cast<D3DFORMAT>(TextureFormatForIndex(fp_iFormat));
    const uint32_t mipLevels =
        (m_gfx.caps.MipMapping && fp_iMipLevels >= 1) ? static_cast<uint32_t>(fp_iMipLevels) : 1;
    IDirect3DTexture8* texture = nullptr;
    const HRESULT hr = fp_iSize > 0 ? D3DXCreateTextureFromFileInMemoryEx(
                                          m_pD3DDevice, fp_pData, static_cast<uint32_t>(fp_iSize), edge, edge,
                                          mipLevels, 0, format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_BOX, 0,
                                          nullptr, nullptr, &texture)
                                    : D3DXERR_INVALIDDATA;
    if (FAILED(hr) || !texture)
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create texture object!", kFile, __LINE__);

    const int32_t iID = m_gfx.pTextures->Add(V2DTexturesManager::ItemPtr(texture), fp_pszID, fp_iTag);
    LogEntry("Done.", LOG_STEP);
    LogBlankLines(1);
    CSmartID::BindByName(fp_pszID, iID);
    return iID;
}

int32_t CVelmor::GetTextureID(const std::string& fp_strID) {
    SetCheckpoint(118, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    const int32_t iID = m_gfx.pTextures->FindByName(fp_strID);
    if (iID < 0) LogEntry("Cannot find iID of texture with strID = " + fp_strID, LOG_WARNING);
    return iID;
}

// A stage still bound to a texture that goes away would keep showing it, and
// a later texture in the same slot would look current without being bound:
// such stages are cleared (after drawing what was queued with them).
void CVelmor::ForgetTextureOnStages(int32_t fp_iID) {
    for (uint32_t stage = 0; stage < V2D_TEXTURE_SLOTS; ++stage)
        if (m_gfx.iCurrentTexture[stage] == fp_iID) SetNoTexture(stage);
}

void CVelmor::UnloadTexture(const std::string& fp_strID) {
    SetCheckpoint(118, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    LogBlankLines(1);
    LogEntry("Unloading texture, strID = " + fp_strID, LOG_STEP);
    CSmartID::BindByName(fp_strID.c_str(), -1);
    const int32_t iID = m_gfx.pTextures->FindByName(fp_strID);
    if (iID < 0) {
        LogEntry("Failed.", LOG_WARNING);
        return;
    }
    ForgetTextureOnStages(iID);
    m_gfx.pTextures->FreeItem(iID);
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::UnloadTexture(int32_t fp_iID) {
    SetCheckpoint(118, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    LogBlankLines(1);
    LogEntry("Unloading texture, iID = " + std::to_string(fp_iID), LOG_STEP);
    CSmartID::UnbindByID(fp_iID, SMARTID_TEXTURE);
    if (!m_gfx.pTextures->IsValidID(fp_iID)) {
        LogEntry("Failed.", LOG_WARNING);
        return;
    }
    ForgetTextureOnStages(fp_iID);
    m_gfx.pTextures->FreeItem(fp_iID);
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::RequireTextureStage(uint32_t fp_dwStage, uint32_t line) const {
    if (fp_dwStage >= V2D_TEXTURE_SLOTS)
        throw CEHSException(EHS_TYPE_GAME, 0, "Invalid texture stage! Stage = " + std::to_string(fp_dwStage), kFile,
                            line);
}

void CVelmor::SetTexture(int32_t fp_iID, uint32_t fp_dwStage) {
    SetCheckpoint(118, __LINE__);
    RequireTextureStage(fp_dwStage, __LINE__);
    if (m_gfx.iCurrentTexture[fp_dwStage] == fp_iID) return;
    // Queued quads are drawn with the texture they were queued with.
    FlushBatch();
    if (!m_gfx.pTextures || !m_gfx.pTextures->IsValidID(fp_iID))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot set texture - invalid ID!", kFile, __LINE__);
    m_pD3DDevice->SetTexture(fp_dwStage, m_gfx.pTextures->GetItem(fp_iID));
    m_gfx.iCurrentTexture[fp_dwStage] = fp_iID;
}

// A missing name reaches the ID form as -1, whose own error reports it.
void CVelmor::SetTexture(const std::string& fp_strID, uint32_t fp_dwStage) {
    SetCheckpoint(118, __LINE__);
    SetTexture(m_gfx.pTextures ? m_gfx.pTextures->FindByName(fp_strID) : -1, fp_dwStage);
}

void CVelmor::SetTexture(const CSmartID& fp_ID, uint32_t fp_dwStage) {
    SetCheckpoint(118, __LINE__);
    SetTexture(fp_ID.GetID(), fp_dwStage);
}

void CVelmor::SetNoTexture(uint32_t fp_dwStage) {
    SetCheckpoint(118, __LINE__);
    RequireTextureStage(fp_dwStage, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    FlushBatch();
    m_pD3DDevice->SetTexture(fp_dwStage, nullptr);
    m_gfx.iCurrentTexture[fp_dwStage] = -1;
}
