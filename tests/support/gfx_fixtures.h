// Helpers for tests of textures, techniques, lights, the scene and fonts: an
// engine whose graphics run on the recording device (800x600, 32-bit mode 2
// of the typical card), images encoded in memory, and what the device
// recorded.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "d3d8_device.h"
#include "image.h"
#include "test_support.h"

namespace gfxtest {

using testsupport::Raised;

inline image::Image Solid(uint32_t width, uint32_t height, uint32_t argb) {
    image::Image result;
    result.width = width;
    result.height = height;
    result.pixels.assign(static_cast<size_t>(width) * height, argb);
    return result;
}

inline std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
inline std::string Png(const image::Image& image) { return Text(image::EncodePng(image)); }

// The recorded draw's vertices.
inline std::vector<V2DVERTEX> Vertices(const vd3d::RecordedDraw& draw) {
    std::vector<V2DVERTEX> vertices(draw.vertices.size() / sizeof(V2DVERTEX));
    std::memcpy(vertices.data(), draw.vertices.data(), vertices.size() * sizeof(V2DVERTEX));
    return vertices;
}

class GfxEngineTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine = std::make_unique<CVelmor>();
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }

    vd3d::RecordingDevice& Device() { return *vd3d::RecordingDevice::Of(engine->m_pD3DDevice); }

    // Format index 3 is A8R8G8B8 in mode 2, so texels keep every bit.
    int32_t LoadTexture(const std::string& id, const std::string& bytes, int32_t format = 3, int32_t mips = 1,
                        int32_t edge = 0) {
        return engine->LoadTextureFromMemory(bytes.data(), static_cast<int32_t>(bytes.size()), format, id.c_str(),
                                             mips, 0, edge);
    }
    vd3d::Texture& TextureObject(int32_t iID) {
        return *dynamic_cast<vd3d::Texture*>(engine->m_gfx.pTextures->GetItem(iID));
    }
    // Texels of one level as 32-bit words (16-bit formats fill the low half).
    std::vector<uint32_t> Texels(int32_t iID, uint32_t level = 0) {
        const vd3d::PixelLevel& pixels = TextureObject(iID).Levels().at(level);
        const uint32_t bytesPerTexel = pixels.width ? (pixels.pitch / pixels.width) : 0;
        std::vector<uint32_t> texels;
        for (uint32_t y = 0; y < pixels.height; ++y)
            for (uint32_t x = 0; x < pixels.width; ++x) {
                uint32_t texel = 0;
                std::memcpy(&texel, &pixels.bytes[y * pixels.pitch + x * bytesPerTexel], bytesPerTexel);
                texels.push_back(texel);
            }
        return texels;
    }

    void LoadTechniques(const std::string& xml) {
        engine->LoadTechniquesPack(xml.data(), static_cast<int32_t>(xml.size()));
    }

    // A 10x10 white quad at (x, y) through the scene's render operation.
    void QueueQuad(float x, float y) {
        engine->VQuadSetPos(x, y, 10, 10, 0.5f);
        engine->VQuadSetColor(1, 1, 1, 1);
        engine->VQuadSetTexCoords(1, 0, 0, 1, 1);
        engine->SceneRender();
    }


    bool LogHas(const std::string& line) {
        const std::vector<std::string> lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Whether `expected` appears in the log as consecutive lines.
    bool LogHasRun(const std::vector<std::string>& expected) {
        const std::vector<std::string> lines = LogLines();
        return std::search(lines.begin(), lines.end(), expected.begin(), expected.end()) != lines.end();
    }

    std::unique_ptr<CVelmor> engine;
};

}  // namespace gfxtest
