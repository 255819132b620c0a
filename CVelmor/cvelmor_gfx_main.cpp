// The graphics device: probing the video card, choosing formats, opening the
// device on the game window, restoring it after a loss, and tearing it down.
#include <new>

#include "cvelmor.h"
#include "cvelmor_managers.h"
#include "vlm_window.h"

using namespace vd3d;

namespace {

const char* const kFile = "cvelmor_gfx_main";

// Known cards by PCI vendor and device id; 0 for any other.
int32_t RateVideoCard(uint32_t vendor, uint32_t device) {
    switch (vendor) {
        case 0x10DE:
            if (device < 0x28) return 1;
            if (device < 0x100) return 2;
            if (device < 0x170) return 3;
            if (device < 0x250) return 4;
            return 5;
        case 0x1002:
            switch (device) {
                case 0x4E48: case 0x4E44: case 0x4E45: case 0x514D: case 0x4966: case 0x514C: return 5;
                case 0x5157: case 0x5144: return 4;
                case 0x5159: return 3;
                case 0x4C4D: return 2;
                case 0x524C: return 1;
                default: return 0;
            }
        case 0x102B:
            if (device == 0x2527 || device == 0x0525) return 2;
            return device == 0x0521 ? 1 : 0;
        case 0x1039: return device == 0x6300 ? 2 : 0;
        case 0x8086: return device == 0x7800 ? 1 : 0;
        case 0x104A: return device == 0x0010 ? 4 : 0;
        case 0x121A:
            if (device == 0x0009) return 3;
            return device == 0x0005 ? 2 : 0;
        case 0x1023: return device == 0x8520 ? 1 : 0;
        default: return 0;
    }
}

// One texture-format cascade: the first usable format fills its slot.
struct CascadeStep {
    D3DFORMAT format;
    int slot;
};
const CascadeStep kOpaque16[] = {{D3DFMT_R5G6B5, 1},   {D3DFMT_X1R5G5B5, 1}, {D3DFMT_A1R5G5B5, 2},
                                 {D3DFMT_X4R4G4B4, 1}, {D3DFMT_A4R4G4B4, 2}};
const CascadeStep kAlpha16[] = {{D3DFMT_A4R4G4B4, 2}, {D3DFMT_A1R5G5B5, 2}, {D3DFMT_A8R3G3B2, 2}};
const CascadeStep kAlpha32[] = {{D3DFMT_A8R8G8B8, 3}, {D3DFMT_A4R4G4B4, 3}};
const CascadeStep kTrueColor[] = {{D3DFMT_A8R8G8B8, 4}, {D3DFMT_X8R8G8B8, 4}, {D3DFMT_X4R4G4B4, 3},
                                  {D3DFMT_A4R4G4B4, 2}};

uint32_t& TextureFormatSlot(V2DDISPLAYMODE& mode, int slot) {
    switch (slot) {
        case 1: return mode.TextureFormat01;
        case 2: return mode.TextureFormat02;
        case 3: return mode.TextureFormat03;
        default: return mode.TextureFormat04;
    }
}

bool Is16BitDisplay(D3DFORMAT format) { return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5; }
bool Is32BitDisplay(D3DFORMAT format) { return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8; }

void LogModeReport(int number, const V2DDISPLAYMODE& mode) {
    CVelmor::LogLine("     Mode" + std::to_string(number) + ":");
    CVelmor::LogLine("          Display Mode:");
    CVelmor::LogLine(std::string("               Surface format: ") + CVelmor::GetFormatName(mode.Format));
    CVelmor::LogLine("                        Width: " + std::to_string(mode.Width));
    CVelmor::LogLine("                       Height: " + std::to_string(mode.Height));
    CVelmor::LogLine("                 Refresh Rate: " + std::to_string(mode.RefreshRate));
    CVelmor::LogLine("          Texture Formats:");
    CVelmor::LogLine(std::string("               TextureFormat01: ") + CVelmor::GetFormatName(mode.TextureFormat01));
    CVelmor::LogLine(std::string("               TextureFormat02: ") + CVelmor::GetFormatName(mode.TextureFormat02));
    CVelmor::LogLine(std::string("               TextureFormat03: ") + CVelmor::GetFormatName(mode.TextureFormat03));
    CVelmor::LogLine(std::string("               TextureFormat04: ") + CVelmor::GetFormatName(mode.TextureFormat04));
}

void LogFeature(bool present, const std::string& what, const char* yes, const char* no) {
    CVelmor::LogLine("     " + what + (present ? yes : no));
}

template <typename Manager>
void CreateManager(std::unique_ptr<Manager>& manager, const char* name, uint32_t line) {
    CVelmor::LogEntry(std::string("Creating ") + name + " Manager...", LOG_STEP);
    CVelmor::LogBlankLines(1);
    manager.reset(new (std::nothrow) Manager());
    if (!manager)
        throw CEHSException(EHS_TYPE_GENERAL, 0, std::string("Cannot create ") + name + " Manager!", kFile, line);
    CVelmor::LogEntry("Done.", LOG_RESULT);
}

template <typename Manager>
void DiscardManager(std::unique_ptr<Manager>& manager) {
    if (manager) manager->FreeAll();
    manager.reset();
}

template <typename T>
void ReleaseInterface(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

const char* CVelmor::GetFormatName(uint32_t format) {
    switch (format) {
        case D3DFMT_UNKNOWN: return "D3DFMT_UNKNOWN";
        case D3DFMT_R8G8B8: return "D3DFMT_R8G8B8";
        case D3DFMT_A8R8G8B8: return "D3DFMT_A8R8G8B8";
        case D3DFMT_X8R8G8B8: return "D3DFMT_X8R8G8B8";
        case D3DFMT_R5G6B5: return "D3DFMT_R5G6B5";
        case D3DFMT_X1R5G5B5: return "D3DFMT_X1R5G5B5";
        case D3DFMT_A1R5G5B5: return "D3DFMT_A1R5G5B5";
        case D3DFMT_A4R4G4B4: return "D3DFMT_A4R4G4B4";
        case D3DFMT_R3G3B2: return "D3DFMT_R3G3B2";
        case D3DFMT_A8: return "D3DFMT_A8";
        case D3DFMT_A8R3G3B2: return "D3DFMT_A8R3G3B2";
        case D3DFMT_X4R4G4B4: return "D3DFMT_X4R4G4B4";
        case D3DFMT_A8P8: return "D3DFMT_A8P8";
        case D3DFMT_P8: return "D3DFMT_P8";
        case D3DFMT_L8: return "D3DFMT_L8";
        case D3DFMT_A8L8: return "D3DFMT_A8L8";
        case D3DFMT_A4L4: return "D3DFMT_A4L4";
        case D3DFMT_V8U8: return "D3DFMT_V8U8";
        case D3DFMT_L6V5U5: return "D3DFMT_L6V5U5";
        case D3DFMT_X8L8V8U8: return "D3DFMT_X8L8V8U8";
        case D3DFMT_Q8W8V8U8: return "D3DFMT_Q8W8V8U8";
        case D3DFMT_V16U16: return "D3DFMT_V16U16";
        case D3DFMT_W11V11U10: return "D3DFMT_W11V11U10";
        case D3DFMT_D16_LOCKABLE: return "D3DFMT_D16_LOCKABLE";
        case D3DFMT_D32: return "D3DFMT_D32";
        case D3DFMT_D15S1: return "D3DFMT_D15S1";
        case D3DFMT_D24S8: return "D3DFMT_D24S8";
        case D3DFMT_D16: return "D3DFMT_D16";
        case D3DFMT_D24X8: return "D3DFMT_D24X8";
        case D3DFMT_D24X4S4: return "D3DFMT_D24X4S4";
        case D3DFMT_VERTEXDATA: return "D3DFMT_VERTEXDATA";
        case D3DFMT_INDEX16: return "D3DFMT_INDEX16";
        case D3DFMT_INDEX32: return "D3DFMT_INDEX32";
        default: return "Unknown format!";
    }
}

bool CVelmor::IsTextureFormatUsable(uint32_t format, uint32_t displayFormat) {
    SetCheckpoint(113, __LINE__);
    if (!m_pD3D) return false;
    return SUCCEEDED(m_pD3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, static_cast<D3DFORMAT>(displayFormat),
                                               0, D3DRTYPE_TEXTURE, static_cast<D3DFORMAT>(format)));
}

void CVelmor::GfxPreinit(uint32_t width, uint32_t height) {
    SetCheckpoint(113, __LINE__);
    LogSeparator(1);
    LogEntry("Preinitializing Graphics Subsystem...", LOG_TITLE);
    m_gfx.dwWantedWidth = width;
    m_gfx.dwWantedHeight = height;
    m_pD3D = Direct3DCreate8(D3D_SDK_VERSION);
    if (!m_pD3D) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create Direct3D object!", kFile, __LINE__);
    m_bGfxPrepared = 1;
    LogEntry("Direct3D object created.", LOG_RESULT);

    GfxProbeAdapter();
    LogBlankLines(1);
    GfxEnumerateModes();
    GfxEnumerateTextureFormats();
    LogBlankLines(1);
    const V2DVIDEOCAPS& caps = m_gfx.caps;
    LogModeReport(1, caps.Mode1);
    LogBlankLines(1);
    LogModeReport(2, caps.Mode2);
    LogBlankLines(1);
    LogModeReport(3, caps.Mode3);
    LogBlankLines(2);
    if (caps.Mode1.Valid) LogLine("          Display Mode 1 is valid.");
    if (caps.Mode2.Valid) LogLine("          Display Mode 2 is valid.");
    if (caps.Mode3.Valid) LogLine("          Display Mode 3 is valid.");
    LogBlankLines(2);
    GfxReadDeviceCaps();
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::GfxProbeAdapter() {
    SetCheckpoint(113, __LINE__);
    LogEntry("Getting videoadapter capabilities...", LOG_DETAIL);
    D3DADAPTER_IDENTIFIER8 identifier;
    if (FAILED(m_pD3D->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier)))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot get videoadapter identifier", kFile, __LINE__);
    m_gfx.strAdapterDescription = identifier.Description;
    LogLine("     Videocard: " + identifier.Description);
    LogLine("       VendorID: " + std::to_string(identifier.VendorId));
    LogLine("       DeviceID: " + std::to_string(identifier.DeviceId));
    m_gfx.caps.Rating = RateVideoCard(identifier.VendorId, identifier.DeviceId);
    LogLine("       Rating: " + (m_gfx.caps.Rating == 0 ? std::string("Unknown") : std::to_string(m_gfx.caps.Rating)));
}

void CVelmor::GfxEnumerateModes() {
    SetCheckpoint(113, __LINE__);
    LogEntry("Enumerating videomodes...", LOG_STEP);
    V2DVIDEOCAPS& caps = m_gfx.caps;
    caps.Mode1 = caps.Mode2 = caps.Mode3 = V2DDISPLAYMODE();
    D3DDISPLAYMODE desktop;
    if (SUCCEEDED(m_pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop)))
        caps.Mode3 = V2DDISPLAYMODE{desktop.Width, desktop.Height, desktop.RefreshRate, desktop.Format};
    const uint32_t count = m_pD3D->GetAdapterModeCount(D3DADAPTER_DEFAULT);
    for (uint32_t i = 0; i < count; ++i) {
        D3DDISPLAYMODE mode;
        if (FAILED(m_pD3D->EnumAdapterModes(D3DADAPTER_DEFAULT, i, &mode))) continue;
        if (mode.Width != m_gfx.dwWantedWidth || mode.Height != m_gfx.dwWantedHeight) continue;
        const V2DDISPLAYMODE found{mode.Width, mode.Height, mode.RefreshRate, mode.Format};
        if (caps.Mode1.Format == 0 && Is16BitDisplay(mode.Format)) caps.Mode1 = found;
        if (caps.Mode2.Format == 0 && Is32BitDisplay(mode.Format)) caps.Mode2 = found;
    }
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::GfxEnumerateTextureFormats() {
    SetCheckpoint(113, __LINE__);
    LogEntry("Enumerating texture formats...", LOG_STEP);
    auto runCascade = [this](V2DDISPLAYMODE& mode, const CascadeStep* steps, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (IsTextureFormatUsable(steps[i].format, mode.Format)) {
                TextureFormatSlot(mode, steps[i].slot) = steps[i].format;
                return;
            }
        }
    };
    for (V2DDISPLAYMODE* mode : {&m_gfx.caps.Mode1, &m_gfx.caps.Mode2, &m_gfx.caps.Mode3}) {
        runCascade(*mode, kOpaque16, sizeof(kOpaque16) / sizeof(kOpaque16[0]));
        runCascade(*mode, kAlpha16, sizeof(kAlpha16) / sizeof(kAlpha16[0]));
        runCascade(*mode, kAlpha32, sizeof(kAlpha32) / sizeof(kAlpha32[0]));
        runCascade(*mode, kTrueColor, sizeof(kTrueColor) / sizeof(kTrueColor[0]));
        mode->Valid = mode->Format != 0 && mode->TextureFormat01 != 0 && mode->TextureFormat02 != 0 &&
                      mode->TextureFormat03 != 0 && mode->TextureFormat04 != 0;
    }
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::GfxReadDeviceCaps() {
    SetCheckpoint(113, __LINE__);
    V2DVIDEOCAPS& caps = m_gfx.caps;
    D3DCAPS8 device;
    if (FAILED(m_pD3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &device))) device = D3DCAPS8();
    caps.CanRenderWindowed = (device.Caps2 & D3DCAPS2_CANRENDERWINDOWED) != 0 &&
                             m_gfx.dwWantedWidth < caps.Mode3.Width && m_gfx.dwWantedHeight < caps.Mode3.Height &&
                             caps.Mode3.Format != D3DFMT_P8 && caps.Mode3.Format != D3DFMT_A8P8;
    caps.MaxTextureWidth = device.MaxTextureWidth;
    caps.MaxTextureHeight = device.MaxTextureHeight;
    caps.MaxTextureBlendStages = device.MaxTextureBlendStages;
    caps.MaxSimultaneousTextures = device.MaxSimultaneousTextures;
    caps.VertexFog = (device.RasterCaps & D3DPRASTERCAPS_FOGVERTEX) != 0;
    caps.MipMapping = (device.TextureCaps & D3DPTEXTURECAPS_MIPMAP) != 0;
    caps.Dot3 = (device.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3) != 0;
    caps.AddressClamp = (device.TextureAddressCaps & D3DPTADDRESSCAPS_CLAMP) != 0;
    caps.AddressWrap = (device.TextureAddressCaps & D3DPTADDRESSCAPS_WRAP) != 0;
    caps.FullscreenGamma = (device.Caps2 & D3DCAPS2_FULLSCREENGAMMA) != 0;
    caps.CalibrateGamma = (device.Caps2 & D3DCAPS2_CANCALIBRATEGAMMA) != 0;

