// Image decoders: every file type from small generated images, and damaged
// files (cut short, headers promising more than the bytes, absurd sizes)
// that must fail cleanly. Each damaged input sits in a buffer of exactly its
// size, so the sanitizer build catches any read past it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image.h"

namespace {

using Bytes = std::vector<uint8_t>;

image::Image MakeImage(uint32_t width, uint32_t height, std::vector<uint32_t> pixels) {
    image::Image result;
    result.width = width;
    result.height = height;
    result.pixels = std::move(pixels);
    return result;
}

// A picture whose every pixel differs: red from x, green from y, blue and
// alpha from both.
image::Image Gradient(uint32_t width, uint32_t height, bool opaque) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t alpha = opaque ? 255 : (40 + 30 * x + 7 * y) & 0xFF;
            pixels.push_back((alpha << 24) | ((x * 50 + 5) << 16) | ((y * 60 + 3) << 8) | ((x * 13 + y * 17) & 0xFF));
        }
    return MakeImage(width, height, pixels);
}

bool Decode(const Bytes& bytes, image::Image& out) {
    std::string error;
    const bool ok = image::DecodeImage(bytes.data(), bytes.size(), out, error);
    EXPECT_EQ(ok, error.empty()) << error;
    return ok;
}

// Every prefix of `bytes` shorter than the whole must be refused.
void ExpectEveryCutFails(const Bytes& bytes, size_t step) {
    for (size_t cut = 0; cut < bytes.size(); cut += step) {
        const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        image::Image out;
        std::string error;
        EXPECT_FALSE(image::DecodeImage(prefix.data(), prefix.size(), out, error)) << "cut at " << cut;
        EXPECT_TRUE(out.pixels.empty());
        EXPECT_FALSE(error.empty());
    }
}

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// ---- BMP writer -------------------------------------------------------------

struct BmpSpec {
    uint32_t infoSize = 40;  // 12: an OS/2 1.x header, whose palette entries are 3 bytes
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // BGRx words
    std::vector<uint32_t> masks;    // after a 40-byte header, or inside a larger one
    uint32_t colorsUsed = 0;        // 0: as many as the palette has
};

// The headers and palette, then `pixels` as they stand.
Bytes MakeBmpWithPixels(const BmpSpec& spec, const Bytes& pixels) {
    const bool core = spec.infoSize == 12;
    const size_t entrySize = core ? 3 : 4;
    const size_t extraMasks = spec.infoSize == 40 ? spec.masks.size() * 4 : 0;
    const size_t paletteStart = 14 + spec.infoSize + extraMasks;
    const size_t pixelOffset = paletteStart + spec.palette.size() * entrySize;
    Bytes b(pixelOffset, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, uint32_t(pixelOffset));
    Put32(b, 14, spec.infoSize);
    if (core) {
        Put16(b, 18, uint32_t(spec.width));
        Put16(b, 20, uint32_t(spec.height));
        Put16(b, 22, 1);
        Put16(b, 24, spec.bitCount);
    } else {
        Put32(b, 18, uint32_t(spec.width));
        Put32(b, 22, uint32_t(spec.height));
        Put16(b, 26, 1);
        Put16(b, 28, spec.bitCount);
        Put32(b, 30, spec.compression);
        Put32(b, 46, spec.colorsUsed ? spec.colorsUsed : uint32_t(spec.palette.size()));
        for (size_t i = 0; i < spec.masks.size(); ++i) Put32(b, 54 + 4 * i, spec.masks[i]);
    }
    for (size_t i = 0; i < spec.palette.size(); ++i)
        for (size_t k = 0; k < entrySize; ++k) b[paletteStart + entrySize * i + k] = uint8_t(spec.palette[i] >> (8 * k));
    b.insert(b.end(), pixels.begin(), pixels.end());
    Put32(b, 2, uint32_t(b.size()));
    return b;
}

// `rows` are given top row first, already in the file's pixel bytes.
Bytes MakeBmp(const BmpSpec& spec, const std::vector<Bytes>& rows) {
    Bytes pixels;
    const bool bottomUp = spec.height > 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        Bytes row = bottomUp ? rows[rows.size() - 1 - i] : rows[i];
        while (row.size() % 4) row.push_back(0);
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
    return MakeBmpWithPixels(spec, pixels);
}

Bytes Bgr(std::initializer_list<uint32_t> pixels) {
    Bytes row;
    for (uint32_t p : pixels) {
        row.push_back(uint8_t(p));
        row.push_back(uint8_t(p >> 8));
        row.push_back(uint8_t(p >> 16));
    }
    return row;
}

Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes row;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) row.push_back(uint8_t(w >> (8 * i)));
    return row;
}

