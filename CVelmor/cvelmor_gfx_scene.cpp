// Scene control: each frame is begun, cleared, drawn, ended and presented;
// beside it the viewport, the gamma ramp and screenshots.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cvelmor.h"
#include "os.h"

using namespace vd3d;

namespace {
const char* const kFile = "cvelmor_gfx_scene";
const uint32_t kBmpHeaderSize = 54;
}  // namespace

void CVelmor::GfxRequireDevice(const char* file, uint32_t line) const {
    if (!m_pD3DDevice) throw CEHSException(EHS_TYPE_GENERAL, 0, "D3DDevice object was not created!", file, line);
}

// The device's own answers are not checked: a lost device is dealt with
// before the frame, by GfxCheckDevice.
void CVelmor::SceneBegin() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    m_pD3DDevice->BeginScene();
    BeginBatch();
}

void CVelmor::SceneEnd() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    EndBatch();
    m_pD3DDevice->EndScene();
}

void CVelmor::SceneClearScreen(float r, float g, float b) {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    const uint32_t color = D3DCOLOR_ARGB(255, V2DColorChannel(r), V2DColorChannel(g), V2DColorChannel(b));
    m_pD3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, color, 0.0f, 0);
}

void CVelmor::ScenePresent() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    m_pD3DDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

// Lights first: they recolour the quad under construction.
void CVelmor::SceneRender() {
    SetCheckpoint(116, __LINE__);
    ApplyLights();
    VQuadRender();
}

namespace {

// Clips [start, start + length) to [0, limit).
void ClipSpan(int32_t& start, int32_t& length, uint32_t limit) {
    if (start < 0) {
        length += start;
        start = 0;
    }
    if (static_cast<int64_t>(start) + length > static_cast<int64_t>(limit))
        length = static_cast<int32_t>(static_cast<int64_t>(limit) - start);
    if (length < 0) length = 0;
}

}  // namespace

void CVelmor::SceneSetViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    uint32_t screenWidth = 0, screenHeight = 0;
    GetScreenSize(screenWidth, screenHeight);
    ClipSpan(x, w, screenWidth);
    ClipSpan(y, h, screenHeight);
    // Queued quads are drawn in the viewport they were queued in.
    FlushBatch();
    D3DVIEWPORT8 viewport;
    viewport.X = static_cast<uint32_t>(x);
    viewport.Y = static_cast<uint32_t>(y);
    viewport.Width = static_cast<uint32_t>(w);
    viewport.Height = static_cast<uint32_t>(h);
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    m_pD3DDevice->SetViewport(&viewport);
}

void CVelmor::SceneGetViewport(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    D3DVIEWPORT8 viewport{};
    m_pD3DDevice->GetViewport(&viewport);
    // Set through SceneSetViewport, so within the screen.
    x = static_cast<int32_t>(viewport.X);
    y = static_cast<int32_t>(viewport.Y);
    w = static_cast<int32_t>(viewport.Width);
    h = static_cast<int32_t>(viewport.Height);
}

// The ramp is a quadratic Bezier from `low` at black to `high` at white;
// `bend` pulls its middle from the straight line towards `high`.
void CVelmor::SceneSetGamma(float level, float bend) {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    double low = 0.0, high = 1.0;
    if (level > 1.0f) low = std::min(static_cast<double>(level) - 1.0, 1.0);
    if (level < 1.0f) high = std::max(static_cast<double>(level), 0.0);
    const double middle = low + (high - low) * 0.5;
    const double control = (1.0 - bend) * middle + static_cast<double>(bend) * high;
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i) {
        // The float nearest 1/255, as the ramp has always used.
        const double t = i * static_cast<double>(0.003921568859368563f);
        double value = (1.0 - t) * (1.0 - t) * low + 2.0 * t * (1.0 - t) * control + t * t * high;
        // A level or bend that is not a number gives black rather than an
        // undefined conversion.
        value = value > 0.0 ? std::min(value, 1.0) : 0.0;
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<uint16_t>(value * 65535.0);
    }
    m_pD3DDevice->SetGammaRamp(m_gfx.caps.CalibrateGamma ? D3DSGR_CALIBRATE : D3DSGR_NO_CALIBRATION, &ramp);
}

