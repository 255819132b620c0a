// Textures on the recording device: sizes, formats and mip levels of the
// texels created from image files, loading and unloading by name and ID with
// the identifier registry, the texture stages and their flush rule, loading
// through the resource subsystem, and damaged images.
#include <filesystem>

#include "cvelmor_utils_csmartid.h"
#include "d3dx8.h"
#include "gfx_fixtures.h"

using namespace gfxtest;
using namespace vd3d;

namespace {

class TextureTest : public GfxEngineTest {};

// Four solid quadrants of size half x half: red, green / blue, white.
image::Image Quadrants(uint32_t half) {
    const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    image::Image result = Solid(half * 2, half * 2, 0);
    for (uint32_t y = 0; y < half * 2; ++y)
        for (uint32_t x = 0; x < half * 2; ++x) result.pixels[y * half * 2 + x] = colours[(y / half) * 2 + x / half];
    return result;
}

TEST_F(TextureTest, ImageSizeRoundsUpToPowersOfTwoAndTheImageFillsTheTexture) {
    image::Image source = Solid(5, 3, 0xFF101010u);
    source.pixels[0] = 0xFFFF0000u;   // top left
    source.pixels[14] = 0x8000FF00u;  // bottom right
    const int32_t id = LoadTexture("TEX_UT_A", Png(source));
    const Texture& texture = TextureObject(id);
    EXPECT_EQ(texture.Format(), D3DFMT_A8R8G8B8);
    ASSERT_EQ(texture.Levels().size(), 1u);
    EXPECT_EQ(texture.Levels()[0].width, 8u);
    EXPECT_EQ(texture.Levels()[0].height, 4u);
    const std::vector<uint32_t> texels = Texels(id);
    EXPECT_EQ(texels.front(), 0xFFFF0000u);
    EXPECT_EQ(texels.back(), 0x8000FF00u);
}

TEST_F(TextureTest, EdgeScalesTheImageIntoASquare) {
    const int32_t id = LoadTexture("TEX_UT_A", Png(Quadrants(4)), 3, 1, 2);
    EXPECT_EQ(Texels(id), (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}));
}

TEST_F(TextureTest, TexelsAreWrittenInEachFormatOfTheCascades) {
    struct Case {
        D3DFORMAT format;
        uint32_t opaqueTexel;  // from 0xFFFF8000
        uint32_t halfTexel;    // from 0x7FFF8000
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, 0xFFFF8000u, 0x7FFF8000u}, {D3DFMT_X8R8G8B8, 0xFFFF8000u, 0xFFFF8000u},
        {D3DFMT_R5G6B5, 0xFC00u, 0xFC00u},           {D3DFMT_X1R5G5B5, 0xFE00u, 0xFE00u},
        {D3DFMT_A1R5G5B5, 0xFE00u, 0x7E00u},         {D3DFMT_A4R4G4B4, 0xFF80u, 0x7F80u},
    };
    int n = 0;
    for (const Case& c : cases) {
        engine->m_gfx.caps.Mode2.TextureFormat01 = c.format;
        const int32_t opaque = LoadTexture("TEX_UT_O" + std::to_string(n), Png(Solid(1, 1, 0xFFFF8000u)), 1);
        const int32_t half = LoadTexture("TEX_UT_H" + std::to_string(n), Png(Solid(1, 1, 0x7FFF8000u)), 1);
        ++n;
        EXPECT_EQ(TextureObject(opaque).Format(), c.format);
        EXPECT_EQ(Texels(opaque), std::vector<uint32_t>{c.opaqueTexel}) << c.format;
        EXPECT_EQ(Texels(half), std::vector<uint32_t>{c.halfTexel}) << c.format;
    }
}

