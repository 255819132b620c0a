// A 3-D device with the shape of Direct3D 8: the engine creates the API
// object, probes the adapter, creates the device on the game window and
// draws indexed triangle lists of pre-transformed vertices through two
// texture stages. Result codes, format codes and state numbers are Direct3D
// 8's own, so the engine keeps the protocol it was written for (reference
// counts, Lock/Unlock, the lost-device cycle). Two backends implement it:
// OpenGL 3.3 (d3d8_gl.cpp) and a recording device for tests
// (d3d8_recording.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class GameWindow;
}

namespace vd3d {

typedef int32_t HRESULT;

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = static_cast<HRESULT>(0x88760818);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = static_cast<HRESULT>(0x88760827);
constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866);
constexpr HRESULT D3DERR_DEVICELOST = static_cast<HRESULT>(0x88760868);
constexpr HRESULT D3DERR_DEVICENOTRESET = static_cast<HRESULT>(0x88760869);
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086A);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017C);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086C);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);

inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

constexpr uint32_t D3D_SDK_VERSION = 120;
constexpr uint32_t D3DADAPTER_DEFAULT = 0;

enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

enum D3DFORMAT : uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_R3G3B2 = 27,
    D3DFMT_A8 = 28,
    D3DFMT_A8R3G3B2 = 29,
    D3DFMT_X4R4G4B4 = 30,
    D3DFMT_A8P8 = 40,
    D3DFMT_P8 = 41,
    D3DFMT_L8 = 50,
    D3DFMT_A8L8 = 51,
    D3DFMT_A4L4 = 52,
    D3DFMT_V8U8 = 60,
    D3DFMT_L6V5U5 = 61,
    D3DFMT_X8L8V8U8 = 62,
    D3DFMT_Q8W8V8U8 = 63,
    D3DFMT_V16U16 = 64,
    D3DFMT_W11V11U10 = 65,
    D3DFMT_D16_LOCKABLE = 70,
    D3DFMT_D32 = 71,
    D3DFMT_D15S1 = 73,
    D3DFMT_D24S8 = 75,
    D3DFMT_D24X8 = 77,
    D3DFMT_D24X4S4 = 79,
    D3DFMT_D16 = 80,
    D3DFMT_VERTEXDATA = 100,
    D3DFMT_INDEX16 = 101,
    D3DFMT_INDEX32 = 102,
    D3DFMT_DXT1 = MakeFourCC('D', 'X', 'T', '1'),
    D3DFMT_DXT2 = MakeFourCC('D', 'X', 'T', '2'),
    D3DFMT_DXT3 = MakeFourCC('D', 'X', 'T', '3'),
    D3DFMT_DXT4 = MakeFourCC('D', 'X', 'T', '4'),
    D3DFMT_DXT5 = MakeFourCC('D', 'X', 'T', '5'),
};

enum D3DRESOURCETYPE : uint32_t {
    D3DRTYPE_SURFACE = 1,
    D3DRTYPE_TEXTURE = 3,
    D3DRTYPE_VERTEXBUFFER = 6,
    D3DRTYPE_INDEXBUFFER = 7,
};

enum D3DPOOL : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };

// Usage flags.
constexpr uint32_t D3DUSAGE_WRITEONLY = 0x00000008;
constexpr uint32_t D3DUSAGE_DYNAMIC = 0x00000200;

// Lock flags.
constexpr uint32_t D3DLOCK_READONLY = 0x00000010;
constexpr uint32_t D3DLOCK_NOOVERWRITE = 0x00001000;
constexpr uint32_t D3DLOCK_DISCARD = 0x00002000;

// Vertex format flags (SetVertexShader takes a format in place of a shader).
constexpr uint32_t D3DFVF_XYZRHW = 0x004;
constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
constexpr uint32_t D3DFVF_SPECULAR = 0x080;
constexpr uint32_t D3DFVF_TEX2 = 0x200;

// Clear flags.
constexpr uint32_t D3DCLEAR_TARGET = 0x1;
constexpr uint32_t D3DCLEAR_ZBUFFER = 0x2;
constexpr uint32_t D3DCLEAR_STENCIL = 0x4;

enum D3DPRIMITIVETYPE : uint32_t { D3DPT_TRIANGLELIST = 4 };

enum D3DSWAPEFFECT : uint32_t { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
enum D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0 };

constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0x00000000;
constexpr uint32_t D3DPRESENT_INTERVAL_ONE = 0x00000001;
constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;

constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x00000020;

constexpr uint32_t D3DSGR_NO_CALIBRATION = 0x0;
constexpr uint32_t D3DSGR_CALIBRATE = 0x1;

// Render states.
enum D3DRENDERSTATETYPE : uint32_t {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_FOGCOLOR = 34,
    D3DRS_FOGTABLEMODE = 35,
    D3DRS_FOGSTART = 36,
    D3DRS_FOGEND = 37,
    D3DRS_FOGDENSITY = 38,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_LIGHTING = 137,
    D3DRS_AMBIENT = 139,
    D3DRS_FOGVERTEXMODE = 140,
    D3DRS_COLORVERTEX = 141,
    D3DRS_BLENDOP = 171,
};
constexpr uint32_t kRenderStateCount = 256;