// ---- DDS writer -------------------------------------------------------------

Bytes DdsHeader(uint32_t width, uint32_t height, uint32_t formatFlags, uint32_t fourCC, uint32_t bitCount,
                std::vector<uint32_t> masks) {
    Bytes b(128, 0);
    std::memcpy(b.data(), "DDS ", 4);
    Put32(b, 4, 124);
    Put32(b, 8, 0x1007);
    Put32(b, 12, height);
    Put32(b, 16, width);
    Put32(b, 76, 32);
    Put32(b, 80, formatFlags);
    Put32(b, 84, fourCC);
    Put32(b, 88, bitCount);
    for (size_t i = 0; i < masks.size(); ++i) Put32(b, 92 + 4 * i, masks[i]);
    return b;
}

constexpr uint32_t kFourCC = 0x4, kRgb = 0x40, kAlphaPixels = 0x1;

uint32_t FourCC(const char* code) {
    return uint32_t(uint8_t(code[0])) | (uint32_t(uint8_t(code[1])) << 8) | (uint32_t(uint8_t(code[2])) << 16) |
           (uint32_t(uint8_t(code[3])) << 24);
}

Bytes Dds(uint32_t width, uint32_t height, const char* fourCC, const Bytes& blocks) {
    Bytes b = DdsHeader(width, height, kFourCC, FourCC(fourCC), 0, {});
    b.insert(b.end(), blocks.begin(), blocks.end());
    return b;
}

// A DXT colour block: pure red (0xF800) and pure blue (0x001F) endpoints,
// texel i uses index indices[i].
Bytes ColourBlock(uint16_t c0, uint16_t c1, const std::vector<uint32_t>& indices) {
    Bytes b(8, 0);
    Put16(b, 0, c0);
    Put16(b, 2, c1);
    uint32_t bits = 0;
    for (size_t i = 0; i < 16; ++i) bits |= indices[i % indices.size()] << (2 * i);
    Put32(b, 4, bits);
    return b;
}

// ---- Crafted PNG chunks -------------------------------------------------------

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBig32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// Rewrites the IHDR size of an encoded PNG and fixes its checksum, so only
// the size is wrong.
Bytes PngClaimingSize(Bytes png, uint32_t width, uint32_t height) {
    PutBig32(png, 16, width);
    PutBig32(png, 20, height);
    PutBig32(png, 29, Crc32(&png[12], 17));
    return png;
}

// ---- Tests ----------------------------------------------------------------------

TEST(ImageDecoders, PngKeepsEveryPixelAndAlpha) {
    const image::Image source = Gradient(5, 3, false);
    const Bytes png = image::EncodePng(source);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(image::DetectFormat(png.data(), png.size()), image::FileFormat::Png);
    image::Image decoded;
    ASSERT_TRUE(Decode(png, decoded));
    EXPECT_EQ(decoded.width, 5u);
    EXPECT_EQ(decoded.height, 3u);
    EXPECT_EQ(decoded.pixels, source.pixels);
}

TEST(ImageDecoders, JpegKeepsColoursWithinCompressionError) {
    // Flat 8x8 blocks of four colours survive JPEG almost unchanged.
    const uint32_t colours[4] = {0xFFC02010u, 0xFF10C020u, 0xFF2010C0u, 0xFFE0E0E0u};
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) pixels.push_back(colours[(y / 8) * 2 + x / 8]);
    const Bytes jpeg = image::EncodeJpeg(MakeImage(16, 16, pixels), 95);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(image::DetectFormat(jpeg.data(), jpeg.size()), image::FileFormat::Jpeg);
    image::Image decoded;
    ASSERT_TRUE(Decode(jpeg, decoded));
    ASSERT_EQ(decoded.width, 16u);
    ASSERT_EQ(decoded.height, 16u);
    for (uint32_t y : {2u, 12u})
        for (uint32_t x : {2u, 12u}) {
            const uint32_t got = decoded.pixels[y * 16 + x], want = colours[(y / 8) * 2 + x / 8];
            EXPECT_EQ(got >> 24, 0xFFu);
            for (int shift = 0; shift <= 16; shift += 8)
                EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 6) << x << "," << y;
        }
}

