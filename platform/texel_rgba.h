// Texels of the Direct3D texture formats as plain RGBA bytes, for OpenGL ES
// and WebGL 2, which take none of Direct3D's channel orders, have no texture
// swizzles and may lack S3TC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d3d8.h"

namespace vd3d {

// Whether ConvertToRgba8 knows the format.
bool ConvertsToRgba8(D3DFORMAT format);

// Sets `rgba` to the level's width * height texels as R, G, B, A bytes, top
// row first, reading what a desktop OpenGL texture of the format samples
// as: formats without alpha read opaque, A8 reads black with that alpha, L8
// and A8L8 read grey. DXT2 and DXT4 are decoded as DXT3 and DXT5 (their
// colours stay premultiplied). False, leaving `rgba` empty, for a format it
// does not know or `texels` shorter than the level.
bool ConvertToRgba8(D3DFORMAT format, uint32_t width, uint32_t height, const uint8_t* texels, size_t size,
                    std::vector<uint8_t>& rgba);

}  // namespace vd3d