    LogLine(caps.CanRenderWindowed ? "          Device can render in windowed mode"
                                   : "          Device cannot render in windowed mode");
    LogBlankLines(2);
    LogLine("     MaxTextureWidth         = " + std::to_string(caps.MaxTextureWidth));
    LogLine("     MaxTextureHeight        = " + std::to_string(caps.MaxTextureHeight));
    LogLine("     MaxTextureBlendStages   = " + std::to_string(caps.MaxTextureBlendStages));
    LogLine("     MaxSimultaneousTextures = " + std::to_string(caps.MaxSimultaneousTextures));
    LogBlankLines(2);
    LogFeature(caps.VertexFog, "Vertex Fog", " is available.", " is not available.");
    LogFeature(caps.MipMapping, "MipMapping", " is available.", " is not available.");
    LogFeature(caps.Dot3, "Dot3 Bump Mapping", " is available.", " is not available.");
    LogBlankLines(2);
    LogFeature(caps.AddressClamp, "Texture addr. mode: Clamp", " is available.", " is not available.");
    LogFeature(caps.AddressWrap, "Texture addr. mode: Wrap", " is available.", " is not available.");
    LogBlankLines(2);
    LogFeature(caps.FullscreenGamma, "Dynamic gamma adjusting in full screen", " is supported.",
               " is not supported.");
    LogFeature(caps.CalibrateGamma, "Gamma calibrating", " is supported.", " is not supported.");
}

