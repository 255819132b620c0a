// The two helpers the engine takes from Direct3D's utility library: a texture
// made from an image file in memory, and vector normalisation. They work on
// any device of d3d8.h, so both backends get textures the same way: pixels
// written through LockRect, which the OpenGL backend uploads and the
// recording backend keeps.
#pragma once

#include <cstdint>

#include "d3d8.h"

namespace vd3d {

// Width, height or mip levels taken from the file; 0 means the same.
constexpr uint32_t D3DX_DEFAULT = 0xFFFFFFFFu;

constexpr uint32_t D3DX_FILTER_NONE = 1;
constexpr uint32_t D3DX_FILTER_POINT = 2;
constexpr uint32_t D3DX_FILTER_LINEAR = 3;
constexpr uint32_t D3DX_FILTER_TRIANGLE = 4;
constexpr uint32_t D3DX_FILTER_BOX = 5;

constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59);

enum D3DXIMAGE_FILEFORMAT : uint32_t {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
};

// What the file held, before any scaling.
struct D3DXIMAGE_INFO {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Depth = 0;
    uint32_t MipLevels = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT ImageFileFormat = D3DXIFF_BMP;
};

struct PALETTEENTRY {
    uint8_t peRed, peGreen, peBlue, peFlags;
};

// Decodes a BMP, JPEG, PNG or DDS file (DXT1 to DXT5 included) held in
// memory and creates a texture of it:
// - width and height: the texture's size; 0 or D3DX_DEFAULT takes the
//   image's own size rounded up to a power of two. The image is stretched to
//   fill the texture, so texture coordinates 0..1 always span the whole
//   picture.
// - mip levels: 0 or D3DX_DEFAULT for the full chain, otherwise at most the
//   full chain; each level is the box-filtered half of the one above.
// - format: one of the 32- and 16-bit RGB formats (D3DFMT_UNKNOWN takes
//   A8R8G8B8). Alpha comes only from the image: the colour key and palette
//   are not supported and must be 0 and null.
// The image is stretched as image::Resample does whatever `filter` asks
// (every source pixel contributes equally, as the default filter does);
// levels are always box-filtered. Fails with D3DXERR_INVALIDDATA for bytes
// that are not a whole image of a known type (cut short, damaged, headers
// promising more than the bytes hold, sizes beyond 16384 or 4096x4096
// pixels), D3DERR_INVALIDCALL for bad arguments, or the device's own failure;
// *texture is then null.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* sourceData,
                                            uint32_t sourceDataSize, uint32_t width, uint32_t height,
                                            uint32_t mipLevels, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                            uint32_t filter, uint32_t mipFilter, uint32_t colorKey,
                                            D3DXIMAGE_INFO* sourceInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture);

struct D3DXVECTOR3 {
    float x, y, z;
};

// out = v / |v|; a zero vector stays zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);

}  // namespace vd3d
