// Windows and OS/2 bitmaps as paint programs write them: 1, 4 and 8-bit
// paletted (uncompressed, RLE8 or RLE4), 16 and 32-bit with the default or
// bit-field masks (with alpha too), 24-bit; OS/2 1.x headers with 3-byte
// palette entries and Windows headers of 40 bytes up to V5; bottom-up or
// top-down. Every offset and size the headers give is checked against the
// bytes held before any pixel is read, and every pixel read checks its own
// palette index and run, so a damaged file fails instead of reading past the
// data.
#include <cstring>

#include "image.h"

namespace image {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;      // OS/2 1.x
constexpr uint32_t kInfoHeaderSize = 40;      // Windows; V2 to V5 extend it
constexpr uint32_t kOs2InfoHeaderSize = 64;   // OS/2 2.x: compression 3 and 4 mean other things there
constexpr uint32_t kHeaderMasksSize = 52;     // V2 and up hold the colour masks in the header
constexpr uint32_t kHeaderAlphaMaskSize = 56; // V3 and up hold the alpha mask too

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Read32(const uint8_t* p) { return Read16(p) | (Read16(p + 2) << 16); }

bool Fail(std::string& error, const char* text) {
    error = std::string("BMP: ") + text;
    return false;
}

// One colour channel taken out of a pixel by its mask and scaled to 8 bits.
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

// Masks of one run of set bits within the pixel, not sharing bits.
bool MasksUsable(const uint32_t masks[4], uint32_t bitCount) {
    uint32_t seen = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t m = masks[i];
        if (!m) continue;
        const uint32_t run = m >> Channel(m).shift;
        if ((run & (run + 1)) != 0 || (bitCount < 32 && (m >> bitCount) != 0) || (seen & m) != 0) return false;
        seen |= m;
    }
    return true;
}

struct BmpLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t colorsUsed = 0;
    size_t headersEnd = 0;  // file and info headers and the masks after them
    size_t paletteEntrySize = 4;
    uint32_t masks[4] = {};
    uint64_t pixelOffset = 0;
};

bool Paletted(const BmpLayout& layout) { return layout.bitCount <= 8; }
bool Rle(const BmpLayout& layout) { return layout.compression == kRle8 || layout.compression == kRle4; }

bool KindSupported(const BmpLayout& layout, bool core) {
    const uint32_t bits = layout.bitCount, compression = layout.compression;
    if (core) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
    switch (compression) {
        case kRgb:
            return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        case kRle8:
            return bits == 8;
        case kRle4:
            return bits == 4;
        case kBitFields:
        case kAlphaBitFields:
            return bits == 16 || bits == 32;
        default:
            return false;
    }
}

// The masks a bit-field bitmap gives (after a 40-byte header, else inside
// the header), or the defaults of its bit count.
bool ReadMasks(const uint8_t* data, size_t size, uint32_t infoSize, BmpLayout& layout, std::string& error) {
    const bool bitFields = layout.compression == kBitFields || layout.compression == kAlphaBitFields;
    if (!bitFields) {
        if (layout.bitCount == 16) {
            layout.masks[0] = 0x7C00u, layout.masks[1] = 0x03E0u, layout.masks[2] = 0x001Fu;
        } else if (layout.bitCount == 32) {
            layout.masks[0] = 0x00FF0000u, layout.masks[1] = 0x0000FF00u, layout.masks[2] = 0x000000FFu;
            layout.masks[3] = 0xFF000000u;
        }
        return true;
    }
    const uint8_t* info = data + kFileHeaderSize;
    if (infoSize == kInfoHeaderSize) {
        const size_t count = layout.compression == kAlphaBitFields ? 4 : 3;
        if (layout.headersEnd + 4 * count > size) return Fail(error, "masks cut short");
        for (size_t i = 0; i < count; ++i) layout.masks[i] = Read32(info + kInfoHeaderSize + 4 * i);
        layout.headersEnd += 4 * count;
    } else {
        if (infoSize < kHeaderMasksSize) return Fail(error, "masks cut short");
        const size_t count = infoSize >= kHeaderAlphaMaskSize ? 4 : 3;
        for (size_t i = 0; i < count; ++i) layout.masks[i] = Read32(info + kInfoHeaderSize + 4 * i);
    }
    if (!MasksUsable(layout.masks, layout.bitCount)) return Fail(error, "bad bit-field masks");
    return true;
}

