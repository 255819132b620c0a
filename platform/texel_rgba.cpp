#include "texel_rgba.h"

namespace vd3d {

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

// n-bit channel values to 8 bits, rounded as OpenGL converts them.
uint8_t Widen(uint32_t value, uint32_t bits) {
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((value * 255 + max / 2) / max);
}

uint32_t Read16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }

Rgba DecodeTexel(D3DFORMAT format, const uint8_t* p) {
    switch (format) {
        case D3DFMT_A8R8G8B8: return {p[2], p[1], p[0], p[3]};
        case D3DFMT_X8R8G8B8: return {p[2], p[1], p[0], 255};
        case D3DFMT_R5G6B5: {
            const uint32_t v = Read16(p);
            return {Widen(v >> 11, 5), Widen((v >> 5) & 63, 6), Widen(v & 31, 5), 255};
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            const uint32_t v = Read16(p);
            const uint8_t alpha = format == D3DFMT_X1R5G5B5 || (v & 0x8000) ? 255 : 0;
            return {Widen((v >> 10) & 31, 5), Widen((v >> 5) & 31, 5), Widen(v & 31, 5), alpha};
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            const uint32_t v = Read16(p);
            const uint8_t alpha = format == D3DFMT_X4R4G4B4 ? 255 : Widen(v >> 12, 4);
            return {Widen((v >> 8) & 15, 4), Widen((v >> 4) & 15, 4), Widen(v & 15, 4), alpha};
        }
        case D3DFMT_A8: return {0, 0, 0, p[0]};
        case D3DFMT_L8: return {p[0], p[0], p[0], 255};
        case D3DFMT_A8L8: return {p[0], p[0], p[0], p[1]};
        default: return {0, 0, 0, 0};
    }
}

uint32_t BytesPerTexel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: return 4;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8L8: return 2;
        case D3DFMT_A8:
        case D3DFMT_L8: return 1;
        default: return 0;
    }
}

// Bytes per 4x4 block of an S3TC format, 0 for any other format.
uint32_t BytesPerBlock(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1: return 8;
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5: return 16;
        default: return 0;
    }
}

// An R5G6B5 end point widened by repeating its top bits, as S3TC decoders do.
Rgba EndPoint(uint32_t v) {
    const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return {static_cast<uint8_t>((r << 3) | (r >> 2)), static_cast<uint8_t>((g << 2) | (g >> 4)),
            static_cast<uint8_t>((b << 3) | (b >> 2)), 255};
}

Rgba Mix(Rgba a, Rgba b, uint32_t weightA, uint32_t weightB) {
    const uint32_t sum = weightA + weightB;
    auto mix = [&](uint8_t x, uint8_t y) { return static_cast<uint8_t>((x * weightA + y * weightB) / sum); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), 255};
}

// The colour half of a block: two end points and a 2-bit index per texel.
// DXT1 blocks whose first end point is not the larger have three colours
// and transparent black; the other formats always have four colours.
void DecodeColors(const uint8_t* block, bool threeColorMode, Rgba texels[16]) {
    const uint32_t c0 = Read16(block), c1 = Read16(block + 2);
    Rgba palette[4] = {EndPoint(c0), EndPoint(c1), {}, {}};
    if (c0 > c1 || !threeColorMode) {
        palette[2] = Mix(palette[0], palette[1], 2, 1);
        palette[3] = Mix(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 1);
        palette[3] = {0, 0, 0, 0};
    }
    const uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) | (static_cast<uint32_t>(block[7]) << 24);
    for (int i = 0; i < 16; ++i) texels[i] = palette[(indices >> (2 * i)) & 3];
}

// Explicit 4-bit alpha per texel.
void DecodeExplicitAlpha(const uint8_t* block, Rgba texels[16]) {
    for (int i = 0; i < 16; ++i) texels[i].a = Widen((block[i / 2] >> (4 * (i % 2))) & 15, 4);
}

// Two alpha end points and a 3-bit index per texel: eight steps between
// them, or six and the extremes 0 and 255 when the first is not the larger.
void DecodeInterpolatedAlpha(const uint8_t* block, Rgba texels[16]) {
    const uint32_t a0 = block[0], a1 = block[1];
    uint8_t palette[8] = {static_cast<uint8_t>(a0), static_cast<uint8_t>(a1)};
    if (a0 > a1) {
        for (uint32_t i = 1; i < 7; ++i) palette[i + 1] = static_cast<uint8_t>(((7 - i) * a0 + i * a1) / 7);
    } else {
        for (uint32_t i = 1; i < 5; ++i) palette[i + 1] = static_cast<uint8_t>(((5 - i) * a0 + i * a1) / 5);
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t indices = 0;
    for (int i = 0; i < 6; ++i) indices |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) texels[i].a = palette[(indices >> (3 * i)) & 7];
}

void DecodeBlock(D3DFORMAT format, const uint8_t* block, Rgba texels[16]) {
    if (format == D3DFMT_DXT1) {
        DecodeColors(block, true, texels);
        return;
    }
    DecodeColors(block + 8, false, texels);
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        DecodeExplicitAlpha(block, texels);
    } else {
        DecodeInterpolatedAlpha(block, texels);
    }
}

void Put(std::vector<uint8_t>& rgba, size_t index, Rgba texel) {
    uint8_t* out = &rgba[index * 4];
    out[0] = texel.r;
    out[1] = texel.g;
    out[2] = texel.b;
    out[3] = texel.a;
}

}  // namespace

bool ConvertsToRgba8(D3DFORMAT format) { return BytesPerTexel(format) != 0 || BytesPerBlock(format) != 0; }

bool ConvertToRgba8(D3DFORMAT format, uint32_t width, uint32_t height, const uint8_t* texels, size_t size,
                    std::vector<uint8_t>& rgba) {
    rgba.clear();
    const uint32_t texelBytes = BytesPerTexel(format), blockBytes = BytesPerBlock(format);
    const uint64_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    const uint64_t needed =
        texelBytes != 0 ? uint64_t{width} * height * texelBytes : blocksWide * blocksHigh * blockBytes;
    if ((texelBytes == 0 && blockBytes == 0) || size < needed) return false;
    rgba.resize(size_t{width} * height * 4);
    if (texelBytes != 0) {
        for (size_t i = 0; i < size_t{width} * height; ++i) Put(rgba, i, DecodeTexel(format, texels + i * texelBytes));
        return true;
    }
    Rgba block[16];
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            DecodeBlock(format, texels + (by * blocksWide + bx) * blockBytes, block);
            // Levels smaller than a block keep only its top-left corner.
            for (uint32_t y = by * 4; y < by * 4 + 4 && y < height; ++y)
                for (uint32_t x = bx * 4; x < bx * 4 + 4 && x < width; ++x)
                    Put(rgba, size_t{y} * width + x, block[(y % 4) * 4 + x % 4]);
        }
    }
    return true;
}

}  // namespace vd3d
