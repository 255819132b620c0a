// What both backends of the Direct3D-shaped device share: reference counts,
// resources kept in memory, every device state with its default, argument
// checks, and the lost-device cycle. A backend only draws, clears, presents
// and reads the front buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "d3d8.h"
#include "frame_pacer.h"

namespace vd3d {

class DeviceBase;

// Texel layout of a format: bytes per block and the block's edge in texels
// (4 for the compressed formats, 1 otherwise). False for formats that hold
// no texels (depth, index, palette).
bool DescribeFormat(D3DFORMAT format, uint32_t& bytesPerBlock, uint32_t& blockEdge);
uint32_t FormatRowPitch(D3DFORMAT format, uint32_t width);
uint32_t FormatLevelBytes(D3DFORMAT format, uint32_t width, uint32_t height);

// The counts behind every resource: references held by the program and
// bindings held by the device. The resource lives while either is above 0.
class ResourceBase {
public:
    virtual ~ResourceBase();
    ResourceBase(const ResourceBase&) = delete;
    ResourceBase& operator=(const ResourceBase&) = delete;

    D3DPOOL Pool() const { return m_pool; }
    void Bind() { ++m_binds; }
    void Unbind();
    // Each change of the contents gives a new one, never given to any
    // resource before, so a backend knows when its own copy is stale and a
    // (resource, version) pair names one content for the life of the program.
    uint64_t Version() const { return m_version; }
    void Touch();

    // A backend's own object for this resource (a GL name) and the version
    // it holds.
    uint32_t backendName = 0;
    uint64_t backendVersion = 0;

protected:
    ResourceBase(DeviceBase& device, D3DPOOL pool);
    uint32_t AddRefImpl();
    uint32_t ReleaseImpl();
    DeviceBase& m_device;

private:
    D3DPOOL m_pool;
    uint32_t m_refs = 1;
    uint32_t m_binds = 0;
    uint64_t m_version;
};

template <class Interface>
class Resource : public Interface, public ResourceBase {
public:
    uint32_t AddRef() override { return AddRefImpl(); }
    uint32_t Release() override { return ReleaseImpl(); }

protected:
    Resource(DeviceBase& device, D3DPOOL pool) : ResourceBase(device, pool) {}
};

// A vertex or index buffer kept in memory.
template <class Interface>
class MemoryBuffer : public Resource<Interface> {
public:
    // The call names are what the device's hook sees for Lock and Unlock.
    MemoryBuffer(DeviceBase& device, uint32_t length, D3DPOOL pool, const char* lockCall, const char* unlockCall)
        : Resource<Interface>(device, pool), m_bytes(length), m_lockCall(lockCall), m_unlockCall(unlockCall) {}

    HRESULT Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
    HRESULT Unlock() override;

    const uint8_t* Bytes() const { return m_bytes.data(); }
    uint32_t Length() const { return static_cast<uint32_t>(m_bytes.size()); }
    bool Locked() const { return m_locked; }

private:
    std::vector<uint8_t> m_bytes;
    const char* m_lockCall;
    const char* m_unlockCall;
    bool m_locked = false;
};

using VertexBuffer = MemoryBuffer<IDirect3DVertexBuffer8>;
using IndexBuffer = MemoryBuffer<IDirect3DIndexBuffer8>;

// Pixels of a texture level or an image surface, as Direct3D lays them out.
struct PixelLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;
    std::vector<uint8_t> bytes;
    bool locked = false;
};

class Texture final : public Resource<IDirect3DTexture8> {
public:
    Texture(DeviceBase& device, uint32_t width, uint32_t height, uint32_t levels, D3DFORMAT format, D3DPOOL pool);

    uint32_t GetLevelCount() override { return static_cast<uint32_t>(m_levels.size()); }
    HRESULT GetLevelDesc(uint32_t level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) override;
    HRESULT UnlockRect(uint32_t level) override;

    D3DFORMAT Format() const { return m_format; }
    const std::vector<PixelLevel>& Levels() const { return m_levels; }

private:
    D3DFORMAT m_format;
    std::vector<PixelLevel> m_levels;
};

class Surface final : public Resource<IDirect3DSurface8> {
public:
    Surface(DeviceBase& device, uint32_t width, uint32_t height, D3DFORMAT format);

    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags) override;
    HRESULT UnlockRect() override;

    D3DFORMAT Format() const { return m_format; }
    PixelLevel& Pixels() { return m_pixels; }

private:
    D3DFORMAT m_format;
    PixelLevel m_pixels;
};

// Every state the device keeps; Reset returns all of it to the defaults.
struct DeviceState {
    uint32_t renderStates[kRenderStateCount];
    uint32_t stageStates[kMaxTextureStages][kStageStateCount];
    Texture* textures[kMaxTextureStages];
    VertexBuffer* stream;
    uint32_t stride;
    IndexBuffer* indices;
    uint32_t baseVertexIndex;
    uint32_t vertexFormat;
    D3DVIEWPORT8 viewport;
    D3DGAMMARAMP gamma;
    bool cursorShown;
};

struct DrawCall {
    D3DPRIMITIVETYPE type;
    uint32_t minIndex;
    uint32_t numVertices;
    uint32_t startIndex;
    uint32_t primCount;
};

// What an adapter shows the program before a device exists.
struct AdapterInfo {
    bool identifierReadable = true;
    D3DADAPTER_IDENTIFIER8 identifier;
    D3DDISPLAYMODE desktop;
    std::vector<D3DDISPLAYMODE> modes;  // in enumeration order
    D3DCAPS8 caps;
    // Whether a texture of a format can be made while the display has the
    // other format.
    std::function<bool(D3DFORMAT display, D3DFORMAT texture)> textureUsable;
};

