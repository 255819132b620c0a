#include "d3d8_device.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace vd3d {

// ---- Formats ----------------------------------------------------------------

bool DescribeFormat(D3DFORMAT format, uint32_t& bytesPerBlock, uint32_t& blockEdge) {
    blockEdge = 1;
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
            bytesPerBlock = 4;
            return true;
        case D3DFMT_R8G8B8:
            bytesPerBlock = 3;
            return true;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8R3G3B2:
        case D3DFMT_A8L8:
            bytesPerBlock = 2;
            return true;
        case D3DFMT_R3G3B2:
        case D3DFMT_A8:
        case D3DFMT_L8:
        case D3DFMT_A4L4:
            bytesPerBlock = 1;
            return true;
        case D3DFMT_DXT1:
            bytesPerBlock = 8;
            blockEdge = 4;
            return true;
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5:
            bytesPerBlock = 16;
            blockEdge = 4;
            return true;
        default:
            bytesPerBlock = 0;
            return false;
    }
}

uint32_t FormatRowPitch(D3DFORMAT format, uint32_t width) {
    uint32_t bytes = 0, edge = 1;
    if (!DescribeFormat(format, bytes, edge)) return 0;
    return (width + edge - 1) / edge * bytes;
}

uint32_t FormatLevelBytes(D3DFORMAT format, uint32_t width, uint32_t height) {
    uint32_t bytes = 0, edge = 1;
    if (!DescribeFormat(format, bytes, edge)) return 0;
    return FormatRowPitch(format, width) * ((height + edge - 1) / edge);
}

// ---- Resources --------------------------------------------------------------

namespace {
uint64_t g_lastVersion = 0;
}

ResourceBase::ResourceBase(DeviceBase& device, D3DPOOL pool)
    : m_device(device), m_pool(pool), m_version(++g_lastVersion) {
    m_device.AddRef();
    m_device.ResourceCreated(*this);
}

ResourceBase::~ResourceBase() { m_device.ResourceDestroyed(*this); }

void ResourceBase::Touch() { m_version = ++g_lastVersion; }

uint32_t ResourceBase::AddRefImpl() {
    // A resource kept only by a binding that the program takes up again
    // holds the device again too.
    if (m_refs++ == 0) m_device.AddRef();
    return m_refs;
}

uint32_t ResourceBase::ReleaseImpl() {
    if (m_refs == 0) return 0;
    if (--m_refs > 0) return m_refs;
    DeviceBase& device = m_device;
    if (m_binds == 0) delete this;
    // The last program reference also gives back the one on the device.
    device.Release();
    return 0;
}

void ResourceBase::Unbind() {
    if (--m_binds == 0 && m_refs == 0) delete this;
}

template <class Interface>
HRESULT MemoryBuffer<Interface>::Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
    const HRESULT hooked = this->m_device.Hook(m_lockCall, flags);
    if (FAILED(hooked)) return hooked;
    if (!data || m_locked) return D3DERR_INVALIDCALL;
    if (offset == 0 && size == 0) size = Length();
    if (offset > Length() || size > Length() - offset) return D3DERR_INVALIDCALL;
    // Vertices are taken by value at each draw; indices stay referenced.
    if constexpr (std::is_same_v<Interface, IDirect3DIndexBuffer8>) this->m_device.ContentsChanging(*this);
    m_locked = true;
    *data = m_bytes.data() + offset;
    return D3D_OK;
}

template <class Interface>
HRESULT MemoryBuffer<Interface>::Unlock() {
    const HRESULT hooked = this->m_device.Hook(m_unlockCall, 0);
    if (FAILED(hooked)) return hooked;
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    this->Touch();
    return D3D_OK;
}

template class MemoryBuffer<IDirect3DVertexBuffer8>;
template class MemoryBuffer<IDirect3DIndexBuffer8>;

