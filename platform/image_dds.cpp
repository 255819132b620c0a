// DirectDraw surface files: the top-level image of uncompressed RGB data
// (16, 24 or 32 bits with channel masks) or of DXT1 to DXT5 blocks, which are
// expanded to pixels here. Mip levels stored in the file are not read: the
// texture builds its own from the top level.
#include "image.h"

namespace image {
namespace {

constexpr size_t kHeaderSize = 128;  // magic and the 124-byte surface description
constexpr uint32_t kPixelFormatAlpha = 0x1;
constexpr uint32_t kPixelFormatFourCC = 0x4;
constexpr uint32_t kPixelFormatRgb = 0x40;

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}

uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Read32(const uint8_t* p) { return Read16(p) | (Read16(p + 2) << 16); }

bool Fail(std::string& error, const char* text) {
    error = std::string("DDS: ") + text;
    return false;
}

uint32_t Expand565(uint32_t c) {
    const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return ((r * 255 + 15) / 31 << 16) | ((g * 255 + 31) / 63 << 8) | ((b * 255 + 15) / 31);
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t weightA, uint32_t weightB, uint32_t total) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        result |= ((ca * weightA + cb * weightB) / total) << shift;
    }
    return result;
}

// The four colours of a block, RGB only; in three-colour mode (DXT1 with
// colour0 <= colour1) the fourth is transparent black.
void ColourTable(const uint8_t* block, bool allowThreeColour, uint32_t table[4], bool& fourthTransparent) {
    const uint32_t c0 = Read16(block), c1 = Read16(block + 2);
    table[0] = Expand565(c0);
    table[1] = Expand565(c1);
    fourthTransparent = false;
    if (c0 > c1 || !allowThreeColour) {
        table[2] = Mix(table[0], table[1], 2, 1, 3);
        table[3] = Mix(table[0], table[1], 1, 2, 3);
    } else {
        table[2] = Mix(table[0], table[1], 1, 1, 2);
        table[3] = 0;
        fourthTransparent = true;
    }
}

// Alpha of the 16 texels of a DXT3 (explicit 4-bit) or DXT5 (interpolated)
// alpha block.
void ExplicitAlpha(const uint8_t* block, uint32_t alpha[16]) {
    for (int i = 0; i < 16; ++i) alpha[i] = ((block[i / 2] >> (4 * (i & 1))) & 0xF) * 17;
}

void InterpolatedAlpha(const uint8_t* block, uint32_t alpha[16]) {
    const uint32_t a0 = block[0], a1 = block[1];
    uint32_t table[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t i = 1; i < 7; ++i) table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (uint32_t i = 1; i < 5; ++i) table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        table[6] = 0;
        table[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) alpha[i] = table[(bits >> (3 * i)) & 7];
}

// DXT2 and DXT4 store premultiplied colour; they are read like DXT3 and DXT5.
void DecodeBlocks(const uint8_t* data, uint32_t fourCC, Image& image) {
    const bool dxt1 = fourCC == FourCC('D', 'X', 'T', '1');
    const bool explicitAlpha = fourCC == FourCC('D', 'X', 'T', '2') || fourCC == FourCC('D', 'X', 'T', '3');
    const uint32_t blockSize = dxt1 ? 8 : 16;
    const uint32_t blocksWide = (image.width + 3) / 4, blocksHigh = (image.height + 3) / 4;
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            const uint8_t* block = data + (size_t(by) * blocksWide + bx) * blockSize;
            uint32_t alpha[16];
            for (uint32_t& a : alpha) a = 255;
            if (!dxt1) (explicitAlpha ? ExplicitAlpha : InterpolatedAlpha)(block, alpha);
            const uint8_t* colourBlock = dxt1 ? block : block + 8;
            uint32_t table[4];
            bool fourthTransparent = false;
            ColourTable(colourBlock, dxt1, table, fourthTransparent);
            const uint32_t indices = Read32(colourBlock + 4);
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x >= image.width || y >= image.height) continue;
                const uint32_t index = (indices >> (2 * i)) & 3;
                const uint32_t a = (fourthTransparent && index == 3) ? 0 : alpha[i];
                image.pixels[size_t(y) * image.width + x] = (a << 24) | table[index];
            }
        }
    }
}

