// Windows bitmaps: uncompressed 8-bit paletted, 24-bit and 32-bit (plain or
// with bit-field masks), bottom-up or top-down. Every offset and size the
// headers give is checked against the bytes held before any pixel is read.
#include <cstring>

#include "image.h"

namespace image {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Read32(const uint8_t* p) { return Read16(p) | (Read16(p + 2) << 16); }

// One colour channel taken out of a pixel by its mask and widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t maximum = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (!mask) return;
        while (!((mask >> shift) & 1)) ++shift;
        maximum = mask >> shift;
    }
    uint32_t Extract(uint32_t pixel) const {
        if (!maximum) return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint32_t>((value * 255 + maximum / 2) / maximum);
    }
};

struct BmpLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint32_t bitCount = 0;
    uint64_t pixelOffset = 0;
    uint64_t rowSize = 0;
};

bool Fail(std::string& error, const char* text) {
    error = std::string("BMP: ") + text;
    return false;
}

// 32-bit pixels whose fourth byte is zero everywhere were written without
// alpha (the usual case for plain 32-bit bitmaps): they are opaque.
void MakeOpaqueWhenAlphaUnused(Image& image) {
    for (uint32_t p : image.pixels)
        if (p >> 24) return;
    for (uint32_t& p : image.pixels) p |= 0xFF000000u;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    if (size < kFileHeaderSize + 40 || data[0] != 'B' || data[1] != 'M') return Fail(error, "header cut short");
    const uint8_t* info = data + kFileHeaderSize;
    const uint32_t infoSize = Read32(info);
    if (infoSize < 40 || infoSize > size - kFileHeaderSize) return Fail(error, "unsupported info header");

    BmpLayout layout;
    const int32_t width = static_cast<int32_t>(Read32(info + 4));
    const int32_t height = static_cast<int32_t>(Read32(info + 8));
    layout.bitCount = Read16(info + 14);
    const uint32_t compression = Read32(info + 16);
    if (width <= 0 || height == 0 || height == INT32_MIN) return Fail(error, "bad dimensions");
    layout.width = static_cast<uint32_t>(width);
    layout.topDown = height < 0;
    layout.height = static_cast<uint32_t>(layout.topDown ? -static_cast<int64_t>(height) : height);
    if (!SizeAcceptable(layout.width, layout.height)) return Fail(error, "image too large");

    const bool bitFields = compression == kCompressionBitFields && layout.bitCount == 32;
    const bool paletted = layout.bitCount == 8 && compression == kCompressionNone;
    const bool direct = (layout.bitCount == 24 || layout.bitCount == 32) && compression == kCompressionNone;
    if (!bitFields && !paletted && !direct) return Fail(error, "unsupported bit count or compression");

    // Masks follow a 40-byte header; larger headers hold them at the same
    // place, the alpha mask only from 56 bytes on.
    uint32_t masks[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
    if (bitFields) {
        const size_t maskCount = infoSize >= 56 ? 4 : 3;
        if (kFileHeaderSize + 40 + 4 * maskCount > size) return Fail(error, "masks cut short");
        for (size_t i = 0; i < maskCount; ++i) masks[i] = Read32(info + 40 + 4 * i);
        if (maskCount == 3) masks[3] = 0;
    }

    uint32_t palette[256] = {};
    uint32_t paletteCount = 0;
    if (paletted) {
        const size_t afterInfo = kFileHeaderSize + infoSize;
        paletteCount = Read32(info + 32);
        if (paletteCount == 0 || paletteCount > 256) paletteCount = 256;
        if (afterInfo + uint64_t(paletteCount) * 4 > size) return Fail(error, "palette cut short");
        for (uint32_t i = 0; i < paletteCount; ++i)
            palette[i] = 0xFF000000u | (Read32(data + afterInfo + 4 * i) & 0x00FFFFFFu);
    }

    layout.pixelOffset = Read32(data + 10);
    layout.rowSize = (uint64_t(layout.width) * layout.bitCount + 31) / 32 * 4;
    if (layout.pixelOffset > size || layout.rowSize * layout.height > size - layout.pixelOffset)
        return Fail(error, "pixel data cut short");

    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    Image decoded;
    decoded.width = layout.width;
    decoded.height = layout.height;
    decoded.pixels.resize(static_cast<size_t>(layout.width) * layout.height);
    for (uint32_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = data + layout.pixelOffset + layout.rowSize * y;
        const uint32_t targetRow = layout.topDown ? y : layout.height - 1 - y;
        uint32_t* target = &decoded.pixels[static_cast<size_t>(targetRow) * layout.width];
        for (uint32_t x = 0; x < layout.width; ++x) {
            if (paletted) {
                // An index past the palette reads as black.
                target[x] = row[x] < paletteCount ? palette[row[x]] : 0xFF000000u;
            } else if (layout.bitCount == 24) {
                const uint8_t* p = row + x * 3u;
                target[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            } else {
                const uint32_t p = Read32(row + x * 4u);
                target[x] = (alpha.Extract(p) << 24) | (red.Extract(p) << 16) | (green.Extract(p) << 8) |
                            blue.Extract(p);
            }
        }
    }
    if (layout.bitCount == 32) MakeOpaqueWhenAlphaUnused(decoded);
    out = std::move(decoded);
    return true;
}

}  // namespace image