void CVelmor::GetVideoCardCaps(V2DVIDEOCAPS& caps) const {
    SetCheckpoint(113, __LINE__);
    if (!m_bGfxPrepared)
        throw CEHSException(EHS_TYPE_GAME, 0, "Cannot provide videocard caps - GFX system was not initialized!", kFile,
                            __LINE__);
    caps = m_gfx.caps;
}

void CVelmor::GetScreenSize(uint32_t& width, uint32_t& height) const {
    if (m_gfx.iDisplayMode == 3 && !m_gfx.bWindowed) {
        width = m_gfx.caps.Mode3.Width;
        height = m_gfx.caps.Mode3.Height;
    } else {
        width = m_gfx.dwWantedWidth;
        height = m_gfx.dwWantedHeight;
    }
}

void CVelmor::GfxInit(int32_t mode, bool windowed) {
    SetCheckpoint(113, __LINE__);
    LogSeparator(1);
    LogEntry("Initializing Graphics Subsystem...", LOG_TITLE);
    if (!m_pD3D) throw CEHSException(EHS_TYPE_GENERAL, 0, "Direct3D object was not created!", kFile, __LINE__);
    if (windowed && !m_gfx.caps.CanRenderWindowed)
        throw CEHSException(EHS_TYPE_GAME, 0, "Cannot switch to windowed rendering.", kFile, __LINE__);
    if (windowed && (mode == 1 || mode == 2))
        throw CEHSException(EHS_TYPE_GAME, 0, "Wrong combination of display mode params.", kFile, __LINE__);
    m_gfx.iDisplayMode = mode;
    m_gfx.bWindowed = windowed;

    LogBlankLines(1);
    LogEntry("Creating window...", LOG_STEP);
    uint32_t width = 0, height = 0;
    GetScreenSize(width, height);
    CreateGameWindow(&m_hWnd, static_cast<int>(width), static_cast<int>(height), windowed);
    LogEntry("Done.", LOG_RESULT);
    LogBlankLines(2);

    const V2DDISPLAYMODE& chosen = mode == 1 ? m_gfx.caps.Mode1 : mode == 3 ? m_gfx.caps.Mode3 : m_gfx.caps.Mode2;
    D3DPRESENT_PARAMETERS& params = m_gfx.presentParams;
    params = D3DPRESENT_PARAMETERS();
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = static_cast<D3DFORMAT>(chosen.Format);
    params.BackBufferCount = 1;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.SwapEffect = windowed ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_FLIP;
    params.hDeviceWindow = m_hWnd;
    params.Windowed = windowed;
    params.EnableAutoDepthStencil = false;
    params.Flags = 0;
    params.FullScreen_RefreshRateInHz = 0;
    params.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    LogEntry("Creating D3DDevice...", LOG_STEP);
    HRESULT hr = m_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_hWnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                      &params, &m_pD3DDevice);
    if (FAILED(hr)) {
        m_pD3DDevice = nullptr;
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot create D3DDevice!", kFile, __LINE__);
    }
    GfxCreateIndexBuffer();
    m_gfx.iCurrentFont = -1;
    GfxSetupDevice();
    LogEntry("Done.", LOG_RESULT);
    LogBlankLines(1);
    LogSeparator(1);
    LogBlankLines(2);

    CreateManager(m_gfx.pTextures, "Textures", __LINE__);
    LogBlankLines(1);
    CreateManager(m_gfx.pLights, "Lights", __LINE__);
    LogBlankLines(1);
    CreateManager(m_gfx.pTechniques, "Techniques", __LINE__);
    LogBlankLines(1);
    CreateManager(m_gfx.pFonts, "Fonts", __LINE__);
    GfxSetDemandLookups(true);
    m_bGfxStarted = 1;
}