namespace {

PixelLevel MakeLevel(D3DFORMAT format, uint32_t width, uint32_t height) {
    PixelLevel level;
    level.width = width;
    level.height = height;
    level.pitch = FormatRowPitch(format, width);
    level.bytes.assign(FormatLevelBytes(format, width, height), 0);
    return level;
}

HRESULT LockLevel(PixelLevel& level, D3DFORMAT format, D3DLOCKED_RECT* locked, const RECT* rect) {
    if (!locked || level.locked) return D3DERR_INVALIDCALL;
    uint32_t offset = 0;
    if (rect) {
        uint32_t bytes = 0, edge = 1;
        DescribeFormat(format, bytes, edge);
        const bool inside = rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
                            rect->top < rect->bottom && static_cast<uint32_t>(rect->right) <= level.width &&
                            static_cast<uint32_t>(rect->bottom) <= level.height;
        if (!inside || rect->left % edge != 0 || rect->top % edge != 0) return D3DERR_INVALIDCALL;
        offset = static_cast<uint32_t>(rect->top) / edge * level.pitch + static_cast<uint32_t>(rect->left) / edge * bytes;
    }
    level.locked = true;
    locked->Pitch = static_cast<int32_t>(level.pitch);
    locked->pBits = level.bytes.data() + offset;
    return D3D_OK;
}

}  // namespace

Texture::Texture(DeviceBase& device, uint32_t width, uint32_t height, uint32_t levels, D3DFORMAT format, D3DPOOL pool)
    : Resource<IDirect3DTexture8>(device, pool), m_format(format) {
    for (uint32_t i = 0; i < levels; ++i) {
        m_levels.push_back(MakeLevel(format, width, height));
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
    }
}

HRESULT Texture::GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= m_levels.size()) return D3DERR_INVALIDCALL;
    desc->Format = m_format;
    desc->Type = D3DRTYPE_TEXTURE;
    desc->Usage = 0;
    desc->Pool = Pool();
    desc->Size = static_cast<uint32_t>(m_levels[level].bytes.size());
    desc->Width = m_levels[level].width;
    desc->Height = m_levels[level].height;
    return D3D_OK;
}

HRESULT Texture::LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) {
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    if (!(flags & D3DLOCK_READONLY) && !m_levels[level].locked) m_device.ContentsChanging(*this);
    return LockLevel(m_levels[level], m_format, locked, rect);
}

HRESULT Texture::UnlockRect(uint32_t level) {
    if (level >= m_levels.size() || !m_levels[level].locked) return D3DERR_INVALIDCALL;
    m_levels[level].locked = false;
    Touch();
    return D3D_OK;
}

Surface::Surface(DeviceBase& device, uint32_t width, uint32_t height, D3DFORMAT format)
    : Resource<IDirect3DSurface8>(device, D3DPOOL_SYSTEMMEM), m_format(format),
      m_pixels(MakeLevel(format, width, height)) {}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = m_format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = 0;
    desc->Pool = Pool();
    desc->Size = static_cast<uint32_t>(m_pixels.bytes.size());
    desc->Width = m_pixels.width;
    desc->Height = m_pixels.height;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) {
    (void)flags;
    return LockLevel(m_pixels, m_format, locked, rect);
}

HRESULT Surface::UnlockRect() {
    if (!m_pixels.locked) return D3DERR_INVALIDCALL;
    m_pixels.locked = false;
    return D3D_OK;
}

// ---- The API object -----------------------------------------------------------

uint32_t Direct3DBase::Release() {
    const uint32_t left = --m_refs;
    if (left == 0) delete this;
    return left;
}

HRESULT Direct3DBase::GetAdapterIdentifier(uint32_t adapter, uint32_t flags, D3DADAPTER_IDENTIFIER8* identifier) {
    (void)flags;
    const HRESULT hooked = Hook("GetAdapterIdentifier");
    if (FAILED(hooked)) return hooked;
    if (adapter != D3DADAPTER_DEFAULT || !identifier) return D3DERR_INVALIDCALL;
    if (!m_adapter.identifierReadable) return D3DERR_NOTAVAILABLE;
    *identifier = m_adapter.identifier;
    return D3D_OK;
}

uint32_t Direct3DBase::GetAdapterModeCount(uint32_t adapter) {
    return adapter == D3DADAPTER_DEFAULT ? static_cast<uint32_t>(m_adapter.modes.size()) : 0;
}

HRESULT Direct3DBase::EnumAdapterModes(uint32_t adapter, uint32_t mode, D3DDISPLAYMODE* out) {
    if (adapter != D3DADAPTER_DEFAULT || !out || mode >= m_adapter.modes.size()) return D3DERR_INVALIDCALL;
    *out = m_adapter.modes[mode];
    return D3D_OK;
}

HRESULT Direct3DBase::GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE* out) {
    if (adapter != D3DADAPTER_DEFAULT || !out) return D3DERR_INVALIDCALL;
    *out = m_adapter.desktop;
    return D3D_OK;
}

HRESULT Direct3DBase::GetDeviceCaps(uint32_t adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    *caps = m_adapter.caps;
    return D3D_OK;
}