TEST(ImageDecoders, Bmp24BitBottomUpWithRowPadding) {
    // Three pixels make 9-byte rows padded to 12.
    BmpSpec spec;
    spec.width = 3;
    spec.height = 2;
    const Bytes bmp = MakeBmp(spec, {Bgr({0x112233, 0x445566, 0x778899}), Bgr({0xAABBCC, 0xDDEEFF, 0x010203})});
    image::Image decoded;
    ASSERT_TRUE(Decode(bmp, decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0xFF112233u, 0xFF445566u, 0xFF778899u, 0xFFAABBCCu,
                                                     0xFFDDEEFFu, 0xFF010203u}));
}

TEST(ImageDecoders, Bmp32BitTopDownKeepsAlphaOrMakesUnusedAlphaOpaque) {
    BmpSpec spec;
    spec.width = 2;
    spec.height = -2;
    spec.bitCount = 32;
    image::Image decoded;
    ASSERT_TRUE(Decode(MakeBmp(spec, {Words({0x80112233u, 0x00445566u}), Words({0xFF778899u, 0x10AABBCCu})}),
                       decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0x80112233u, 0x00445566u, 0xFF778899u, 0x10AABBCCu}));

    ASSERT_TRUE(Decode(MakeBmp(spec, {Words({0x00112233u, 0x00445566u}), Words({0x00778899u, 0x00AABBCCu})}),
                       decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0xFF112233u, 0xFF445566u, 0xFF778899u, 0xFFAABBCCu}));
}

TEST(ImageDecoders, Bmp32BitBitFieldsReadChannelsByMask) {
    // Bytes R, G, B, A in memory order, as a V4 header (108 bytes) declares them.
    BmpSpec spec;
    spec.infoSize = 108;
    spec.width = 2;
    spec.height = 1;
    spec.bitCount = 32;
    spec.compression = 3;
    spec.masks = {0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0xFF000000u};
    image::Image decoded;
    ASSERT_TRUE(Decode(MakeBmp(spec, {Words({0x80332211u, 0xFF665544u})}), decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0x80112233u, 0xFF445566u}));

    // A 40-byte header with three masks after it: no alpha, so opaque.
    spec.infoSize = 40;
    spec.masks = {0x0000F800u, 0x000007E0u, 0x0000001Fu};
    ASSERT_TRUE(Decode(MakeBmp(spec, {Words({0xF800u, 0x07E0u})}), decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u}));
}

// ---- Bitmaps in the layouts no encoder at hand writes ------------------------

// A bitmap built byte by byte and the pixels it holds by construction.
struct BuiltBmp {
    std::string name;
    Bytes file;
    std::vector<uint32_t> pixels;
    uint32_t width;
};

uint32_t PaletteColour(uint32_t i) {
    return 0xFF000000u | (((i * 53 + 17) & 0xFF) << 16) | (((i * 101 + 3) & 0xFF) << 8) | ((i * 29 + 200) & 0xFF);
}

std::vector<uint32_t> Palette(uint32_t count) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < count; ++i) palette.push_back(PaletteColour(i) & 0xFFFFFFu);
    return palette;
}

// Indices packed high bits first, as bitmaps store them.
Bytes PackIndices(uint32_t bits, const std::vector<uint32_t>& indices) {
    Bytes row((indices.size() * bits + 7) / 8, 0);
    for (size_t x = 0; x < indices.size(); ++x)
        row[x * bits / 8] |= uint8_t(indices[x] << (8 - bits - x * bits % 8));
    return row;
}

// Every pixel picks an entry of the first `colours` of the palette.
BuiltBmp Paletted(const std::string& name, uint32_t infoSize, uint16_t bits, int32_t width, int32_t height,
                  uint32_t colours) {
    BmpSpec spec;
    spec.infoSize = infoSize;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bits;
    spec.palette = Palette(colours);
    BuiltBmp built{name, {}, {}, uint32_t(width)};
    std::vector<Bytes> rows;
    for (int32_t y = 0; y < std::abs(height); ++y) {
        std::vector<uint32_t> indices;
        for (int32_t x = 0; x < width; ++x) {
            indices.push_back(uint32_t(x * 3 + y * 7) % colours);
            built.pixels.push_back(PaletteColour(indices.back()));
        }
        rows.push_back(PackIndices(bits, indices));
    }
    built.file = MakeBmp(spec, rows);
    return built;
}

