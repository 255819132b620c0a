// One frame drawn with every technique of the game's, the GUI gallery's and
// the runner demo's data must come out as the stored reference picture, in
// the front buffer and in the window: a change to the renderer that alters
// a pixel by more than one step of a channel fails here.
//
// After a deliberate change of the picture, run the test with
// VELMOR_WRITE_REFERENCE=1 to store the new reference (and look at it).
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "d3d8_gl.h"
#include "gl_fixtures.h"
#include "image.h"

namespace {

const char* const kReferencePath = VELMOR_SOURCE_DIR "/tests/gl/reference/techniques.png";
const char* const kTechniquePacks[] = {"DATA/art/techniques.xml", "tools/gui-gallery/DATA/art/techniques.xml",
                                       "tools/runner-demo/DATA/art/techniques.xml"};
const char* const kTechniques[] = {"TEQ_STD2",      "TEQ_GUI",       "TEQ_GUI_WRAP",   "TEQ_FONT",
                                   "TEQ_GAL_BLEND", "TEQ_GAL_TEXT", "TEQ_DEMO_BLEND", "TEQ_DEMO_TEXT"};
constexpr int kCell = 28;
constexpr int kCropWidth = kCell * 8, kCropHeight = kCell * 3;

std::string ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(VELMOR_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 16x16 texels: colour ramps across, alpha falling down, a dark checker so
// filtering and mip levels show.
image::Image Texture() {
    image::Image result;
    result.width = result.height = 16;
    for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
            const uint32_t checker = ((x / 2 + y / 2) % 2) ? 0x40 : 0;
            const uint32_t alpha = 255 - y * 12, red = x * 16 + 8 - checker / 4, green = y * 15, blue = 200 - checker;
            result.pixels.push_back(alpha << 24 | red << 16 | green << 8 | blue);
        }
    }
    return result;
}

class TechniqueReferenceTest : public gltest::GlEngineTest {
protected:
    // Per technique one column: the texture 1:1 half a pixel off the grid,
    // shrunk to a third with coordinates from -0.5 to 1.5 (wrapping or
    // clamping, mip levels), and enlarged three times; the corners' colours
    // and alphas differ.
    void DrawColumn(int column, const char* technique, int32_t texture) {
        engine->SetTexture(texture, 0);
        engine->ApplyTechnique(std::string(technique));
        const float x = static_cast<float>(column * kCell) + 2.5f;
        engine->VQuadSetColorByVertex(0, 1.0f, 1.0f, 1.0f, 1.0f);
        engine->VQuadSetColorByVertex(1, 1.0f, 0.5f, 0.25f, 0.75f);
        engine->VQuadSetColorByVertex(2, 0.25f, 1.0f, 0.5f, 0.5f);
        engine->VQuadSetColorByVertex(3, 0.5f, 0.25f, 1.0f, 1.0f);
        engine->VQuadSetPos(x, 2.5f, 16, 16, 0.5f);
        engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
        engine->SceneRender();
        engine->VQuadSetPos(x - 0.5f, kCell + 2, 24, 24, 0.5f);
        engine->VQuadSetTexCoords(1, -0.5f, -0.5f, 1.5f, 1.5f);
        engine->SceneRender();
        engine->VQuadSetPos(x - 0.5f, 2 * kCell + 1, 26, 26, 0.5f);
        engine->VQuadSetTexCoords(1, 0.25f, 0.25f, 0.75f, 0.75f);
        engine->SceneRender();
    }

    static image::Image Crop(const std::vector<uint32_t>& pixels, int width) {
        image::Image crop;
        crop.width = kCropWidth;
        crop.height = kCropHeight;
        for (int y = 0; y < kCropHeight; ++y)
            for (int x = 0; x < kCropWidth; ++x) crop.pixels.push_back(0xFF000000u | pixels[y * width + x]);
        return crop;
    }

    // The largest difference of one channel, and where.
    static int Compare(const image::Image& want, const image::Image& got, std::string& where) {
        int worst = 0;
        for (size_t i = 0; i < want.pixels.size(); ++i) {
            for (int shift : {16, 8, 0}) {
                const int d = std::abs(static_cast<int>((want.pixels[i] >> shift) & 0xFF) -
                                       static_cast<int>((got.pixels[i] >> shift) & 0xFF));
                if (d > worst) {
                    worst = d;
                    where = std::to_string(i % kCropWidth) + "," + std::to_string(i / kCropWidth);
                }
            }
        }
        return worst;
    }
};

TEST_F(TechniqueReferenceTest, EveryTechniqueOfTheDataDrawsTheReferencePicture) {
    StartEngine();
    for (const char* pack : kTechniquePacks) {
        const std::string bytes = ReadSourceFile(pack);
        ASSERT_FALSE(bytes.empty()) << pack;
        engine->LoadTechniquesPack(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    const std::vector<uint8_t> png = image::EncodePng(Texture());
    // Format 3 (A8R8G8B8), every mip level.
    const int32_t texture =
        engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, "TEX_GL_REF", 8, 0, 0);
    ASSERT_GE(texture, 0);

    vd3d::WindowCapture shown;
    // Twice: the second frame is drawn over what the first left behind.
    for (int frame = 0; frame < 2; ++frame) {
        if (frame == 1) {
            ASSERT_TRUE(vd3d::CaptureNextPresent(engine->m_pD3DDevice, &shown));
        }
        Frame(0.2f, 0.3f, 0.4f, [&] {
            for (int column = 0; column < 8; ++column) DrawColumn(column, kTechniques[column], texture);
        });
    }
    const image::Image front = Crop(gltest::FrontBuffer(engine->m_pD3DDevice), 800);
    ASSERT_EQ(shown.width, 800);
    ASSERT_EQ(shown.height, 600);
    const image::Image window = Crop(shown.pixels, shown.width);

    if (std::getenv("VELMOR_WRITE_REFERENCE")) {
        const std::vector<uint8_t> bytes = image::EncodePng(front);
        std::ofstream(kReferencePath, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              static_cast<std::streamsize>(bytes.size()));
    }
    const std::string stored = testsupport::ReadFile(kReferencePath);
    image::Image reference;
    std::string error;
    ASSERT_TRUE(image::DecodePng(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), reference, error))
        << kReferencePath << ": " << error;
    ASSERT_EQ(reference.width, static_cast<uint32_t>(kCropWidth));
    ASSERT_EQ(reference.height, static_cast<uint32_t>(kCropHeight));
    std::string where;
    EXPECT_LE(Compare(reference, front, where), 1) << "front buffer at " << where;
    EXPECT_LE(Compare(reference, window, where), 1) << "window at " << where;
}

}  // namespace
