// The graphics subsystem's records and state: display modes and video card
// capabilities, the vertex quad and its batch, and the item records of
// textures, lights, techniques and fonts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3d8.h"
#include "titemsmanager.h"

struct V2DDISPLAYMODE {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t RefreshRate = 0;
    uint32_t Format = 0;  // a Direct3D format code
    uint32_t TextureFormat01 = 0;
    uint32_t TextureFormat02 = 0;
    uint32_t TextureFormat03 = 0;
    uint32_t TextureFormat04 = 0;
    bool Valid = false;
};

// Mode1: full screen, 16-bit, the wanted size. Mode2: full screen, 32-bit,
// the wanted size. Mode3: the desktop as it is.
struct V2DVIDEOCAPS {
    V2DDISPLAYMODE Mode1;
    V2DDISPLAYMODE Mode2;
    V2DDISPLAYMODE Mode3;
    bool CanRenderWindowed = false;
    uint32_t MaxTextureWidth = 0;
    uint32_t MaxTextureHeight = 0;
    uint32_t MaxTextureBlendStages = 0;
    uint32_t MaxSimultaneousTextures = 0;
    bool VertexFog = false;
    bool Dot3 = false;
    bool MipMapping = false;
    bool AddressClamp = false;
    bool AddressWrap = false;
    bool FullscreenGamma = false;
    bool CalibrateGamma = false;
    int32_t Rating = 0;  // 0 unknown, 1 to 5
};

// Pre-transformed position, diffuse, specular, two texture coordinate sets.
struct V2DVERTEX {
    float x, y;
    float z;    // depth, also the fog amount
    float rhw;  // always 0.5
    uint32_t diffuse;
    uint32_t specular;
    float tu1, tv1;
    float tu2, tv2;
};
static_assert(sizeof(V2DVERTEX) == 40, "a vertex is 40 bytes");

constexpr uint32_t V2D_VERTEX_FORMAT =
    vd3d::D3DFVF_XYZRHW | vd3d::D3DFVF_DIFFUSE | vd3d::D3DFVF_SPECULAR | vd3d::D3DFVF_TEX2;
constexpr uint32_t V2D_VERTEX_BUFFER_BYTES = 80000;  // 2000 vertices
constexpr uint32_t V2D_INDEX_BUFFER_BYTES = 6000;    // 3000 16-bit indices
constexpr uint32_t V2D_QUADS_PER_BATCH = 500;
constexpr uint32_t V2D_TEXTURE_SLOTS = 8;

// A colour channel from 0..1 to a byte, truncated. Values past the ends are
// held at 0 or 255 rather than wrapping round into another colour.
inline uint32_t V2DColorChannel(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<uint32_t>(value * 255.0f);
}

// The same for specular colours, rounded to the nearest byte.
inline uint32_t V2DSpecularChannel(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<uint32_t>(value * 255.0f + 0.5f);
}

// The quad under construction: top left, top right, bottom right, bottom
// left; then the alpha last given to each vertex's colour.
struct V2DVERTEXQUAD {
    V2DVERTEX vertices[4];
    float alpha[4];
};

struct V2DLIGHT {
    float InnerRadius;
    float OuterRadius;
    float Red, Green, Blue, Alpha;
    float X, Y, Z;
    bool Enabled;
};

struct V2DTECHNIQUE {
    bool AlphaBlendingSet;
    bool AlphaBlending;
    uint32_t SrcBlend, DestBlend;
    bool FogSet;
    bool Fog;
    float FogStart, FogEnd;
    uint32_t FogColor;
    bool TextureFactorSet;
    uint32_t TextureFactor;
    bool StageStatesSet;
    uint32_t ColorOp[2], ColorArg1[2], ColorArg2[2];
    uint32_t AlphaOp[2], AlphaArg1[2], AlphaArg2[2];
    uint32_t Address[2];
    bool FiltersSet;
    uint32_t MinFilter[2], MagFilter[2], MipFilter[2];
    bool DynLightSet;
    uint32_t DynLightMode;
    uint32_t DynLightAmbientColor;
};

// Glyphs beyond code 255: a texture of Columns by Rows cells, cell k (row by
// row) for the code point First + k.
struct V2DFONTPAGE {
    int32_t TextureID = -1;
    uint32_t First = 0;
    uint32_t Columns = 16;
    uint32_t Rows = 16;
    std::vector<float> Advance;     // per cell
    std::vector<uint8_t> HasGlyph;  // per cell: 0 where the font lacks the code point
};

struct V2DFONT {
    int32_t TextureID;
    int32_t TechniqueID;
    float Colors[10][4];
    float CellSize;
    float Advance[256];  // codes 0 to 255, the cells of TextureID
    std::vector<V2DFONTPAGE> Pages;
    int32_t FallbackCode = -1;  // drawn for a code point the font lacks; -1: a blank
};

using V2DTexturesManager = TItemsManagerCOM<vd3d::IDirect3DTexture8>;
using V2DLightsManager = TItemsManager<V2DLIGHT>;
using V2DTechniquesManager = TItemsManager<V2DTECHNIQUE>;
using V2DFontsManager = TItemsManager<V2DFONT>;

// Everything the graphics subsystem keeps besides the window, the API
// object and the device (CVelmor::m_hWnd, m_pD3D, m_pD3DDevice).
struct V2DGFXSTATE {
    V2DVIDEOCAPS caps;
    std::string strAdapterDescription;
    uint32_t dwWantedWidth = 0;  // the size given to GfxPreinit
    uint32_t dwWantedHeight = 0;
    int32_t iDisplayMode = 0;  // 1, 2 or 3, set by GfxInit
    bool bWindowed = false;
    vd3d::D3DPRESENT_PARAMETERS presentParams;  // kept for Reset

    V2DVERTEXQUAD quad{};
    // Red, green, blue and the fog amount written into specular colours.
    float fogFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    vd3d::IDirect3DVertexBuffer8* pVertexBuffer = nullptr;
    vd3d::IDirect3DIndexBuffer8* pIndexBuffer = nullptr;
    V2DVERTEX* pLockedVertices = nullptr;  // null while unlocked
    uint32_t dwQueuedQuads = 0;

    std::unique_ptr<V2DTexturesManager> pTextures;
    int32_t iCurrentTexture[V2D_TEXTURE_SLOTS] = {-1, -1, -1, -1, -1, -1, -1, -1};
    std::unique_ptr<V2DLightsManager> pLights;
    uint32_t dwDynLightMode = 0;
    float dynLightAmbient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::unique_ptr<V2DTechniquesManager> pTechniques;
    int32_t iCurrentTechnique = -1;
    bool bFog = false;
    std::unique_ptr<V2DFontsManager> pFonts;
    int32_t iCurrentFont = -1;
    int32_t iDot3Light = -1;  // the light Dot3 lighting points to
    uint32_t dwScreenshotCounter = 0;
};