bool ReadLayout(const uint8_t* data, size_t size, BmpLayout& layout, std::string& error) {
    if (size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M') return Fail(error, "header cut short");
    const uint8_t* info = data + kFileHeaderSize;
    const uint32_t infoSize = Read32(info);
    const bool core = infoSize == kCoreHeaderSize;
    if ((!core && infoSize < kInfoHeaderSize) || infoSize > size - kFileHeaderSize)
        return Fail(error, "unsupported info header");

    int64_t width = 0, height = 0;
    if (core) {
        width = Read16(info + 4);
        height = Read16(info + 6);
        layout.bitCount = Read16(info + 10);
        layout.paletteEntrySize = 3;
    } else {
        width = static_cast<int32_t>(Read32(info + 4));
        height = static_cast<int32_t>(Read32(info + 8));
        layout.bitCount = Read16(info + 14);
        layout.compression = Read32(info + 16);
        layout.colorsUsed = Read32(info + 32);
        if (infoSize == kOs2InfoHeaderSize && layout.compression >= kBitFields)
            return Fail(error, "unsupported compression");
    }
    if (width <= 0 || height == 0) return Fail(error, "bad dimensions");
    layout.width = static_cast<uint32_t>(width);
    layout.topDown = height < 0;
    layout.height = static_cast<uint32_t>(layout.topDown ? -height : height);
    if (!SizeAcceptable(layout.width, layout.height)) return Fail(error, "image too large");
    if (!KindSupported(layout, core)) return Fail(error, "unsupported bit count or compression");
    if (layout.topDown && Rle(layout)) return Fail(error, "run-length data cannot be top-down");

    layout.headersEnd = kFileHeaderSize + infoSize;
    if (!ReadMasks(data, size, infoSize, layout, error)) return false;
    layout.pixelOffset = Read32(data + 10);
    if (layout.pixelOffset < layout.headersEnd || layout.pixelOffset > size)
        return Fail(error, "pixel data offset out of range");
    return true;
}

struct Palette {
    uint32_t colours[256] = {};
    uint32_t count = 0;
};

// The palette's entries: as many as the header says, else as many as the bit
// count indexes, but never past the pixel data, which follows it.
bool ReadPalette(const uint8_t* data, size_t size, const BmpLayout& layout, Palette& palette, std::string& error) {
    uint64_t count = 1u << layout.bitCount;
    if (layout.colorsUsed != 0 && layout.colorsUsed < count) count = layout.colorsUsed;
    const uint64_t room = (layout.pixelOffset - layout.headersEnd) / layout.paletteEntrySize;
    if (room < count) count = room;
    if (count == 0) return Fail(error, "no palette");
    if (layout.headersEnd + count * layout.paletteEntrySize > size) return Fail(error, "palette cut short");
    const uint8_t* entry = data + layout.headersEnd;
    for (uint32_t i = 0; i < count; ++i, entry += layout.paletteEntrySize)
        palette.colours[i] = 0xFF000000u | (uint32_t(entry[2]) << 16) | (uint32_t(entry[1]) << 8) | entry[0];
    palette.count = static_cast<uint32_t>(count);
    return true;
}

uint32_t IndexAt(const uint8_t* row, uint32_t x, uint32_t bitCount) {
    const uint32_t bit = x * bitCount;
    return (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
}

uint64_t RowSize(const BmpLayout& layout) { return (uint64_t(layout.width) * layout.bitCount + 31) / 32 * 4; }

// The rows must all be there (checked before the pixels are allocated).
bool DecodeUncompressed(const uint8_t* data, const BmpLayout& layout, const Palette& palette, Image& decoded,
                        std::string& error) {
    const uint64_t rowSize = RowSize(layout);
    const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]), alpha(layout.masks[3]);
    for (uint32_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = data + layout.pixelOffset + rowSize * y;
        const uint32_t targetRow = layout.topDown ? y : layout.height - 1 - y;
        uint32_t* target = &decoded.pixels[static_cast<size_t>(targetRow) * layout.width];
        for (uint32_t x = 0; x < layout.width; ++x) {
            if (Paletted(layout)) {
                const uint32_t index = IndexAt(row, x, layout.bitCount);
                if (index >= palette.count) return Fail(error, "palette index past the palette");
                target[x] = palette.colours[index];
                continue;
            }
            if (layout.bitCount == 24) {
                const uint8_t* p = row + x * 3u;
                target[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
                continue;
            }
            const uint32_t p = layout.bitCount == 16 ? Read16(row + x * 2u) : Read32(row + x * 4u);
            const uint32_t a = layout.masks[3] ? alpha.Extract(p) : 0xFFu;
            target[x] = (a << 24) | (red.Extract(p) << 16) | (green.Extract(p) << 8) | blue.Extract(p);
        }
    }
    return true;
}

// RLE8 and RLE4: runs of one index (two alternating ones in RLE4), literal
// runs padded to 16 bits, and the escapes end of line, end of bitmap and
// delta. Pixels the stream skips stay transparent. Some encoders (ImageMagick)
// code each row up to its 32-bit boundary, as an uncompressed row is stored:
// pixels there are dropped. A run or a move past that boundary or the image
// is damage; so is a stream that ends before the image does.
bool DecodeRle(const uint8_t* data, size_t size, const BmpLayout& layout, const Palette& palette, Image& decoded,
               std::string& error) {
    const bool four = layout.compression == kRle4;
    const uint32_t rowEnd = static_cast<uint32_t>(RowSize(layout) * 8 / layout.bitCount);
    const uint8_t* p = data + layout.pixelOffset;
    const uint8_t* const end = data + size;
    uint32_t x = 0, y = 0;  // y counts rows from the bottom, as the file stores them
    const auto put = [&](uint32_t index) {
        if (index >= palette.count) return false;
        if (x < layout.width)
            decoded.pixels[static_cast<size_t>(layout.height - 1 - y) * layout.width + x] = palette.colours[index];
        ++x;
        return true;
    };
    while (y < layout.height) {
        if (end - p < 2) return Fail(error, "run-length data ends early");
        const uint32_t count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            if (count > rowEnd - x) return Fail(error, "run past the end of the row");
            for (uint32_t i = 0; i < count; ++i)
                if (!put(four ? (i % 2 ? value & 0xF : value >> 4) : value))
                    return Fail(error, "palette index past the palette");
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (end - p < 2) return Fail(error, "run-length data ends early");
            const uint64_t toX = uint64_t(x) + p[0], toY = uint64_t(y) + p[1];
            p += 2;
            if (toX > rowEnd || toY > layout.height || (toY == layout.height && toX > 0))
                return Fail(error, "move past the image");
            x = static_cast<uint32_t>(toX);
            y = static_cast<uint32_t>(toY);
        } else {
            const size_t bytes = four ? (value + 1) / 2 : value;
            const size_t padded = (bytes + 1) & ~size_t(1);
            if (size_t(end - p) < padded) return Fail(error, "run-length data ends early");
            if (value > rowEnd - x) return Fail(error, "run past the end of the row");
            for (uint32_t i = 0; i < value; ++i)
                if (!put(four ? (i % 2 ? p[i / 2] & 0xF : p[i / 2] >> 4) : p[i]))
                    return Fail(error, "palette index past the palette");
            p += padded;
        }
    }
    return true;
}