// Six indices per quad: two triangles, top left - top right - bottom right
// and top left - bottom right - bottom left.
void CVelmor::GfxCreateIndexBuffer() {
    SetCheckpoint(113, __LINE__);
    const HRESULT hr = m_pD3DDevice->CreateIndexBuffer(V2D_INDEX_BUFFER_BYTES, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                       D3DPOOL_MANAGED, &m_gfx.pIndexBuffer);
    if (FAILED(hr)) {
        m_gfx.pIndexBuffer = nullptr;
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot create Index Buffer!", kFile,
                            __LINE__);
    }
    uint8_t* bytes = nullptr;
    if (FAILED(m_gfx.pIndexBuffer->Lock(0, 0, &bytes, 0)))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot lock index buffer!", kFile, __LINE__);
    uint16_t* indices = reinterpret_cast<uint16_t*>(bytes);
    for (uint16_t quad = 0; quad < V2D_QUADS_PER_BATCH; ++quad) {
        const uint16_t v = static_cast<uint16_t>(quad * 4);
        const uint16_t six[6] = {v, static_cast<uint16_t>(v + 1), static_cast<uint16_t>(v + 2),
                                 v, static_cast<uint16_t>(v + 2), static_cast<uint16_t>(v + 3)};
        for (int i = 0; i < 6; ++i) indices[quad * 6 + i] = six[i];
    }
    if (FAILED(m_gfx.pIndexBuffer->Unlock()))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot unlock index buffer!", kFile, __LINE__);
}