TEST_F(TextureTest, FormatIndexPicksTheModesTextureFormatAndOthersTakeTheFirst) {
    const V2DDISPLAYMODE& mode = engine->m_gfx.caps.Mode2;
    const std::string png = Png(Solid(2, 2, 0xFF808080u));
    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_0", png, 0)).Format(), mode.TextureFormat01);
    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_2", png, 2)).Format(), mode.TextureFormat02);
    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_4", png, 4)).Format(), mode.TextureFormat04);
    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_5", png, 5)).Format(), mode.TextureFormat01);
    EXPECT_EQ(mode.TextureFormat01, D3DFMT_R5G6B5);
    EXPECT_EQ(mode.TextureFormat02, D3DFMT_A4R4G4B4);
}

TEST_F(TextureTest, MipLevelsAreBoxFilteredHalvesWhenTheCardHasThem) {
    const int32_t id = LoadTexture("TEX_UT_A", Png(Quadrants(2)), 3, 3);
    ASSERT_EQ(TextureObject(id).Levels().size(), 3u);
    EXPECT_EQ(Texels(id, 1), (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}));
    EXPECT_EQ(Texels(id, 2), std::vector<uint32_t>{0xFF808080u});

    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_B", Png(Quadrants(2)), 3, 0)).Levels().size(), 1u);
    engine->m_gfx.caps.MipMapping = false;
    EXPECT_EQ(TextureObject(LoadTexture("TEX_UT_C", Png(Quadrants(2)), 3, 3)).Levels().size(), 1u);
}

TEST_F(TextureTest, EdgeAboveTheCardsMaximumIsLowered) {
    engine->m_gfx.caps.MaxTextureWidth = 16;
    const int32_t id = LoadTexture("TEX_UT_A", Png(Solid(4, 4, 0xFF000000u)), 3, 1, 64);
    EXPECT_EQ(TextureObject(id).Levels()[0].width, 16u);
    EXPECT_EQ(TextureObject(id).Levels()[0].height, 16u);
}

TEST_F(TextureTest, EveryImageTypeMakesATexture) {
    const image::Image source = Solid(4, 4, 0xFF3060C0u);
    const std::string jpeg = Text(image::EncodeJpeg(source, 95));
    std::string bmp(54, '\0');
    bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 1, bmp[22] = 1, bmp[26] = 1, bmp[28] = 24;
    bmp += std::string("\xC0\x60\x30\x00", 4);
    std::string dds(128, '\0');
    dds.replace(0, 4, "DDS ");
    dds[4] = 124, dds[12] = 4, dds[16] = 4, dds[76] = 32, dds[80] = 4;
    dds.replace(84, 4, "DXT1");
    dds += std::string("\x00\xF8\x00\x00\x00\x00\x00\x00", 8);  // one red block

    EXPECT_EQ(Texels(LoadTexture("TEX_UT_BMP", bmp)), std::vector<uint32_t>{0xFF3060C0u});
    EXPECT_EQ(Texels(LoadTexture("TEX_UT_DDS", dds)), std::vector<uint32_t>(16, 0xFFFF0000u));
    const std::vector<uint32_t> jpegTexels = Texels(LoadTexture("TEX_UT_JPG", jpeg));
    ASSERT_EQ(jpegTexels.size(), 16u);
    for (int shift : {0, 8, 16})
        EXPECT_NEAR(int((jpegTexels[5] >> shift) & 0xFF), int((0xFF3060C0u >> shift) & 0xFF), 4);
}

TEST_F(TextureTest, LoadingAnIDAgainReturnsTheFirstTextureAndDecodesNothing) {
    const int32_t first = LoadTexture("TEX_UT_A", Png(Solid(2, 2, 0xFF000000u)));
    const int creates = Device().CountCalls("CreateTexture");
    EXPECT_EQ(LoadTexture("TEX_UT_A", "not an image at all"), first);
    EXPECT_EQ(Device().CountCalls("CreateTexture"), creates);
}