// Alpha read from the pixels' own bits that is zero everywhere was not
// written as alpha (plain 32-bit bitmaps leave that byte zero): such
// pixels are opaque, since a wholly invisible picture is never meant.
void MakeOpaqueWhenAlphaUnused(Image& image) {
    for (uint32_t p : image.pixels)
        if (p >> 24) return;
    for (uint32_t& p : image.pixels) p |= 0xFF000000u;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    BmpLayout layout;
    if (!ReadLayout(data, size, layout, error)) return false;
    Palette palette;
    if (Paletted(layout) && !ReadPalette(data, size, layout, palette, error)) return false;

    if (!Rle(layout) && RowSize(layout) * layout.height > size - layout.pixelOffset)
        return Fail(error, "pixel data cut short");

    Image decoded;
    decoded.width = layout.width;
    decoded.height = layout.height;
    decoded.pixels.assign(static_cast<size_t>(layout.width) * layout.height, 0);
    const bool complete = Rle(layout) ? DecodeRle(data, size, layout, palette, decoded, error)
                                      : DecodeUncompressed(data, layout, palette, decoded, error);
    if (!complete) return false;
    if (layout.masks[3]) MakeOpaqueWhenAlphaUnused(decoded);
    out = std::move(decoded);
    return true;
}

}  // namespace image
