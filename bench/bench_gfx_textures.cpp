// Textures and text: decoding image files, making textures of them (resampling,
// format conversion, mip levels) on the recording device, and drawing lines of
// text through the engine (engine work plus recording of each batch).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "d3d8_recording.h"
#include "image.h"
#include "system_headless.h"
#include "window_headless.h"

namespace {

image::Image Noise(uint32_t width, uint32_t height) {
    image::Image result;
    result.width = width;
    result.height = height;
    uint32_t state = 12345;
    for (uint32_t i = 0; i < width * height; ++i) {
        state = state * 1103515245u + 12345u;
        // Smooth areas with some noise, as pictures have.
        const uint32_t x = i % width, y = i / width;
        result.pixels.push_back(0xFF000000u | (((x + (state >> 28)) & 0xFF) << 16) | ((y & 0xFF) << 8) |
                                ((x * y) >> 6 & 0xFF));
    }
    return result;
}

const std::vector<uint8_t>& Png256() {
    static const std::vector<uint8_t> bytes = image::EncodePng(Noise(256, 256));
    return bytes;
}

const std::vector<uint8_t>& Jpeg800x600() {
    static const std::vector<uint8_t> bytes = image::EncodeJpeg(Noise(800, 600), 90);
    return bytes;
}

void BM_DecodePng256(benchmark::State& state) {
    for (auto _ : state) {
        image::Image decoded;
        std::string error;
        benchmark::DoNotOptimize(image::DecodeImage(Png256().data(), Png256().size(), decoded, error));
    }
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}
BENCHMARK(BM_DecodePng256)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg800x600(benchmark::State& state) {
    for (auto _ : state) {
        image::Image decoded;
        std::string error;
        benchmark::DoNotOptimize(image::DecodeImage(Jpeg800x600().data(), Jpeg800x600().size(), decoded, error));
    }
    state.SetItemsProcessed(state.iterations() * 800 * 600);
}
BENCHMARK(BM_DecodeJpeg800x600)->Unit(benchmark::kMillisecond);

// The engine with its graphics on the recording device, mode 2 of the
// typical card (TextureFormat01 R5G6B5, 03 A8R8G8B8).
struct RecordingEngine {
    RecordingEngine() {
        platform::InstallHeadlessSystem();
        platform::InstallHeadlessWindowSystem();
        control = vd3d::InstallRecordingDirect3D();
        engine = std::make_unique<CVelmor>();
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
    }
    ~RecordingEngine() {
        engine.reset();
        vd3d::SetDirect3DFactory(nullptr);
        platform::SetWindowSystem(nullptr);
        platform::SetSystem(nullptr);
    }
    std::shared_ptr<vd3d::RecordingControl> control;
    std::unique_ptr<CVelmor> engine;
};

// Load and unload of one texture; range(0) is the format index, range(1) the
// edge, range(2) the mip levels; range(3) 0 for the PNG, 1 for the JPEG.
void BM_TextureLoad(benchmark::State& state) {
    RecordingEngine r;
    const std::vector<uint8_t>& bytes = state.range(3) ? Jpeg800x600() : Png256();
    for (auto _ : state) {
        const int32_t id = r.engine->LoadTextureFromMemory(
            bytes.data(), static_cast<int32_t>(bytes.size()), static_cast<int32_t>(state.range(0)), "TEX_BENCH",
            static_cast<int32_t>(state.range(2)), 0, static_cast<int32_t>(state.range(1)));
        r.engine->UnloadTexture(id);
    }
}
BENCHMARK(BM_TextureLoad)
    ->Args({3, 0, 1, 0})
    ->Args({3, 0, 9, 0})
    ->Args({1, 0, 9, 0})
    ->Args({3, 1024, 1, 1})
    ->Args({1, 512, 10, 1})
    ->Unit(benchmark::kMillisecond);

// 20 lines of 50 characters per iteration.
void BM_DrawText1000Chars(benchmark::State& state) {
    RecordingEngine r;
    const std::vector<uint8_t> png = image::EncodePng(Noise(256, 256));
    r.engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, "TEX_BENCH_FONT", 1, 0, 0);
    const std::string pack = "<techniquespack><t id=\"TEQ_BENCH\" alphablending=\"ON\" absrc=\"SRCALPHA\" "
                             "abdest=\"INVSRCALPHA\"/></techniquespack>";
    r.engine->LoadTechniquesPack(pack.data(), static_cast<int32_t>(pack.size()));
    std::string font = "<fontdesc id=\"FNT_BENCH\" textureid=\"TEX_BENCH_FONT\" techniqueid=\"TEQ_BENCH\" "
                       "techpackid=\"PACK\" cellsize=\"16\" color0r=\"1\"";
    for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + "=\"9.5\"";
    font += "/>";
    r.engine->LoadFontFromMemory(font.data(), static_cast<int32_t>(font.size()));
    const std::string line = "The quick brown fox jumps over the lazy dog 123456";
    auto* device = vd3d::RecordingDevice::Of(r.engine->m_pD3DDevice);
    for (auto _ : state) {
        r.engine->SceneBegin();
        for (int i = 0; i < 20; ++i) r.engine->DrawText(line.c_str(), 10, 10.0f + 20.0f * i, 0, 0, 1.0f);
        r.engine->SceneEnd();
        device->ClearRecords();
    }
    state.SetItemsProcessed(state.iterations() * 20 * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_DrawText1000Chars)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
