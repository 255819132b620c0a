// Texels of every Direct3D texture format as the RGBA bytes OpenGL ES is
// given: channel orders, widened channels, missing channels, and S3TC
// blocks made by hand in both colour modes and both alpha kinds.
#include <gtest/gtest.h>

#include "texel_rgba.h"

using namespace vd3d;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Convert(D3DFORMAT format, uint32_t width, uint32_t height, const Bytes& texels) {
    Bytes rgba;
    EXPECT_TRUE(ConvertToRgba8(format, width, height, texels.data(), texels.size(), rgba));
    return rgba;
}

// The RGBA bytes of texel `i`.
Bytes Texel(const Bytes& rgba, size_t i) { return Bytes(rgba.begin() + i * 4, rgba.begin() + i * 4 + 4); }

TEST(TexelRgba, EachPlainFormatReadsAsDesktopOpenGLSamplesIt) {
    struct Case {
        D3DFORMAT format;
        Bytes texel;
        Bytes rgba;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10, 0x40}},
        {D3DFMT_X8R8G8B8, {0x10, 0x20, 0x30, 0x00}, {0x30, 0x20, 0x10, 0xFF}},
        // 16 of 31 is 131.6, 32 of 63 is 129.5 in 8 bits: rounded.
        {D3DFMT_R5G6B5, {0x10, 0x84}, {132, 130, 132, 0xFF}},
        {D3DFMT_R5G6B5, {0x1F, 0xF8}, {0xFF, 0x00, 0xFF, 0xFF}},
        {D3DFMT_A1R5G5B5, {0x00, 0x7C}, {0xFF, 0x00, 0x00, 0x00}},
        {D3DFMT_A1R5G5B5, {0x1F, 0x80}, {0x00, 0x00, 0xFF, 0xFF}},
        {D3DFMT_X1R5G5B5, {0x00, 0x7C}, {0xFF, 0x00, 0x00, 0xFF}},
        {D3DFMT_A4R4G4B4, {0x34, 0x12}, {0x22, 0x33, 0x44, 0x11}},
        {D3DFMT_X4R4G4B4, {0x34, 0x12}, {0x22, 0x33, 0x44, 0xFF}},
        {D3DFMT_A8, {0x80}, {0x00, 0x00, 0x00, 0x80}},
        {D3DFMT_L8, {0x80}, {0x80, 0x80, 0x80, 0xFF}},
        {D3DFMT_A8L8, {0x40, 0xC0}, {0x40, 0x40, 0x40, 0xC0}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(ConvertsToRgba8(c.format));
        // Two texels: the second shows the stride is the format's.
        Bytes two = c.texel;
        two.insert(two.end(), c.texel.begin(), c.texel.end());
        const Bytes rgba = Convert(c.format, 2, 1, two);
        ASSERT_EQ(rgba.size(), 8u) << "format " << c.format;
        EXPECT_EQ(Texel(rgba, 0), c.rgba) << "format " << c.format;
        EXPECT_EQ(Texel(rgba, 1), c.rgba) << "format " << c.format;
    }
}

// Red and blue end points; texels 0 to 3 take indices 0 to 3, the rest 0.
const Bytes kRedBlueColors = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
const Bytes kBlueRedColors = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};

TEST(TexelRgba, Dxt1HasFourColoursOrThreeAndTransparentBlack) {
    const Bytes four = Convert(D3DFMT_DXT1, 4, 4, kRedBlueColors);
    EXPECT_EQ(Texel(four, 0), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(Texel(four, 1), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(Texel(four, 2), (Bytes{170, 0, 85, 255}));
    EXPECT_EQ(Texel(four, 3), (Bytes{85, 0, 170, 255}));
    EXPECT_EQ(Texel(four, 15), (Bytes{255, 0, 0, 255}));

    // The first end point not the larger: halfway, then transparent black.
    const Bytes three = Convert(D3DFMT_DXT1, 4, 4, kBlueRedColors);
    EXPECT_EQ(Texel(three, 0), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(Texel(three, 2), (Bytes{127, 0, 127, 255}));
    EXPECT_EQ(Texel(three, 3), (Bytes{0, 0, 0, 0}));
}

TEST(TexelRgba, Dxt3HasFourBitAlphaAndAlwaysFourColours) {
    Bytes block = {0x8F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0};
    block.insert(block.end(), kBlueRedColors.begin(), kBlueRedColors.end());
    for (D3DFORMAT format : {D3DFMT_DXT3, D3DFMT_DXT2}) {
        const Bytes rgba = Convert(format, 4, 4, block);
        EXPECT_EQ(Texel(rgba, 0), (Bytes{0, 0, 255, 255})) << format;
        EXPECT_EQ(Texel(rgba, 1), (Bytes{255, 0, 0, 136})) << format;
        EXPECT_EQ(Texel(rgba, 3), (Bytes{170, 0, 85, 0})) << format;
        EXPECT_EQ(Texel(rgba, 15), (Bytes{0, 0, 255, 255})) << format;
    }
}

TEST(TexelRgba, Dxt5AlphaHasEightStepsOrSixAndTheExtremes) {
    // Texels 0 to 3 take alpha indices 0, 1, 2 and 7.
    const Bytes indices = {0x88, 0x0E, 0x00, 0x00, 0x00, 0x00};
    struct Case {
        uint8_t a0, a1;
        Bytes alphas;
    };
    const Case cases[] = {{200, 100, {200, 100, 185, 114}}, {100, 200, {100, 200, 120, 255}}};
    for (D3DFORMAT format : {D3DFMT_DXT5, D3DFMT_DXT4}) {
        for (const Case& c : cases) {
            Bytes block = {c.a0, c.a1};
            block.insert(block.end(), indices.begin(), indices.end());
            block.insert(block.end(), kRedBlueColors.begin(), kRedBlueColors.end());
            const Bytes rgba = Convert(format, 4, 4, block);
            for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rgba[i * 4 + 3], c.alphas[i]) << format << " texel " << i;
            EXPECT_EQ(Texel(rgba, 2), (Bytes{170, 0, 85, c.alphas[2]}));
        }
    }
}

TEST(TexelRgba, LevelsSmallerThanABlockKeepItsTopLeftCorner) {
    // Texels 4 and 5 of the block (second row) take indices 1 and 2.
    const Bytes block = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x09, 0x00, 0x00};
    const Bytes rgba = Convert(D3DFMT_DXT1, 2, 2, block);
    ASSERT_EQ(rgba.size(), 16u);
    EXPECT_EQ(Texel(rgba, 0), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(Texel(rgba, 2), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(Texel(rgba, 3), (Bytes{170, 0, 85, 255}));
}

TEST(TexelRgba, ShortDataAndUnknownFormatsAreRefused) {
    Bytes rgba = {1, 2, 3};
    const Bytes block(8 * 4 - 1, 0);
    EXPECT_FALSE(ConvertToRgba8(D3DFMT_DXT1, 8, 8, block.data(), block.size(), rgba)) << "four blocks needed";
    EXPECT_TRUE(rgba.empty());
    EXPECT_FALSE(ConvertToRgba8(D3DFMT_A8R8G8B8, 3, 3, block.data(), 35, rgba));
    EXPECT_FALSE(ConvertsToRgba8(D3DFMT_R3G3B2));
    EXPECT_FALSE(ConvertToRgba8(D3DFMT_R3G3B2, 1, 1, block.data(), block.size(), rgba));
    EXPECT_TRUE(rgba.empty());
}

}  // namespace