// 16 or 32-bit pixels by masks. `fileMasks` are written (bit-field
// compressions), `masks` are what the pixels are made with; every channel
// level differs from pixel to pixel and is scaled to 8 bits when expected.
BuiltBmp ByMasks(const std::string& name, uint32_t infoSize, uint16_t bits, uint32_t compression,
                 std::vector<uint32_t> masks, bool writeMasks, int32_t width, int32_t height, uint32_t junk = 0) {
    BmpSpec spec;
    spec.infoSize = infoSize;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bits;
    spec.compression = compression;
    if (writeMasks) spec.masks = masks;
    masks.resize(4, 0);
    BuiltBmp built{name, {}, {}, uint32_t(width)};
    std::vector<Bytes> rows;
    for (int32_t y = 0; y < std::abs(height); ++y) {
        Bytes row;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t value = (x + y) % 2 ? junk : 0, pixel = 0;
            for (int c = 0; c < 4; ++c) {
                uint32_t shift = 0;
                while (masks[c] && !((masks[c] >> shift) & 1)) ++shift;
                const uint32_t maximum = masks[c] >> shift;
                const uint32_t level = maximum ? uint32_t(x * 977 + y * 131 + c * 57 + 5) % (maximum + 1) : 0;
                value |= level << shift;
                const uint32_t scaled = maximum ? uint32_t(std::lround(level * 255.0 / maximum)) : 255;
                pixel |= scaled << (c == 3 ? 24 : 16 - 8 * c);
            }
            built.pixels.push_back(pixel);
            for (int i = 0; i < bits / 8; ++i) row.push_back(uint8_t(value >> (8 * i)));
        }
        rows.push_back(row);
    }
    built.file = MakeBmp(spec, rows);
    return built;
}

BuiltBmp Rle(const std::string& name, uint16_t bits, int32_t width, int32_t height, uint32_t colours,
             const Bytes& stream, const std::vector<int>& indices) {
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = bits;
    spec.compression = bits == 8 ? 1 : 2;
    spec.palette = Palette(colours);
    BuiltBmp built{name, MakeBmpWithPixels(spec, stream), {}, uint32_t(width)};
    for (int index : indices) built.pixels.push_back(index < 0 ? 0u : PaletteColour(uint32_t(index)));
    return built;
}

constexpr int kSkip = -1;  // a pixel the stream skips

// RLE8, 7x5: runs, literal runs (odd and even), end of line, a delta across
// a row end, and the end of the bitmap before the last row.
BuiltBmp Rle8() {
    const int _ = kSkip;
    return Rle("rle8", 8, 7, 5, 6,
               {3, 1, 0, 4, 2, 3, 4, 5, 0, 0,  // bottom row
                7, 2, 0, 0,
                2, 3, 0, 3, 1, 2, 5, 0, 0, 2, 1, 1,  // a literal run of three is padded; delta one right, one up
                1, 4, 0, 0,
                0, 1},
               {_, _, _, _, _, _, _,  //
                _, _, _, _, _, _, 4,  //
                3, 3, 1, 2, 5, _, _,  //
                2, 2, 2, 2, 2, 2, 2,  //
                1, 1, 1, 2, 3, 4, 5});
}

// RLE4, 5x3, 11 colours: a run of two alternating indices, a padded literal
// run of five, a delta along a row, the end of the bitmap.
BuiltBmp Rle4() {
    const int _ = kSkip;
    return Rle("rle4", 4, 5, 3, 11,
               {5, 0x12, 0, 0,  // bottom row
                0, 5, 0x34, 0x56, 0x70, 0, 0, 0,  //
                2, 0x89, 0, 2, 2, 0, 1, 0xA0, 0, 1},
               {8, 9, _, _, 10,  //
                3, 4, 5, 6, 7,   //
                1, 2, 1, 2, 1});
}

std::vector<BuiltBmp> BuiltBitmaps() {
    return {
        Paletted("os2 1-bit", 12, 1, 13, 7, 2),
        Paletted("os2 4-bit", 12, 4, 13, 7, 16),
        Paletted("os2 8-bit", 12, 8, 33, 17, 256),
        Paletted("1-bit top-down 1x1", 40, 1, 1, -1, 2),
        Paletted("4-bit top-down, 11 colours", 40, 4, 13, -7, 11),
        Paletted("8-bit top-down, 200 colours", 40, 8, 5, -3, 200),
        ByMasks("16-bit plain 5-5-5, top bit set", 40, 16, 0, {0x7C00, 0x03E0, 0x001F}, false, 13, 7, 0x8000),
        ByMasks("16-bit 5-6-5 top-down", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, true, 13, -7),
        ByMasks("16-bit 4-4-4-4 in a V5 header", 124, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, true, 33, 17),
        ByMasks("16-bit 1-5-5-5 alpha bit fields", 40, 16, 6, {0x7C00, 0x03E0, 0x001F, 0x8000}, true, 13, 7),
        ByMasks("16-bit 3-6-5-2 in a V3 header", 56, 16, 3, {0x0007, 0x01F8, 0x3E00, 0xC000}, true, 13, -7),
        ByMasks("32-bit 10-10-10-2 in a V4 header", 108, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, true,
                33, 17),
        ByMasks("32-bit R, G, B, A bytes, alpha bit fields", 40, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, true, 1,
                -1),
        ByMasks("32-bit 12-10-10 in a V2 header", 52, 32, 3, {0xFFF00000, 0x000FFC00, 0x000003FF}, true, 13, 7),
        Rle8(),
        Rle4(),
    };
}