// Texture stage states.
enum D3DTEXTURESTAGESTATETYPE : uint32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
    D3DTSS_TEXCOORDINDEX = 11,
    D3DTSS_ADDRESSU = 13,
    D3DTSS_ADDRESSV = 14,
    D3DTSS_BORDERCOLOR = 15,
    D3DTSS_MAGFILTER = 16,
    D3DTSS_MINFILTER = 17,
    D3DTSS_MIPFILTER = 18,
    D3DTSS_MIPMAPLODBIAS = 19,
    D3DTSS_MAXMIPLEVEL = 20,
    D3DTSS_MAXANISOTROPY = 21,
    D3DTSS_ADDRESSW = 25,
};
constexpr uint32_t kStageStateCount = 32;
constexpr uint32_t kMaxTextureStages = 8;

enum D3DTEXTUREOP : uint32_t {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_ADD = 7,
    D3DTOP_SUBTRACT = 10,
    D3DTOP_DOTPRODUCT3 = 24,
};

// Texture arguments.
constexpr uint32_t D3DTA_DIFFUSE = 0;
constexpr uint32_t D3DTA_CURRENT = 1;
constexpr uint32_t D3DTA_TEXTURE = 2;
constexpr uint32_t D3DTA_TFACTOR = 3;
constexpr uint32_t D3DTA_SPECULAR = 4;

enum D3DBLEND : uint32_t {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
};

enum D3DTEXTUREADDRESS : uint32_t {
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_MIRROR = 2,
    D3DTADDRESS_CLAMP = 3,
    D3DTADDRESS_BORDER = 4,
};

enum D3DTEXTUREFILTERTYPE : uint32_t { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };

enum D3DFOGMODE : uint32_t { D3DFOG_NONE = 0, D3DFOG_LINEAR = 3 };
enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };

// Capability bits the engine reads.
constexpr uint32_t D3DCAPS2_FULLSCREENGAMMA = 0x00020000;
constexpr uint32_t D3DCAPS2_CANRENDERWINDOWED = 0x00080000;
constexpr uint32_t D3DCAPS2_CANCALIBRATEGAMMA = 0x00100000;
constexpr uint32_t D3DPRASTERCAPS_FOGVERTEX = 0x00000080;
constexpr uint32_t D3DPTEXTURECAPS_MIPMAP = 0x00004000;
constexpr uint32_t D3DTEXOPCAPS_DISABLE = 0x00000001;
constexpr uint32_t D3DTEXOPCAPS_SELECTARG1 = 0x00000002;
constexpr uint32_t D3DTEXOPCAPS_SELECTARG2 = 0x00000004;
constexpr uint32_t D3DTEXOPCAPS_MODULATE = 0x00000008;
constexpr uint32_t D3DTEXOPCAPS_ADD = 0x00000040;
constexpr uint32_t D3DTEXOPCAPS_SUBTRACT = 0x00000200;
constexpr uint32_t D3DTEXOPCAPS_DOTPRODUCT3 = 0x00800000;
constexpr uint32_t D3DPTADDRESSCAPS_WRAP = 0x00000001;
constexpr uint32_t D3DPTADDRESSCAPS_MIRROR = 0x00000002;
constexpr uint32_t D3DPTADDRESSCAPS_CLAMP = 0x00000004;
constexpr uint32_t D3DPTADDRESSCAPS_BORDER = 0x00000008;

// An ARGB colour as the device takes it.
constexpr uint32_t D3DCOLOR_ARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

struct D3DADAPTER_IDENTIFIER8 {
    std::string Driver;
    std::string Description;
    uint32_t VendorId = 0;
    uint32_t DeviceId = 0;
    uint32_t SubSysId = 0;
    uint32_t Revision = 0;
};