// After creation and after every Reset: the device has forgotten its states.
void CVelmor::GfxSetupDevice() {
    SetCheckpoint(113, __LINE__);
    m_pD3DDevice->SetVertexShader(V2D_VERTEX_FORMAT);
    m_pD3DDevice->SetRenderState(D3DRS_LIGHTING, 0);
    m_pD3DDevice->ShowCursor(false);
    for (V2DVERTEX& vertex : m_gfx.quad.vertices) {
        vertex.z = 0.5f;
        vertex.rhw = 0.5f;
    }
    for (int32_t& texture : m_gfx.iCurrentTexture) texture = -1;
    m_gfx.dwDynLightMode = 0;
    m_gfx.dynLightAmbient[0] = m_gfx.dynLightAmbient[1] = m_gfx.dynLightAmbient[2] = 0.0f;
    m_gfx.dynLightAmbient[3] = 1.0f;
    m_gfx.iCurrentTechnique = -1;
    // The current font is the engine's choice, not device state: a reset
    // keeps it.
    if (FAILED(m_pD3DDevice->CreateVertexBuffer(V2D_VERTEX_BUFFER_BYTES, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                                                V2D_VERTEX_FORMAT, D3DPOOL_DEFAULT, &m_gfx.pVertexBuffer))) {
        m_gfx.pVertexBuffer = nullptr;
        throw CEHSException(EHS_TYPE_GAME, 0, "Cannot create Vertex Buffer!", kFile, __LINE__);
    }
    const HRESULT hr = m_pD3DDevice->SetIndices(m_gfx.pIndexBuffer, 0);
    if (FAILED(hr))
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot process index buffer!", kFile,
                            __LINE__);
}