void ExpectBuiltPixels(const BuiltBmp& built) {
    image::Image decoded;
    ASSERT_TRUE(Decode(built.file, decoded));
    EXPECT_EQ(decoded.width, built.width);
    EXPECT_EQ(decoded.pixels, built.pixels);
}

TEST(ImageDecoders, BitmapsBuiltByteByByteHoldThePixelsTheyWereBuiltWith) {
    for (const BuiltBmp& built : BuiltBitmaps()) {
        SCOPED_TRACE(built.name);
        ExpectBuiltPixels(built);
    }
}

TEST(ImageDecoders, CutShortBitmapsOfEveryKindFail) {
    for (const BuiltBmp& built : BuiltBitmaps()) {
        SCOPED_TRACE(built.name);
        ExpectEveryCutFails(built.file, 1);
    }
}

// A valid bitmap with one header or data field rewritten to lie.
struct Lie {
    const char* what;
    BuiltBmp (*make)();
    size_t at;       // from the file's start; kInStream: from the pixel data's
    uint32_t value;
    int width;       // bytes written: 1, 2 or 4
};

constexpr size_t kInStream = size_t(1) << 31;

BuiltBmp Paletted4() { return Paletted("4-bit", 40, 4, 13, 7, 11); }
BuiltBmp Os2Paletted() { return Paletted("os2 8-bit", 12, 8, 5, 3, 16); }
BuiltBmp BitFields16() { return ByMasks("5-6-5", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, true, 3, 2); }
BuiltBmp AlphaBitFields32() { return ByMasks("alpha", 40, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, true, 3, 2); }
BuiltBmp MasksInV5() { return ByMasks("V5", 124, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, true, 3, 2); }

const Lie kLies[] = {
    {"a pixel past the palette's 11 colours", Paletted4, kInStream, 0xC0, 1},
    {"pixel data inside the headers", Paletted4, 10, 20, 4},
    {"pixel data past the end", Paletted4, 10, 0x7FFFFFF0u, 4},
    {"a height with rows that are not there", Paletted4, 22, 9, 4},
    {"a 2-bit bitmap", Paletted4, 28, 2, 2},
    {"a header of 20 bytes", Paletted4, 14, 20, 4},
    {"an OS/2 16-bit bitmap", Os2Paletted, 24, 16, 2},
    {"an OS/2 bitmap of 65535x65535", Os2Paletted, 18, 0xFFFFFFFFu, 4},
    {"an OS/2 index past the palette", Os2Paletted, kInStream + 2, 16, 1},
    {"a mask with a gap", BitFields16, 54, 0xF0F0, 4},
    {"masks sharing bits", BitFields16, 58, 0xFFE0, 4},
    {"a mask past 16 bits", BitFields16, 62, 0x1F0000, 4},
    {"masks cut off by the pixel data", BitFields16, 10, 60, 4},
    {"an alpha mask with a gap", AlphaBitFields32, 66, 0xF0F00000u, 4},
    {"a V5 mask with a gap", MasksInV5, 54 + 12, 0x9000, 4},
    {"bit fields on 24 bits", BitFields16, 28, 24, 2},
    {"run-length data top-down", Rle8, 22, uint32_t(-5), 4},
    {"a run past the row", Rle8, kInStream, 9, 1},
    {"a run past the padded row", Rle8, kInStream + 10, 9, 1},
    {"a literal run past the row", Rle8, kInStream + 3, 8, 1},
    {"a delta past the top", Rle8, kInStream + 25, 3, 1},
    {"a delta past the row", Rle8, kInStream + 24, 9, 1},
    {"a run index past the palette", Rle8, kInStream + 1, 6, 1},
    {"a literal index past the palette", Rle8, kInStream + 5, 200, 1},
    {"RLE4 literal run past the row", Rle4, kInStream + 5, 9, 1},
    {"RLE4 index past the palette", Rle4, kInStream + 1, 0x1F, 1},
    {"RLE8 on 4 bits", Rle4, 30, 1, 4},
};