namespace {

void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

// The 54-byte header of an uncompressed 24-bit BMP whose rows run bottom-up.
void WriteBmpHeader(uint8_t* header, uint32_t width, uint32_t height, uint32_t imageSize) {
    std::memset(header, 0, kBmpHeaderSize);
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, kBmpHeaderSize + imageSize);
    Put32(header + 10, kBmpHeaderSize);
    Put32(header + 14, 40);
    Put32(header + 18, width);
    Put32(header + 22, height);
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, imageSize);
}

void ReleaseAndThrow(IDirect3DSurface8* surface, HRESULT result, const char* message, uint32_t line) {
    surface->Release();
    throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(result), message, kFile, line);
}

// The front buffer as 24-bit rows (blue, green, red), bottom screen row
// first, each row rowSize bytes.
std::unique_ptr<uint8_t[]> ReadFrontBuffer(IDirect3DDevice8* device, uint32_t width, uint32_t height,
                                           uint32_t rowSize) {
    IDirect3DSurface8* surface = nullptr;
    HRESULT hr = device->CreateImageSurface(width, height, D3DFMT_A8R8G8B8, &surface);
    if (FAILED(hr)) throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot create surface!", kFile,
                                        __LINE__);
    EHS_ASSERT(surface != nullptr, kFile);
    hr = device->GetFrontBuffer(surface);
    if (FAILED(hr)) ReleaseAndThrow(surface, hr, "Cannot get front buffer!", __LINE__);
    D3DLOCKED_RECT locked;
    hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) ReleaseAndThrow(surface, hr, "Cannot lock surface!", __LINE__);
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[static_cast<size_t>(rowSize) * height]());
    if (!locked.pBits || !rows) {
        surface->UnlockRect();
        surface->Release();
        EHS_ASSERT(false, kFile);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        uint8_t* target = rows.get() + static_cast<size_t>(height - 1 - y) * rowSize;
        for (uint32_t x = 0; x < width; ++x) std::memcpy(target + 3 * x, source + 4 * x, 3);
    }
    surface->UnlockRect();
    surface->Release();
    return rows;
}

}  // namespace

namespace {
std::string ScreenshotName(uint32_t number) { return "screenshot" + std::to_string(number) + ".bmp"; }
}  // namespace

void CVelmor::SceneMakeScreenshot() {
    SetCheckpoint(116, __LINE__);
    GfxRequireDevice(kFile, __LINE__);
    if (m_gfx.bWindowed) {
        LogEntry("Cannot make a screenshot in windowed mode!", LOG_WARNING);
        return;
    }
    // A failed attempt still uses its number.
    const uint32_t number = ++m_gfx.dwScreenshotCounter;
    const uint32_t width = m_gfx.presentParams.BackBufferWidth, height = m_gfx.presentParams.BackBufferHeight;
    const uint32_t rowSize = (width * 3 + 3) / 4 * 4;
    const std::unique_ptr<uint8_t[]> rows = ReadFrontBuffer(m_pD3DDevice, width, height, rowSize);

    uint8_t header[kBmpHeaderSize];
    WriteBmpHeader(header, width, height, rowSize * height);
    // Screenshots of earlier runs are kept: numbers whose files exist are
    // passed over (the file is created only when it does not exist yet).
    std::string name = ScreenshotName(number);
    FILE* file = platform::CreateNewFile(name);
    while (!file && errno == EEXIST && m_gfx.dwScreenshotCounter < UINT32_MAX) {
        name = ScreenshotName(++m_gfx.dwScreenshotCounter);
        file = platform::CreateNewFile(name);
    }
    bool written = file != nullptr && std::fwrite(header, 1, kBmpHeaderSize, file) == kBmpHeaderSize &&
                   std::fwrite(rows.get(), 1, static_cast<size_t>(rowSize) * height, file) ==
                       static_cast<size_t>(rowSize) * height;
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        LogEntry("Cannot write " + name, LOG_WARNING);
        return;
    }
    LogEntry("Screenshot saved.", LOG_RESULT);
}