TEST_F(TextureTest, LoadLogsAndBindsTheIdentifier) {
    CSmartID logo("TEX_UT_LOGO");
    LoadTexture("TEX_UT_OTHER", Png(Solid(1, 1, 0xFF000000u)));
    const int32_t id = LoadTexture("TEX_UT_LOGO", Png(Solid(1, 1, 0xFF000000u)));
    EXPECT_EQ(id, 1);
    EXPECT_EQ(logo.GetID(), 1);
    EXPECT_TRUE(LogHasRun({"", "   =: Loading texture from memory. ID = TEX_UT_LOGO", "   =: Done.", ""}));
    EXPECT_EQ(engine->GetTextureID("TEX_UT_LOGO"), 1);
    EXPECT_EQ(engine->GetTextureID("TEX_UT_NONE"), -1);
    EXPECT_TRUE(LogHas(" !: Cannot find iID of texture with strID = TEX_UT_NONE"));
}

TEST_F(TextureTest, UnloadByNameOrIDFreesTheSlotForTheNextLoad) {
    CSmartID a("TEX_UT_A");
    const std::string png = Png(Solid(1, 1, 0xFF000000u));
    LoadTexture("TEX_UT_A", png);
    LoadTexture("TEX_UT_B", png);
    engine->UnloadTexture(std::string("TEX_UT_A"));
    EXPECT_TRUE(LogHasRun({"", "   =: Unloading texture, strID = TEX_UT_A", "   +: Done."}));
    EXPECT_EQ(a.GetID(), -1);
    EXPECT_EQ(LoadTexture("TEX_UT_C", png), 0);

    engine->UnloadTexture(std::string("TEX_UT_A"));
    EXPECT_TRUE(LogHasRun({"   =: Unloading texture, strID = TEX_UT_A", " !: Failed."}));

    engine->UnloadTexture(1);
    EXPECT_TRUE(LogHasRun({"", "   =: Unloading texture, iID = 1", "   +: Done."}));
    EXPECT_EQ(engine->m_gfx.pTextures->FindByName("TEX_UT_B"), -1);
    engine->UnloadTexture(7);
    EXPECT_TRUE(LogHasRun({"   =: Unloading texture, iID = 7", " !: Failed."}));
    EXPECT_EQ(LoadTexture("TEX_UT_D", png), 1);
}

TEST_F(TextureTest, UnloadByIDUnbindsTheIdentifier) {
    CSmartID b("TEX_UT_B");
    LoadTexture("TEX_UT_B", Png(Solid(1, 1, 0xFF000000u)));
    EXPECT_EQ(b.GetID(), 0);
    engine->UnloadTexture(0);
    EXPECT_EQ(b.GetID(), -1);
}

TEST_F(TextureTest, DamagedImagesEndInCannotCreateTextureObject) {
    const std::string png = Png(Solid(8, 8, 0xFF102030u));
    const std::string jpeg = Text(image::EncodeJpeg(Solid(16, 16, 0xFF102030u), 90));
    std::string bmp(54, '\0');
    bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 100, bmp[22] = 100, bmp[26] = 1, bmp[28] = 24;
    std::string dds(128, '\0');
    dds.replace(0, 4, "DDS ");
    dds[4] = 124, dds[13] = 4, dds[17] = 4, dds[76] = 32, dds[80] = 4;  // 1024x1024 DXT1, no blocks
    dds.replace(84, 4, "DXT1");
    // A 1x1 run-length bitmap whose first run covers nine pixels.
    std::string rle(58, '\0');
    rle[0] = 'B', rle[1] = 'M', rle[10] = 58, rle[14] = 40, rle[18] = 1, rle[22] = 1, rle[26] = 1, rle[28] = 8;
    rle[30] = 1, rle[46] = 1;
    rle += std::string("\x09\x00\x00\x01", 4);
    std::string huge = png;
    huge[16] = huge[20] = 0x7F;  // the header claims a size of billions (its checksum no longer matches)
    const std::string damaged[] = {png.substr(0, png.size() / 2), jpeg.substr(0, jpeg.size() - 40), bmp, rle, dds, huge,
                                   "plain text", std::string(1, '\0')};
    int n = 0;
    for (const std::string& bytes : damaged) {
        const CEHSException e = Raised([&] { LoadTexture("TEX_UT_BAD" + std::to_string(n++), bytes); });
        EXPECT_EQ(e.GetDesc(), "Cannot create texture object!");
        EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GENERAL));
        EXPECT_EQ(e.GetCode(), 0u);
        EXPECT_EQ(e.GetFile(), "cvelmor_gfx_tex");
    }
    EXPECT_EQ(engine->m_gfx.pTextures->GetCount(), 0);
    engine->GfxDeinit();
    EXPECT_FALSE(LogHas(" !!!: pD3Device references left!"));
}