struct MaskChannel {
    uint32_t mask, shift = 0, maximum = 0;
    explicit MaskChannel(uint32_t m) : mask(m) {
        if (!mask) return;
        while (!((mask >> shift) & 1)) ++shift;
        maximum = mask >> shift;
    }
    uint32_t Extract(uint32_t pixel, uint32_t absent) const {
        if (!maximum) return absent;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint32_t>((value * 255 + maximum / 2) / maximum);
    }
};

void DecodeMasked(const uint8_t* data, const uint8_t* format, uint32_t bytesPerPixel, Image& image) {
    const bool hasAlpha = (Read32(format + 4) & kPixelFormatAlpha) != 0;
    const MaskChannel red(Read32(format + 16)), green(Read32(format + 20)), blue(Read32(format + 24)),
        alpha(hasAlpha ? Read32(format + 28) : 0);
    const size_t rowSize = size_t(image.width) * bytesPerPixel;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = data + y * rowSize + x * bytesPerPixel;
            uint32_t value = 0;
            for (uint32_t b = 0; b < bytesPerPixel; ++b) value |= uint32_t(p[b]) << (8 * b);
            image.pixels[size_t(y) * image.width + x] = (alpha.Extract(value, 255) << 24) |
                                                        (red.Extract(value, 0) << 16) |
                                                        (green.Extract(value, 0) << 8) | blue.Extract(value, 0);
        }
    }
}

}  // namespace

bool DecodeDds(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    if (size < kHeaderSize || Read32(data) != FourCC('D', 'D', 'S', ' ')) return Fail(error, "header cut short");
    const uint8_t* header = data + 4;
    if (Read32(header) != 124) return Fail(error, "bad surface description");
    const uint32_t height = Read32(header + 8), width = Read32(header + 12);
    if (width == 0 || height == 0 || !SizeAcceptable(width, height)) return Fail(error, "bad dimensions");
    const uint8_t* format = header + 72;
    const uint32_t formatFlags = Read32(format + 4);
    const uint32_t fourCC = Read32(format + 8);
    const size_t available = size - kHeaderSize;

    Image decoded;
    decoded.width = width;
    decoded.height = height;
    if (formatFlags & kPixelFormatFourCC) {
        if (fourCC != FourCC('D', 'X', 'T', '1') && fourCC != FourCC('D', 'X', 'T', '2') &&
            fourCC != FourCC('D', 'X', 'T', '3') && fourCC != FourCC('D', 'X', 'T', '4') &&
            fourCC != FourCC('D', 'X', 'T', '5'))
            return Fail(error, "unsupported compression");
        const uint64_t blockSize = fourCC == FourCC('D', 'X', 'T', '1') ? 8 : 16;
        if (uint64_t((width + 3) / 4) * ((height + 3) / 4) * blockSize > available)
            return Fail(error, "pixel data cut short");
        decoded.pixels.resize(size_t(width) * height);
        DecodeBlocks(data + kHeaderSize, fourCC, decoded);
    } else if (formatFlags & kPixelFormatRgb) {
        const uint32_t bitCount = Read32(format + 12);
        if (bitCount != 16 && bitCount != 24 && bitCount != 32) return Fail(error, "unsupported bit count");
        const uint32_t bytesPerPixel = bitCount / 8;
        if (uint64_t(width) * height * bytesPerPixel > available) return Fail(error, "pixel data cut short");
        decoded.pixels.resize(size_t(width) * height);
        DecodeMasked(data + kHeaderSize, format, bytesPerPixel, decoded);
    } else {
        return Fail(error, "unsupported pixel format");
    }
    out = std::move(decoded);
    return true;
}

}  // namespace image