class Direct3DBase : public IDirect3D8 {
public:
    uint32_t AddRef() override { return ++m_refs; }
    uint32_t Release() override;

    HRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags, D3DADAPTER_IDENTIFIER8* identifier) override;
    uint32_t GetAdapterModeCount(uint32_t adapter) override;
    HRESULT EnumAdapterModes(uint32_t adapter, uint32_t mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE* out) override;
    HRESULT GetDeviceCaps(uint32_t adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
    HRESULT CheckDeviceFormat(uint32_t adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, uint32_t usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CreateDevice(uint32_t adapter, D3DDEVTYPE type, platform::GameWindow* focusWindow,
                         uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice8** device) override;

    const AdapterInfo& Adapter() const { return m_adapter; }

protected:
    Direct3DBase() = default;
    // The hook every checked call passes through first; a failure code
    // makes the call fail with it (the recording backend scripts failures).
    virtual HRESULT Hook(const char* call) {
        (void)call;
        return D3D_OK;
    }
    // Parameters are checked; the backend opens its device or fails.
    virtual HRESULT NewDevice(platform::GameWindow* focusWindow, const D3DPRESENT_PARAMETERS& params,
                              IDirect3DDevice8** device) = 0;
    bool IsDisplayFormat(D3DFORMAT format) const;

    AdapterInfo m_adapter;

private:
    uint32_t m_refs = 1;
};

class DeviceBase : public IDirect3DDevice8 {
public:
    uint32_t AddRef() override { return ++m_refs; }
    uint32_t Release() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* source, const RECT* dest, platform::GameWindow* overrideWindow,
                    const void* dirtyRegion) override;
    HRESULT GetFrontBuffer(IDirect3DSurface8* dest) override;
    void SetGammaRamp(uint32_t flags, const D3DGAMMARAMP* ramp) override;
    void GetGammaRamp(D3DGAMMARAMP* ramp) override { *ramp = m_state.gamma; }
    bool ShowCursor(bool show) override;

    HRESULT CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override;
    HRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override;
    HRESULT CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** buffer) override;
    HRESULT CreateImageSurface(uint32_t width, uint32_t height, D3DFORMAT format,
                               IDirect3DSurface8** surface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                  uint32_t stencil) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) override;
    HRESULT SetTexture(uint32_t stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTexture(uint32_t stage, IDirect3DBaseTexture8** texture) override;
    HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) override;
    HRESULT GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t* value) override;
    HRESULT SetVertexShader(uint32_t handle) override;
    HRESULT SetStreamSource(uint32_t stream, IDirect3DVertexBuffer8* buffer, uint32_t stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, uint32_t baseVertexIndex) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t numVertices,
                                 uint32_t startIndex, uint32_t primCount) override;

    const DeviceState& State() const { return m_state; }
    const D3DPRESENT_PARAMETERS& PresentParameters() const { return m_params; }
    bool InScene() const { return m_inScene; }

    // True while the frame cap holds presents by sleeping (no vsync).
    bool PacedBySleeping() const { return m_pacer.PacedBySleeping(); }

    // The lost-device cycle: the window went away (lost), came back (can be
    // reset), then Reset makes the device usable again.
    void MarkLost();
    void MarkResettable();

    // Called by resources.
    virtual HRESULT Hook(const char* call, uint32_t argument) {
        (void)call;
        (void)argument;
        return D3D_OK;
    }
    void ResourceCreated(const ResourceBase& resource);
    void ResourceDestroyed(ResourceBase& resource);
    // A texture or index buffer is about to be written (locked for writing).
    void ContentsChanging(ResourceBase& resource) { OnContentsChanging(resource); }

protected:
    DeviceBase(Direct3DBase& d3d, const D3DPRESENT_PARAMETERS& params);
    ~DeviceBase() override;

    // The backend's share. Draws and clears reach it only while the device
    // is usable; arguments are already checked.
    virtual HRESULT OnReset(const D3DPRESENT_PARAMETERS& params) = 0;
    virtual void OnClear(const D3DRECT& rect, uint32_t color) = 0;
    virtual void OnDraw(const DrawCall& call) = 0;
    virtual void OnPresent() = 0;
    // Asks the system to hold each present to the display's refresh
    // (`wanted`) or not to; returns whether it will.
    virtual bool OnRequestVsync(bool wanted) = 0;
    // Rows of A8R8G8B8 pixels, top row first.
    virtual void OnReadFrontBuffer(uint8_t* pixels, uint32_t pitch) = 0;
    virtual void OnResourceDestroyed(ResourceBase& resource) { (void)resource; }
    virtual void OnContentsChanging(ResourceBase& resource) { (void)resource; }
    // Called once before the device goes away, while it is still whole.
    void UnbindAll();

    DeviceState m_state;
    D3DPRESENT_PARAMETERS m_params;

private:
    enum class Loss { Usable, Lost, NotReset };
    void SetDefaultStates();
    // Before a present: vsync asked for (or not) afresh after a reset or a
    // change of the frame cap.
    void ConfigurePacing();
    uint32_t RefreshRate() const;
    template <class T>
    void Rebind(T*& slot, T* resource);

    Direct3DBase& m_d3d;
    uint32_t m_refs = 1;
    uint32_t m_defaultPoolResources = 0;
    Loss m_loss = Loss::Usable;
    bool m_inScene = false;
    FramePacer m_pacer;
    bool m_pacingConfigured = false;
    bool m_pacingCap = false;
};

}  // namespace vd3d