bool Direct3DBase::IsDisplayFormat(D3DFORMAT format) const {
    if (format == D3DFMT_UNKNOWN) return false;
    if (format == m_adapter.desktop.Format) return true;
    return std::any_of(m_adapter.modes.begin(), m_adapter.modes.end(),
                       [format](const D3DDISPLAYMODE& mode) { return mode.Format == format; });
}

HRESULT Direct3DBase::CheckDeviceFormat(uint32_t adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, uint32_t usage,
                                        D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    (void)usage;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    if (resourceType != D3DRTYPE_TEXTURE && resourceType != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
    if (!m_adapter.textureUsable || !m_adapter.textureUsable(adapterFormat, checkFormat)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3DBase::CreateDevice(uint32_t adapter, D3DDEVTYPE type, platform::GameWindow* focusWindow,
                                   uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                   IDirect3DDevice8** device) {
    (void)behaviorFlags;
    const HRESULT hooked = Hook("CreateDevice");
    if (FAILED(hooked)) return hooked;
    if (adapter != D3DADAPTER_DEFAULT || !params || !device) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (!params->hDeviceWindow && !focusWindow) return D3DERR_INVALIDCALL;
    if (params->BackBufferWidth == 0 || params->BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    if (!params->Windowed && !IsDisplayFormat(params->BackBufferFormat)) return D3DERR_NOTAVAILABLE;
    return NewDevice(params->hDeviceWindow ? params->hDeviceWindow : focusWindow, *params, device);
}

// ---- The device -----------------------------------------------------------------

DeviceBase::DeviceBase(Direct3DBase& d3d, const D3DPRESENT_PARAMETERS& params) : m_params(params), m_d3d(d3d) {
    // The device keeps the API object alive, as the program's reference would.
    m_d3d.AddRef();
    std::memset(m_state.textures, 0, sizeof(m_state.textures));
    m_state.stream = nullptr;
    m_state.indices = nullptr;
    SetDefaultStates();
}

DeviceBase::~DeviceBase() = default;

uint32_t DeviceBase::Release() {
    const uint32_t left = --m_refs;
    if (left > 0) return left;
    UnbindAll();
    Direct3DBase& d3d = m_d3d;
    delete this;
    d3d.Release();
    return 0;
}

void DeviceBase::UnbindAll() {
    for (Texture*& texture : m_state.textures) Rebind(texture, static_cast<Texture*>(nullptr));
    Rebind(m_state.stream, static_cast<VertexBuffer*>(nullptr));
    Rebind(m_state.indices, static_cast<IndexBuffer*>(nullptr));
}

template <class T>
void DeviceBase::Rebind(T*& slot, T* resource) {
    if (slot == resource) return;
    if (resource) resource->Bind();
    T* old = slot;
    slot = resource;
    if (old) old->Unbind();
}

void DeviceBase::SetDefaultStates() {
    auto floatBits = [](float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof(bits));
        return bits;
    };
    uint32_t* rs = m_state.renderStates;
    std::fill(rs, rs + kRenderStateCount, 0u);
    rs[D3DRS_FILLMODE] = 3;  // solid
    rs[D3DRS_SHADEMODE] = 2;  // Gouraud
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = 4;      // less or equal
    rs[D3DRS_ALPHAFUNC] = 8;  // always
    rs[D3DRS_FOGSTART] = floatBits(0.0f);
    rs[D3DRS_FOGEND] = floatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = floatBits(1.0f);
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORVERTEX] = 1;
    rs[D3DRS_BLENDOP] = 1;  // add

    for (uint32_t stage = 0; stage < kMaxTextureStages; ++stage) {
        uint32_t* ss = m_state.stageStates[stage];
        std::fill(ss, ss + kStageStateCount, 0u);
        ss[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ss[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ss[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ss[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ss[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ss[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ss[D3DTSS_TEXCOORDINDEX] = stage;
        ss[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        ss[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DTSS_MAXANISOTROPY] = 1;
    }
    UnbindAll();
    m_state.stride = 0;
    m_state.baseVertexIndex = 0;
    m_state.vertexFormat = 0;
    m_state.viewport = D3DVIEWPORT8{0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    for (uint32_t i = 0; i < 256; ++i) {
        const uint16_t identity = static_cast<uint16_t>(i * 257);
        m_state.gamma.red[i] = m_state.gamma.green[i] = m_state.gamma.blue[i] = identity;
    }
    m_state.cursorShown = false;
}

void DeviceBase::ResourceCreated(const ResourceBase& resource) {
    if (resource.Pool() == D3DPOOL_DEFAULT) ++m_defaultPoolResources;
}

void DeviceBase::ResourceDestroyed(ResourceBase& resource) {
    if (resource.Pool() == D3DPOOL_DEFAULT) --m_defaultPoolResources;
    OnResourceDestroyed(resource);
}

void DeviceBase::MarkLost() { m_loss = Loss::Lost; }

void DeviceBase::MarkResettable() {
    if (m_loss == Loss::Lost) m_loss = Loss::NotReset;
}

HRESULT DeviceBase::TestCooperativeLevel() {
    const HRESULT hooked = Hook("TestCooperativeLevel", 0);
    if (FAILED(hooked)) return hooked;
    switch (m_loss) {
        case Loss::Lost:
            return D3DERR_DEVICELOST;
        case Loss::NotReset:
            return D3DERR_DEVICENOTRESET;
        default:
            return D3D_OK;
    }
}

HRESULT DeviceBase::Reset(D3DPRESENT_PARAMETERS* params) {
    const HRESULT hooked = Hook("Reset", 0);
    if (FAILED(hooked)) return hooked;
    if (!params || params->BackBufferWidth == 0 || params->BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    if (m_loss == Loss::Lost) return D3DERR_DEVICELOST;
    if (m_defaultPoolResources > 0) return D3DERR_INVALIDCALL;
    const HRESULT hr = OnReset(*params);
    if (FAILED(hr)) return hr;
    m_params = *params;
    m_inScene = false;
    SetDefaultStates();
    m_loss = Loss::Usable;
    m_pacingConfigured = false;
    return D3D_OK;
}

HRESULT DeviceBase::Present(const RECT* source, const RECT* dest, platform::GameWindow* overrideWindow,
                            const void* dirtyRegion) {
    const HRESULT hooked = Hook("Present", 0);
    if (FAILED(hooked)) return hooked;
    if (source || dest || overrideWindow || dirtyRegion) return D3DERR_INVALIDCALL;
    if (m_loss != Loss::Usable) return D3DERR_DEVICELOST;
    ConfigurePacing();
    OnPresent();
    if (m_pacingCap) {
        const bool wasSleeping = m_pacer.PacedBySleeping();
        m_pacer.AfterPresent();
        // Vsync that does not hold the presents is given up, so that the
        // sleeps alone pace them and never wait for a refresh just missed.
        if (!wasSleeping && m_pacer.PacedBySleeping()) OnRequestVsync(false);
    }
    return D3D_OK;
}

void DeviceBase::ConfigurePacing() {
    const bool cap = FrameCapOn();
    if (m_pacingConfigured && cap == m_pacingCap) return;
    const bool immediate =
        !m_params.Windowed && m_params.FullScreen_PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE;
    const bool vsync = OnRequestVsync(cap && !immediate);
    m_pacer.Start(RefreshRate(), vsync);
    m_pacingConfigured = true;
    m_pacingCap = cap;
}

// Full screen at a rate of its own, else the desktop's; 0 when unknown.
uint32_t DeviceBase::RefreshRate() const {
    if (!m_params.Windowed && m_params.FullScreen_RefreshRateInHz != 0) return m_params.FullScreen_RefreshRateInHz;
    return m_d3d.Adapter().desktop.RefreshRate;
}

HRESULT DeviceBase::GetFrontBuffer(IDirect3DSurface8* dest) {
    const HRESULT hooked = Hook("GetFrontBuffer", 0);
    if (FAILED(hooked)) return hooked;
    Surface* surface = dynamic_cast<Surface*>(dest);
    if (!surface || surface->Format() != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    PixelLevel& pixels = surface->Pixels();
    if (pixels.width != m_params.BackBufferWidth || pixels.height != m_params.BackBufferHeight || pixels.locked)
        return D3DERR_INVALIDCALL;
    if (m_loss != Loss::Usable) return D3DERR_DEVICELOST;
    OnReadFrontBuffer(pixels.bytes.data(), pixels.pitch);
    return D3D_OK;
}

void DeviceBase::SetGammaRamp(uint32_t flags, const D3DGAMMARAMP* ramp) {
    (void)flags;
    if (ramp) m_state.gamma = *ramp;
}

bool DeviceBase::ShowCursor(bool show) {
    const bool previous = m_state.cursorShown;
    m_state.cursorShown = show;
    return previous;
}

HRESULT DeviceBase::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture8** texture) {
    (void)usage;
    const HRESULT hooked = Hook("CreateTexture", format);
    if (FAILED(hooked)) return hooked;
    if (!texture || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (!m_d3d.Adapter().textureUsable || !m_d3d.Adapter().textureUsable(m_params.BackBufferFormat, format))
        return D3DERR_INVALIDCALL;
    const uint32_t maxEdge = m_d3d.Adapter().caps.MaxTextureWidth;
    if (width > maxEdge || height > maxEdge) return D3DERR_INVALIDCALL;
    uint32_t fullChain = 1;
    for (uint32_t edge = std::max(width, height); edge > 1; edge /= 2) ++fullChain;
    if (levels == 0 || levels > fullChain) levels = fullChain;
    *texture = new Texture(*this, width, height, levels, format, pool);
    return D3D_OK;
}

HRESULT DeviceBase::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** buffer) {
    (void)usage;
    (void)fvf;
    const HRESULT hooked = Hook("CreateVertexBuffer", length);
    if (FAILED(hooked)) return hooked;
    if (!buffer || length == 0) return D3DERR_INVALIDCALL;
    *buffer = new VertexBuffer(*this, length, pool, "VertexBuffer::Lock", "VertexBuffer::Unlock");
    return D3D_OK;
}

HRESULT DeviceBase::CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer8** buffer) {
    (void)usage;
    const HRESULT hooked = Hook("CreateIndexBuffer", length);
    if (FAILED(hooked)) return hooked;
    if (!buffer || length == 0 || format != D3DFMT_INDEX16) return D3DERR_INVALIDCALL;
    *buffer = new IndexBuffer(*this, length, pool, "IndexBuffer::Lock", "IndexBuffer::Unlock");
    return D3D_OK;
}

HRESULT DeviceBase::CreateImageSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                                       IDirect3DSurface8** surface) {
    const HRESULT hooked = Hook("CreateImageSurface", format);
    if (FAILED(hooked)) return hooked;
    uint32_t bytes = 0, edge = 1;
    if (!surface || width == 0 || height == 0 || !DescribeFormat(format, bytes, edge)) return D3DERR_INVALIDCALL;
    *surface = new Surface(*this, width, height, format);
    return D3D_OK;
}

HRESULT DeviceBase::BeginScene() {
    const HRESULT hooked = Hook("BeginScene", 0);
    if (FAILED(hooked)) return hooked;
    if (m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT DeviceBase::EndScene() {
    const HRESULT hooked = Hook("EndScene", 0);
    if (FAILED(hooked)) return hooked;
    if (!m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = false;
    return D3D_OK;
}

HRESULT DeviceBase::Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                          uint32_t stencil) {
    (void)z;
    (void)stencil;
    const HRESULT hooked = Hook("Clear", color);
    if (FAILED(hooked)) return hooked;
    if ((count > 0 && !rects) || (flags & D3DCLEAR_TARGET) == 0) return D3DERR_INVALIDCALL;
    // There is never a depth or stencil buffer to clear.
    if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
    if (m_loss != Loss::Usable) return D3D_OK;
    const D3DVIEWPORT8& vp = m_state.viewport;
    const D3DRECT viewport{static_cast<int32_t>(vp.X), static_cast<int32_t>(vp.Y),
                           static_cast<int32_t>(vp.X + vp.Width), static_cast<int32_t>(vp.Y + vp.Height)};
    if (count == 0) {
        OnClear(viewport, color);
        return D3D_OK;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const D3DRECT r{std::max(rects[i].x1, viewport.x1), std::max(rects[i].y1, viewport.y1),
                        std::min(rects[i].x2, viewport.x2), std::min(rects[i].y2, viewport.y2)};
        if (r.x1 < r.x2 && r.y1 < r.y2) OnClear(r, color);
    }
    return D3D_OK;
}

HRESULT DeviceBase::SetViewport(const D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    const uint64_t right = static_cast<uint64_t>(viewport->X) + viewport->Width;
    const uint64_t bottom = static_cast<uint64_t>(viewport->Y) + viewport->Height;
    if (right > m_params.BackBufferWidth || bottom > m_params.BackBufferHeight) return D3DERR_INVALIDCALL;
    m_state.viewport = *viewport;
    return D3D_OK;
}

HRESULT DeviceBase::GetViewport(D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = m_state.viewport;
    return D3D_OK;
}

HRESULT DeviceBase::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
    if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    m_state.renderStates[state] = value;
    return D3D_OK;
}

HRESULT DeviceBase::GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) {
    if (state >= kRenderStateCount || !value) return D3DERR_INVALIDCALL;
    *value = m_state.renderStates[state];
    return D3D_OK;
}

HRESULT DeviceBase::SetTexture(uint32_t stage, IDirect3DBaseTexture8* texture) {
    if (stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
    Texture* ours = nullptr;
    if (texture) {
        ours = dynamic_cast<Texture*>(texture);
        if (!ours) return D3DERR_INVALIDCALL;
    }
    Rebind(m_state.textures[stage], ours);
    return D3D_OK;
}

HRESULT DeviceBase::GetTexture(uint32_t stage, IDirect3DBaseTexture8** texture) {
    if (stage >= kMaxTextureStages || !texture) return D3DERR_INVALIDCALL;
    *texture = m_state.textures[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT DeviceBase::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) {
    if (stage >= kMaxTextureStages || type >= kStageStateCount) return D3DERR_INVALIDCALL;
    m_state.stageStates[stage][type] = value;
    return D3D_OK;
}

HRESULT DeviceBase::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t* value) {
    if (stage >= kMaxTextureStages || type >= kStageStateCount || !value) return D3DERR_INVALIDCALL;
    *value = m_state.stageStates[stage][type];
    return D3D_OK;
}

HRESULT DeviceBase::SetVertexShader(uint32_t handle) {
    // Only the one fixed format the engine draws with is understood.
    if (handle != (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2)) return D3DERR_INVALIDCALL;
    m_state.vertexFormat = handle;
    return D3D_OK;
}

HRESULT DeviceBase::SetStreamSource(uint32_t stream, IDirect3DVertexBuffer8* buffer, uint32_t stride) {
    const HRESULT hooked = Hook("SetStreamSource", stride);
    if (FAILED(hooked)) return hooked;
    if (stream != 0) return D3DERR_INVALIDCALL;
    VertexBuffer* ours = nullptr;
    if (buffer) {
        ours = dynamic_cast<VertexBuffer*>(buffer);
        if (!ours || stride == 0) return D3DERR_INVALIDCALL;
    }
    Rebind(m_state.stream, ours);
    m_state.stride = ours ? stride : 0;
    return D3D_OK;
}

HRESULT DeviceBase::SetIndices(IDirect3DIndexBuffer8* buffer, uint32_t baseVertexIndex) {
    const HRESULT hooked = Hook("SetIndices", baseVertexIndex);
    if (FAILED(hooked)) return hooked;
    IndexBuffer* ours = nullptr;
    if (buffer) {
        ours = dynamic_cast<IndexBuffer*>(buffer);
        if (!ours) return D3DERR_INVALIDCALL;
    }
    Rebind(m_state.indices, ours);
    m_state.baseVertexIndex = baseVertexIndex;
    return D3D_OK;
}

HRESULT DeviceBase::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t numVertices,
                                         uint32_t startIndex, uint32_t primCount) {
    const HRESULT hooked = Hook("DrawIndexedPrimitive", primCount);
    if (FAILED(hooked)) return hooked;
    if (!m_inScene || type != D3DPT_TRIANGLELIST || primCount == 0) return D3DERR_INVALIDCALL;
    const VertexBuffer* stream = m_state.stream;
    const IndexBuffer* indices = m_state.indices;
    if (!stream || !indices || stream->Locked() || indices->Locked() || m_state.vertexFormat == 0)
        return D3DERR_INVALIDCALL;
    const uint64_t indexEnd = (static_cast<uint64_t>(startIndex) + primCount * 3ull) * 2u;
    const uint64_t vertexEnd =
        (static_cast<uint64_t>(m_state.baseVertexIndex) + minIndex + numVertices) * m_state.stride;
    if (indexEnd > indices->Length() || vertexEnd > stream->Length()) return D3DERR_INVALIDCALL;
    if (m_loss != Loss::Usable) return D3D_OK;
    OnDraw(DrawCall{type, minIndex, numVertices, startIndex, primCount});
    return D3D_OK;
}

// ---- The factory ------------------------------------------------------------------

IDirect3D8* CreateGlDirect3D();

namespace {
Direct3DFactory& Factory() {
    static Direct3DFactory factory;
    return factory;
}
}  // namespace

void SetDirect3DFactory(Direct3DFactory factory) { Factory() = std::move(factory); }

IDirect3D8* Direct3DCreate8(uint32_t sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return Factory() ? Factory()() : CreateGlDirect3D();
}

}  // namespace vd3d