TEST(ImageDecoders, BitmapsWithLyingHeadersOrDataFail) {
    for (const Lie& lie : kLies) {
        SCOPED_TRACE(lie.what);
        Bytes file = lie.make().file;
        const size_t at = lie.at >= kInStream ? lie.at - kInStream + (file[10] | (file[11] << 8)) : lie.at;
        ASSERT_LE(at + lie.width, file.size());
        for (int i = 0; i < lie.width; ++i) file[at + i] = uint8_t(lie.value >> (8 * i));
        image::Image decoded;
        std::string error;
        EXPECT_FALSE(image::DecodeImage(file.data(), file.size(), decoded, error));
        EXPECT_TRUE(decoded.pixels.empty());
        EXPECT_FALSE(error.empty());
    }
}

TEST(ImageDecoders, DdsUncompressedByMasks) {
    Bytes argb = DdsHeader(2, 1, kRgb | kAlphaPixels, 0, 32, {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u});
    const Bytes pixels32 = Words({0x80112233u, 0x10445566u});
    argb.insert(argb.end(), pixels32.begin(), pixels32.end());
    image::Image decoded;
    ASSERT_TRUE(Decode(argb, decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0x80112233u, 0x10445566u}));

    Bytes rgb565 = DdsHeader(2, 1, kRgb, 0, 16, {0xF800u, 0x07E0u, 0x001Fu, 0});
    for (uint8_t v : {0x00, 0xF8, 0x1F, 0x00}) rgb565.push_back(v);
    ASSERT_TRUE(Decode(rgb565, decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF0000FFu}));

    Bytes rgb24 = DdsHeader(1, 2, kRgb, 0, 24, {0xFF0000u, 0xFF00u, 0xFFu, 0});
    const Bytes pixels24 = Bgr({0x102030, 0x405060});
    rgb24.insert(rgb24.end(), pixels24.begin(), pixels24.end());
    ASSERT_TRUE(Decode(rgb24, decoded));
    EXPECT_EQ(decoded.pixels, (std::vector<uint32_t>{0xFF102030u, 0xFF405060u}));
}