TEST_F(TextureTest, LoadWithoutDeviceIsFatal) {
    engine->GfxDeinit();
    const CEHSException e = Raised([&] { LoadTexture("TEX_UT_A", Png(Solid(1, 1, 0xFF000000u))); });
    EXPECT_EQ(e.GetDesc(), "D3DDevice object was not created!");
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_tex");
}

TEST_F(TextureTest, SettingTheCurrentTextureAgainQueuesNoFlush) {
    const std::string png = Png(Solid(1, 1, 0xFF000000u));
    const int32_t a = LoadTexture("TEX_UT_A", png), b = LoadTexture("TEX_UT_B", png);
    engine->SceneBegin();
    engine->SetTexture(a, 0);
    QueueQuad(0, 0);
    engine->SetTexture(a, 0);
    QueueQuad(20, 0);
    EXPECT_TRUE(Device().draws.empty());
    engine->SetTexture(b, 0);
    ASSERT_EQ(Device().draws.size(), 1u);
    EXPECT_EQ(Device().draws[0].call.primCount, 4u);
    EXPECT_EQ(Device().draws[0].textures[0], engine->m_gfx.pTextures->GetItem(a));
    QueueQuad(40, 0);
    engine->SceneEnd();
    ASSERT_EQ(Device().draws.size(), 2u);
    EXPECT_EQ(Device().draws[1].textures[0], engine->m_gfx.pTextures->GetItem(b));
}

TEST_F(TextureTest, SetTextureByNameAndByIdentifier) {
    const std::string png = Png(Solid(1, 1, 0xFF000000u));
    LoadTexture("TEX_UT_A", png);
    const int32_t b = LoadTexture("TEX_UT_B", png);
    engine->SetTexture(std::string("TEX_UT_B"), 1);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[1], b);
    EXPECT_EQ(Device().State().textures[1], engine->m_gfx.pTextures->GetItem(b));

    CSmartID a("TEX_UT_A");
    CSmartID::BindByName("TEX_UT_A", 0);
    engine->SetTexture(a, 1);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[1], 0);

    // A missing name gives -1: nothing to do on a stage without texture, an
    // error on one with a texture.
    engine->SetTexture(std::string("TEX_UT_NONE"), 2);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[2], -1);
    const CEHSException e = Raised([&] { engine->SetTexture(std::string("TEX_UT_NONE"), 1); });
    EXPECT_EQ(e.GetDesc(), "Cannot set texture - invalid ID!");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GENERAL));
    EXPECT_FALSE(LogHas(" !: Cannot find iID of texture with strID = TEX_UT_NONE")) << "the error says it all";
    EXPECT_EQ(Raised([&] { engine->SetTexture(9, 0); }).GetDesc(), "Cannot set texture - invalid ID!");
    EXPECT_EQ(Raised([&] { engine->SetTexture(0, 8); }).GetDesc(), "Invalid texture stage! Stage = 8");
}

TEST_F(TextureTest, SetNoTextureDrawsTheQueueAndUnbinds) {
    const int32_t a = LoadTexture("TEX_UT_A", Png(Solid(1, 1, 0xFF000000u)));
    engine->SceneBegin();
    engine->SetTexture(a, 0);
    QueueQuad(0, 0);
    engine->SetNoTexture(0);
    ASSERT_EQ(Device().draws.size(), 1u);
    EXPECT_NE(Device().draws[0].textures[0], nullptr);
    EXPECT_EQ(Device().State().textures[0], nullptr);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[0], -1);
    engine->SceneEnd();
}

