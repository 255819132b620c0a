// Textures from image files in memory, and vector normalisation.
#include "d3dx8.h"

#include <cmath>
#include <cstring>
#include <string>

#include "image.h"

namespace vd3d {
namespace {

uint32_t RoundUpToPowerOfTwo(uint32_t value) {
    uint32_t result = 1;
    while (result < value) result <<= 1;
    return result;
}

// A channel of 8 bits reduced to `bits`, rounded to the nearest level.
uint32_t Quantize(uint32_t value, uint32_t bits) {
    const uint32_t maximum = (1u << bits) - 1;
    return (value * maximum + 127) / 255;
}

struct Argb {
    uint32_t a, r, g, b;
    explicit Argb(uint32_t p) : a(p >> 24), r((p >> 16) & 0xFF), g((p >> 8) & 0xFF), b(p & 0xFF) {}
};

// Pixel in the target format; unused (X) bits are written as ones.
bool PackPixel(D3DFORMAT format, uint32_t pixel, uint32_t& packed) {
    const Argb c(pixel);
    switch (format) {
        case D3DFMT_A8R8G8B8:
            packed = pixel;
            return true;
        case D3DFMT_X8R8G8B8:
            packed = pixel | 0xFF000000u;
            return true;
        case D3DFMT_R5G6B5:
            packed = (Quantize(c.r, 5) << 11) | (Quantize(c.g, 6) << 5) | Quantize(c.b, 5);
            return true;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            const uint32_t alpha = format == D3DFMT_X1R5G5B5 ? 1 : (c.a >= 128 ? 1 : 0);
            packed = (alpha << 15) | (Quantize(c.r, 5) << 10) | (Quantize(c.g, 5) << 5) | Quantize(c.b, 5);
            return true;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            const uint32_t alpha = format == D3DFMT_X4R4G4B4 ? 15 : Quantize(c.a, 4);
            packed = (alpha << 12) | (Quantize(c.r, 4) << 8) | (Quantize(c.g, 4) << 4) | Quantize(c.b, 4);
            return true;
        }
        case D3DFMT_A8R3G3B2:
            packed = (c.a << 8) | (Quantize(c.r, 3) << 5) | (Quantize(c.g, 3) << 2) | Quantize(c.b, 2);
            return true;
        default:
            return false;
    }
}

bool CanWrite(D3DFORMAT format) {
    uint32_t packed = 0;
    return PackPixel(format, 0, packed);
}

uint32_t BytesPerPixel(D3DFORMAT format) {
    return (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) ? 4 : 2;
}

void WriteLevel(const image::Image& level, D3DFORMAT format, const D3DLOCKED_RECT& locked) {
    const uint32_t bytesPerPixel = BytesPerPixel(format);
    for (uint32_t y = 0; y < level.height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * uint32_t(locked.Pitch);
        for (uint32_t x = 0; x < level.width; ++x) {
            uint32_t packed = 0;
            PackPixel(format, level.pixels[size_t(y) * level.width + x], packed);
            std::memcpy(row + x * bytesPerPixel, &packed, bytesPerPixel);
        }
    }
}

D3DXIMAGE_FILEFORMAT FileFormatOf(image::FileFormat format) {
    switch (format) {
        case image::FileFormat::Jpeg:
            return D3DXIFF_JPG;
        case image::FileFormat::Png:
            return D3DXIFF_PNG;
        case image::FileFormat::Dds:
            return D3DXIFF_DDS;
        default:
            return D3DXIFF_BMP;
    }
}

uint32_t SizeFor(uint32_t requested, uint32_t imageSize) {
    return (requested == 0 || requested == D3DX_DEFAULT) ? RoundUpToPowerOfTwo(imageSize) : requested;
}

// Writes every level of `texture`, each the halved one above it.
HRESULT FillLevels(IDirect3DTexture8* texture, image::Image top, D3DFORMAT format) {
    const uint32_t levels = texture->GetLevelCount();
    for (uint32_t level = 0; level < levels; ++level) {
        if (level > 0) top = image::HalveBox(top);
        D3DSURFACE_DESC desc;
        if (FAILED(texture->GetLevelDesc(level, &desc)) || desc.Width != top.width || desc.Height != top.height)
            return D3DERR_INVALIDCALL;
        D3DLOCKED_RECT locked;
        const HRESULT lockResult = texture->LockRect(level, &locked, nullptr, 0);
        if (FAILED(lockResult)) return lockResult;
        WriteLevel(top, format, locked);
        const HRESULT unlockResult = texture->UnlockRect(level);
        if (FAILED(unlockResult)) return unlockResult;
    }
    return D3D_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* sourceData,
                                            uint32_t sourceDataSize, uint32_t width, uint32_t height,
                                            uint32_t mipLevels, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                            uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                            D3DXIMAGE_INFO* sourceInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture) {
    (void)filter;
    (void)mipFilter;
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (format == D3DFMT_UNKNOWN) format = D3DFMT_A8R8G8B8;
    if (!device || !sourceData || sourceDataSize == 0 || colorKey != 0 || palette || !CanWrite(format))
        return D3DERR_INVALIDCALL;

    const uint8_t* bytes = static_cast<const uint8_t*>(sourceData);
    image::Image decoded;
    std::string error;
    if (!image::DecodeImage(bytes, sourceDataSize, decoded, error)) return D3DXERR_INVALIDDATA;
    if (sourceInfo) {
        sourceInfo->Width = decoded.width;
        sourceInfo->Height = decoded.height;
        sourceInfo->Depth = 1;
        sourceInfo->MipLevels = 1;
        sourceInfo->Format = D3DFMT_A8R8G8B8;
        sourceInfo->ResourceType = D3DRTYPE_TEXTURE;
        sourceInfo->ImageFileFormat = FileFormatOf(image::DetectFormat(bytes, sourceDataSize));
    }

    const uint32_t textureWidth = SizeFor(width, decoded.width);
    const uint32_t textureHeight = SizeFor(height, decoded.height);
    if (!image::SizeAcceptable(textureWidth, textureHeight)) return D3DERR_INVALIDCALL;
    IDirect3DTexture8* created = nullptr;
    const HRESULT createResult = device->CreateTexture(textureWidth, textureHeight,
                                                       mipLevels == D3DX_DEFAULT ? 0 : mipLevels, usage, format,
                                                       pool, &created);
    if (FAILED(createResult)) return createResult;
    const HRESULT fillResult =
        FillLevels(created, image::Resample(decoded, textureWidth, textureHeight), format);
    if (FAILED(fillResult)) {
        created->Release();
        return fillResult;
    }
    *texture = created;
    return D3D_OK;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    if (length == 0.0f) {
        *out = D3DXVECTOR3{0.0f, 0.0f, 0.0f};
    } else {
        *out = D3DXVECTOR3{v->x / length, v->y / length, v->z / length};
    }
    return out;
}

}  // namespace vd3d