bool CVelmor::GfxCheckDevice() {
    SetCheckpoint(113, __LINE__);
    const HRESULT level = m_pD3DDevice->TestCooperativeLevel();
    if (SUCCEEDED(level)) return true;
    if (level == D3DERR_DEVICELOST) {
        LogEntry("Device is lost and currently cannot be restored.", LOG_RESULT);
        return false;
    }
    if (level != D3DERR_DEVICENOTRESET) return false;

    LogEntry("D3DDevice is lost. Trying to reset...", LOG_STEP);
    ReleaseInterface(m_gfx.pVertexBuffer);
    m_gfx.pLockedVertices = nullptr;
    m_gfx.dwQueuedQuads = 0;
    m_pD3DDevice->SetStreamSource(0, nullptr, 0);
    if (FAILED(m_pD3DDevice->Reset(&m_gfx.presentParams))) {
        LogEntry("Failed.", LOG_WARNING);
        return false;
    }
    LogEntry("Done.", LOG_RESULT);
    GfxSetupDevice();
    return true;
}

void CVelmor::GfxDeinit() {
    SetCheckpoint(113, __LINE__);
    LogSeparator(1);
    LogEntry("Deinitializing Graphics Subsystem...", LOG_TITLE);
    if (m_bGfxStarted) {
        m_pD3DDevice->SetStreamSource(0, nullptr, 0);
        m_pD3DDevice->SetIndices(nullptr, 0);
        ReleaseInterface(m_gfx.pVertexBuffer);
        m_gfx.pLockedVertices = nullptr;
        ReleaseInterface(m_gfx.pIndexBuffer);
        GfxSetDemandLookups(false);
        DestroyItemsManager(m_gfx.pTextures, "Textures");
        DestroyItemsManager(m_gfx.pLights, "Lights");
        DestroyItemsManager(m_gfx.pTechniques, "Techniques");
        DestroyItemsManager(m_gfx.pFonts, "Fonts");
        if (m_pD3DDevice->Release() > 0) LogEntry("pD3Device references left!", LOG_FATAL);
        m_pD3DDevice = nullptr;
        DestroyGameWindow(m_hWnd);
        m_hWnd = nullptr;
    } else {
        GfxReleasePartialInit();
    }
    if (m_pD3D && m_pD3D->Release() > 0) LogEntry("pD3D references left!", LOG_FATAL);
    m_pD3D = nullptr;
    m_bGfxStarted = 0;
    m_bGfxPrepared = 0;
    LogEntry("Done.", LOG_TITLE);
    LogSeparator(1);
    LogBlankLines(1);
}

// A start that failed half-way leaves buffers, managers, a device or the
// window behind; they go quietly, so the API object is not reported as
// leaked because of them.
void CVelmor::GfxReleasePartialInit() {
    SetCheckpoint(113, __LINE__);
    if (m_pD3DDevice) {
        m_pD3DDevice->SetStreamSource(0, nullptr, 0);
        m_pD3DDevice->SetIndices(nullptr, 0);
    }
    ReleaseInterface(m_gfx.pVertexBuffer);
    m_gfx.pLockedVertices = nullptr;
    ReleaseInterface(m_gfx.pIndexBuffer);
    DiscardManager(m_gfx.pTextures);
    DiscardManager(m_gfx.pLights);
    DiscardManager(m_gfx.pTechniques);
    DiscardManager(m_gfx.pFonts);
    ReleaseInterface(m_pD3DDevice);
    if (m_hWnd) DestroyGameWindow(m_hWnd);
    m_hWnd = nullptr;
}