TEST_F(TextureTest, UnloadingABoundTextureClearsItsStageSoTheSlotsNextTextureBinds) {
    const std::string png = Png(Solid(1, 1, 0xFF000000u));
    const int32_t a = LoadTexture("TEX_UT_A", png);
    engine->SceneBegin();
    engine->SetTexture(a, 0);
    QueueQuad(0, 0);
    engine->UnloadTexture(std::string("TEX_UT_A"));
    ASSERT_EQ(Device().draws.size(), 1u);  // drawn while its texture still existed
    EXPECT_EQ(Device().State().textures[0], nullptr);
    const int32_t c = LoadTexture("TEX_UT_C", png);
    ASSERT_EQ(c, a);
    engine->SetTexture(c, 0);
    EXPECT_EQ(Device().State().textures[0], engine->m_gfx.pTextures->GetItem(c));
    engine->SceneEnd();
}

TEST_F(TextureTest, TexturesLoadThroughTheResourceSubsystemAndOnDemand) {
    std::filesystem::create_directories("DATA/tex");
    testsupport::WriteFile("DATA/tex/a.png", Png(Quadrants(4)));
    testsupport::WriteFile("DATA/tex/b.png", Png(Solid(2, 2, 0xFF000000u)));
    testsupport::WriteFile("DATA/res.xml",
                           "<respack>"
                           "<r id=\"TEX_UT_A\" typeid=\"TEXTURE\" filename=\"tex/a.png\" tag=\"3\" data1=\"2\" "
                           "data2=\"2\" data3=\"4\"/>"
                           "<r id=\"TEX_UT_B\" typeid=\"TEXTURE\" filename=\"tex/b.png\" tag=\"4\"/>"
                           "</respack>");
    engine->ResourcesInit();
    engine->LoadResources(3);
    const int32_t a = engine->m_gfx.pTextures->FindByName("TEX_UT_A");
    ASSERT_GE(a, 0);
    EXPECT_EQ(engine->m_gfx.pTextures->GetTag(a), 3);
    EXPECT_EQ(TextureObject(a).Format(), D3DFMT_A4R4G4B4);
    EXPECT_EQ(TextureObject(a).Levels().size(), 2u);
    EXPECT_EQ(TextureObject(a).Levels()[0].width, 4u);

    EXPECT_EQ(DemandTexture("TEX_UT_A"), a);
    const int32_t b = DemandTexture("TEX_UT_B");
    EXPECT_EQ(engine->m_gfx.pTextures->GetName(b), "TEX_UT_B");
    const CEHSException e = Raised([] { DemandTexture("TEX_UT_NONE"); });
    EXPECT_EQ(e.GetDesc(), "Invalid texture demand. ID = TEX_UT_NONE");
    engine->ResourcesDeinit();
}

TEST(TextureCall, ArgumentsTheCallCannotServeFailWithoutATexture) {
    // No device at all: refused before any decoding.
    IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(1);
    const std::string png = Png(Solid(1, 1, 0xFF000000u));
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(nullptr, png.data(), uint32_t(png.size()), 0, 0, 1, 0,
                                                  D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_BOX, 0,
                                                  nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    D3DXVECTOR3 v = {3, 0, 4}, n;
    D3DXVec3Normalize(&n, &v);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
}

TEST_F(TextureTest, TheCallReportsTheImageItRead) {
    D3DXIMAGE_INFO info;
    IDirect3DTexture8* texture = nullptr;
    const std::string jpeg = Text(image::EncodeJpeg(Solid(12, 5, 0xFF000000u), 80));
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(engine->m_pD3DDevice, jpeg.data(), uint32_t(jpeg.size()), 0, 0, 0,
                                                  0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_BOX, 0,
                                                  &info, nullptr, &texture),
              D3D_OK);
    EXPECT_EQ(info.Width, 12u);
    EXPECT_EQ(info.Height, 5u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(texture->GetLevelCount(), 5u);  // 16x8 down to 1x1
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(engine->m_pD3DDevice, jpeg.data(), uint32_t(jpeg.size()), 0, 0, 0,
                                                  0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_BOX,
                                                  0xFF000000u, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
}

}  // namespace