struct D3DDISPLAYMODE {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t RefreshRate = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// The part of the device capabilities this program reads.
struct D3DCAPS8 {
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    uint32_t Caps2 = 0;
    uint32_t RasterCaps = 0;
    uint32_t TextureCaps = 0;
    uint32_t TextureAddressCaps = 0;
    uint32_t TextureOpCaps = 0;
    uint32_t MaxTextureWidth = 0;
    uint32_t MaxTextureHeight = 0;
    uint32_t MaxTextureBlendStages = 0;
    uint32_t MaxSimultaneousTextures = 0;
};

struct D3DPRESENT_PARAMETERS {
    uint32_t BackBufferWidth = 0;
    uint32_t BackBufferHeight = 0;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    uint32_t BackBufferCount = 0;
    D3DMULTISAMPLE_TYPE MultiSampleType = D3DMULTISAMPLE_NONE;
    D3DSWAPEFFECT SwapEffect = D3DSWAPEFFECT_DISCARD;
    platform::GameWindow* hDeviceWindow = nullptr;
    bool Windowed = false;
    bool EnableAutoDepthStencil = false;
    D3DFORMAT AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    uint32_t Flags = 0;
    uint32_t FullScreen_RefreshRateInHz = 0;
    uint32_t FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
};

struct D3DVIEWPORT8 {
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    float MinZ = 0.0f;
    float MaxZ = 1.0f;
};

struct D3DGAMMARAMP {
    uint16_t red[256];
    uint16_t green[256];
    uint16_t blue[256];
};

struct D3DRECT {
    int32_t x1, y1, x2, y2;
};

struct RECT {
    int32_t left, top, right, bottom;
};

struct D3DLOCKED_RECT {
    int32_t Pitch = 0;
    void* pBits = nullptr;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE Type = D3DRTYPE_SURFACE;
    uint32_t Usage = 0;
    D3DPOOL Pool = D3DPOOL_DEFAULT;
    uint32_t Size = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
};

// Objects count references: AddRef and Release return the count held by the
// program; an object goes away when no reference is left. Resources hold a
// reference to their device and the device one to the API object, so a
// leaked texture shows as references left on both. What the device has bound
// (textures, stream, indices) it keeps alive by itself, outside the count.
class IUnknown {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDirect3DVertexBuffer8 : public IUnknown {
public:
    // offset 0 and size 0 lock the whole buffer.
    virtual HRESULT Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
    virtual HRESULT Unlock() = 0;
};

class IDirect3DIndexBuffer8 : public IUnknown {
public:
    virtual HRESULT Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
    virtual HRESULT Unlock() = 0;
};

class IDirect3DSurface8 : public IUnknown {
public:
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) = 0;
    virtual HRESULT UnlockRect() = 0;
};

class IDirect3DBaseTexture8 : public IUnknown {
public:
    virtual uint32_t GetLevelCount() = 0;
};

class IDirect3DTexture8 : public IDirect3DBaseTexture8 {
public:
    virtual HRESULT GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) = 0;
    virtual HRESULT UnlockRect(uint32_t level) = 0;
};

class IDirect3DDevice8 : public IUnknown {
public:
    // D3D_OK while frames can be drawn; D3DERR_DEVICELOST while the device
    // is lost; D3DERR_DEVICENOTRESET once it can be reset.
    virtual HRESULT TestCooperativeLevel() = 0;
    // Fails while resources of the default pool exist. Every render state,
    // stage state and binding returns to its default.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
    virtual HRESULT Present(const RECT* source, const RECT* dest, platform::GameWindow* overrideWindow,
                            const void* dirtyRegion) = 0;
    virtual HRESULT GetFrontBuffer(IDirect3DSurface8* dest) = 0;
    virtual void SetGammaRamp(uint32_t flags, const D3DGAMMARAMP* ramp) = 0;
    virtual void GetGammaRamp(D3DGAMMARAMP* ramp) = 0;
    virtual bool ShowCursor(bool show) = 0;

    virtual HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture8** texture) = 0;
    virtual HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** buffer) = 0;
    virtual HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer8** buffer) = 0;
    virtual HRESULT CreateImageSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                       IDirect3DSurface8** surface) = 0;

    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                          uint32_t stencil) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) = 0;
    virtual HRESULT SetTexture(uint32_t stage, IDirect3DBaseTexture8* texture) = 0;
    virtual HRESULT GetTexture(uint32_t stage, IDirect3DBaseTexture8** texture) = 0;
    virtual HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) = 0;
    virtual HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t* value) = 0;
    // The fixed vertex format, given in place of a shader handle.
    virtual HRESULT SetVertexShader(uint32_t handle) = 0;
    virtual HRESULT SetStreamSource(uint32_t stream, IDirect3DVertexBuffer8* buffer, uint32_t stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, uint32_t baseVertexIndex) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t numVertices,
                                         uint32_t startIndex, uint32_t primCount) = 0;
};

class IDirect3D8 : public IUnknown {
public:
    virtual HRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags, D3DADAPTER_IDENTIFIER8* identifier) = 0;
    virtual uint32_t GetAdapterModeCount(uint32_t adapter) = 0;
    virtual HRESULT EnumAdapterModes(uint32_t adapter, uint32_t mode, D3DDISPLAYMODE* out) = 0;
    virtual HRESULT GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE* out) = 0;
    virtual HRESULT GetDeviceCaps(uint32_t adapter, D3DDEVTYPE type, D3DCAPS8* caps) = 0;
    virtual HRESULT CheckDeviceFormat(uint32_t adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, uint32_t usage,
                                      D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
    virtual HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, platform::GameWindow* focusWindow,
                                 uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                 IDirect3DDevice8** device) = 0;
};

// The API object; null when the SDK version is not 120 or no 3-D device can
// be reached. Production code gets the OpenGL backend; tests install the
// recording one (d3d8_recording.h) through SetDirect3DFactory.
IDirect3D8* Direct3DCreate8(uint32_t sdkVersion);

using Direct3DFactory = std::function<IDirect3D8*()>;
// An empty factory restores the OpenGL backend.
void SetDirect3DFactory(Direct3DFactory factory);

}  // namespace vd3d