TEST(ImageDecoders, DdsDxt1FourAndThreeColourBlocks) {
    // Four-colour block: red, blue, 2/3 red + 1/3 blue, 1/3 red + 2/3 blue.
    image::Image decoded;
    ASSERT_TRUE(Decode(Dds(4, 4, "DXT1", ColourBlock(0xF800, 0x001F, {0, 1, 2, 3})), decoded));
    ASSERT_EQ(decoded.pixels.size(), 16u);
    EXPECT_EQ(decoded.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(decoded.pixels[1], 0xFF0000FFu);
    EXPECT_EQ(decoded.pixels[2], 0xFFAA0055u);
    EXPECT_EQ(decoded.pixels[3], 0xFF5500AAu);

    // colour0 <= colour1: the third is the midpoint, the fourth transparent.
    ASSERT_TRUE(Decode(Dds(4, 4, "DXT1", ColourBlock(0x001F, 0xF800, {2, 3})), decoded));
    EXPECT_EQ(decoded.pixels[0], 0xFF7F007Fu);
    EXPECT_EQ(decoded.pixels[1], 0x00000000u);
}

TEST(ImageDecoders, DdsDxt3AndDxt5Alpha) {
    // DXT3: explicit 4-bit alpha; texels alternate 0x0 and 0xF.
    Bytes dxt3(8, 0xF0);
    const Bytes colour = ColourBlock(0xFFFF, 0x0000, {0});
    dxt3.insert(dxt3.end(), colour.begin(), colour.end());
    image::Image decoded;
    ASSERT_TRUE(Decode(Dds(4, 4, "DXT3", dxt3), decoded));
    EXPECT_EQ(decoded.pixels[0], 0x00FFFFFFu);
    EXPECT_EQ(decoded.pixels[1], 0xFFFFFFFFu);

    // DXT5: alpha 255 and 0 with 3-bit indices 0, 1, 2 (6/7 * 255 + 1/7 * 0).
    Bytes dxt5 = {255, 0, 0b10001000, 0, 0, 0, 0, 0};
    dxt5.insert(dxt5.end(), colour.begin(), colour.end());
    ASSERT_TRUE(Decode(Dds(4, 4, "DXT5", dxt5), decoded));
    EXPECT_EQ(decoded.pixels[0] >> 24, 255u);
    EXPECT_EQ(decoded.pixels[1] >> 24, 0u);
    EXPECT_EQ(decoded.pixels[2] >> 24, 218u);
}

TEST(ImageDecoders, DdsSizeNotMultipleOfFourUsesPartOfEdgeBlocks) {
    Bytes blocks;
    for (int i = 0; i < 4; ++i) {
        const Bytes block = ColourBlock(i % 2 ? 0x001F : 0xF800, 0, {0});
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    image::Image decoded;
    ASSERT_TRUE(Decode(Dds(5, 5, "DXT1", blocks), decoded));
    ASSERT_EQ(decoded.pixels.size(), 25u);
    EXPECT_EQ(decoded.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(decoded.pixels[4], 0xFF0000FFu);
    EXPECT_EQ(decoded.pixels[24], 0xFF0000FFu);
}

TEST(ImageDecoders, CutShortFilesOfEveryTypeFail) {
    ExpectEveryCutFails(image::EncodePng(Gradient(9, 7, false)), 1);
    ExpectEveryCutFails(image::EncodeJpeg(Gradient(24, 24, true), 90), 1);
    BmpSpec spec;
    spec.width = 2;
    spec.height = 2;
    ExpectEveryCutFails(MakeBmp(spec, {Bgr({1, 2}), Bgr({3, 4})}), 1);
    ExpectEveryCutFails(Dds(8, 4, "DXT5", Bytes(32, 0x55)), 1);
}

TEST(ImageDecoders, DamagedPngAndJpegFail) {
    image::Image decoded;
    Bytes png = image::EncodePng(Gradient(9, 7, false));
    png[png.size() / 2] ^= 0x5A;  // inside the compressed data: checksum mismatch
    EXPECT_FALSE(Decode(png, decoded));

    // A JPEG whose entropy-coded data stops right after the scan header.
    Bytes jpeg = image::EncodeJpeg(Gradient(32, 32, true), 90);
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            const size_t headerEnd = i + 2 + ((size_t(jpeg[i + 2]) << 8) | jpeg[i + 3]);
            jpeg.resize(headerEnd + 4);
            break;
        }
    EXPECT_FALSE(Decode(jpeg, decoded));

    // 12-bit samples, which this build of libjpeg does not decode.
    Bytes twelveBit = image::EncodeJpeg(Gradient(16, 16, true), 90);
    for (size_t i = 0; i + 4 < twelveBit.size(); ++i)
        if (twelveBit[i] == 0xFF && twelveBit[i + 1] == 0xC0) {
            twelveBit[i + 4] = 12;
            break;
        }
    EXPECT_FALSE(Decode(twelveBit, decoded));
}

TEST(ImageDecoders, HeadersPromisingMoreThanTheBytesFail) {
    image::Image decoded;
    BmpSpec spec;
    spec.width = 2;
    spec.height = 2;
    Bytes tallBmp = MakeBmp(spec, {Bgr({1, 2}), Bgr({3, 4})});
    Put32(tallBmp, 22, 3);  // a third row that is not there
    EXPECT_FALSE(Decode(tallBmp, decoded));

    Bytes farPixels = MakeBmp(spec, {Bgr({1, 2}), Bgr({3, 4})});
    Put32(farPixels, 10, 0xFFFFFFF0u);
    EXPECT_FALSE(Decode(farPixels, decoded));

    spec.bitCount = 8;
    spec.palette = std::vector<uint32_t>(16, 0);
    Bytes bigPalette = MakeBmp(spec, {Bytes{0, 1}, Bytes{2, 3}});
    Put32(bigPalette, 46, 256);  // 256 entries claimed, 16 there
    bigPalette.resize(14 + 40 + 16 * 4);
    EXPECT_FALSE(Decode(bigPalette, decoded));

    Bytes hugeInfo = MakeBmp(BmpSpec{40, 1, 1, 24, 0, {}, {}}, {Bgr({1})});
    Put32(hugeInfo, 14, 0x7FFFFFFFu);
    EXPECT_FALSE(Decode(hugeInfo, decoded));

    EXPECT_FALSE(Decode(Dds(64, 64, "DXT1", Bytes(8, 0)), decoded));
    Bytes wideDds = DdsHeader(1000, 1000, kRgb, 0, 32, {0xFF0000u, 0xFF00u, 0xFFu, 0});
    wideDds.resize(wideDds.size() + 64);
    EXPECT_FALSE(Decode(wideDds, decoded));
}

TEST(ImageDecoders, AbsurdDimensionsFailBeforeAllocating) {
    image::Image decoded;
    EXPECT_FALSE(Decode(PngClaimingSize(image::EncodePng(Gradient(2, 2, true)), 100000, 100000), decoded));
    EXPECT_FALSE(Decode(PngClaimingSize(image::EncodePng(Gradient(2, 2, true)), 8192, 8192), decoded));

    Bytes jpeg = image::EncodeJpeg(Gradient(8, 8, true), 90);
    for (size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // start of frame: height, width at +5, +7
            jpeg[i + 5] = jpeg[i + 6] = jpeg[i + 7] = jpeg[i + 8] = 0xFF;
            break;
        }
    EXPECT_FALSE(Decode(jpeg, decoded));

    Bytes bmp = MakeBmp(BmpSpec{40, 1, 1, 24, 0, {}, {}}, {Bgr({1})});
    Put32(bmp, 18, 100000);
    Put32(bmp, 22, uint32_t(-100000));
    EXPECT_FALSE(Decode(bmp, decoded));
    Put32(bmp, 18, 0);
    Put32(bmp, 22, 1);
    EXPECT_FALSE(Decode(bmp, decoded));

    EXPECT_FALSE(Decode(Dds(0xFFFFFFFFu, 0xFFFFFFFFu, "DXT1", Bytes(8, 0)), decoded));
    EXPECT_FALSE(Decode(Dds(0, 4, "DXT1", Bytes(8, 0)), decoded));
}

TEST(ImageDecoders, UnknownAndUnsupportedFilesFail) {
    image::Image decoded;
    EXPECT_FALSE(Decode(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, decoded));
    EXPECT_FALSE(Decode(Bytes{}, decoded));
    EXPECT_FALSE(Decode(Dds(4, 4, "ATI2", Bytes(16, 0)), decoded));
    BmpSpec jpegInBmp;
    jpegInBmp.width = 1;
    jpegInBmp.height = 1;
    jpegInBmp.compression = 4;
    EXPECT_FALSE(Decode(MakeBmp(jpegInBmp, {Bgr({0})}), decoded));
}

TEST(ImageResampling, SameSizeCopiesAndShrinkingAverages) {
    const image::Image source = Gradient(6, 4, false);
    EXPECT_EQ(image::Resample(source, 6, 4).pixels, source.pixels);

    // A 4x4 black and white checkerboard shrinks to even grey.
    std::vector<uint32_t> checker;
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) checker.push_back((x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u);
    const image::Image small = image::Resample(MakeImage(4, 4, checker), 2, 2);
    for (uint32_t p : small.pixels) EXPECT_EQ(p, 0xFF808080u);
}

TEST(ImageResampling, EnlargingInterpolatesAndKeepsFlatAreasExact) {
    const image::Image flat = image::Resample(MakeImage(1, 1, {0x80402010u}), 4, 4);
    ASSERT_EQ(flat.pixels.size(), 16u);
    for (uint32_t p : flat.pixels) EXPECT_EQ(p, 0x80402010u);

    // Black to white across two pixels: the enlarged row rises monotonically
    // from black to white.
    const image::Image ramp = image::Resample(MakeImage(2, 1, {0xFF000000u, 0xFFFFFFFFu}), 8, 1);
    EXPECT_EQ(ramp.pixels.front(), 0xFF000000u);
    EXPECT_EQ(ramp.pixels.back(), 0xFFFFFFFFu);
    for (size_t i = 1; i < ramp.pixels.size(); ++i) EXPECT_GE(ramp.pixels[i] & 0xFF, ramp.pixels[i - 1] & 0xFF);
}

TEST(ImageResampling, HalvingAveragesBlocksDownToOnePixel) {
    const image::Image half = image::HalveBox(MakeImage(4, 2, {0xFF000000u, 0xFF0000FFu, 0x00FFFFFFu, 0x00FFFFFFu,
                                                                0xFF0000FFu, 0xFF000000u, 0x00FFFFFFu, 0x00FFFFFFu}));
    EXPECT_EQ(half.width, 2u);
    EXPECT_EQ(half.height, 1u);
    EXPECT_EQ(half.pixels, (std::vector<uint32_t>{0xFF000080u, 0x00FFFFFFu}));

    const image::Image column = image::HalveBox(MakeImage(1, 4, {0xFF000000u, 0xFF0000FEu, 0xFF00FE00u, 0xFF000000u}));
    EXPECT_EQ(column.width, 1u);
    EXPECT_EQ(column.height, 2u);
    EXPECT_EQ(column.pixels, (std::vector<uint32_t>{0xFF00007Fu, 0xFF007F00u}));
}

}  // namespace
