#include "audio_resampler.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

// The loops below are built three times on x86-64: for the baseline, for
// AVX2/FMA machines and for AVX-512 ones (the same code runs some 15%
// faster there, with twice the registers); the loader picks one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
// Resampling is written for a vector width, so it has builds of its own,
// chosen at run time: four taps at a time on the baseline, eight with AVX2,
// sixteen with AVX-512.
#define MACHINE_BUILDS 1
#define AVX2_TARGET __attribute__((target("arch=x86-64-v3")))
#define AVX512_TARGET __attribute__((target("arch=x86-64-v4")))
#else
#define VECTOR_CLONES
#define MACHINE_BUILDS 0
#endif
// Helpers of the cloned loops: compiled into each clone.
#define INLINE_IN_CLONES inline __attribute__((always_inline))

namespace platform {
namespace audio {

namespace {

// Rows per source frame. Coefficients are interpolated between rows, so a
// few suffice (the error stays some 50 dB under the kernel's stop band),
// and small tables stay in the cache while many voices at many rates mix.
constexpr uint32_t PHASES = 32;
// Stretch levels 2^(level / 16), up to a stretch of 8.
constexpr int LEVELS_PER_OCTAVE = 16;
constexpr int LEVEL_COUNT = 3 * LEVELS_PER_OCTAVE + 1;
// Kaiser window shape: about 65 dB of stop band.
constexpr double KAISER_BETA = 6.5;
constexpr uint32_t LANES = 8;

// Modified Bessel function of the first kind, order 0.
double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double quarter = x * x / 4.0;
    for (int k = 1; k < 64 && term > sum * 1e-12; ++k) {
        term *= quarter / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// A sinc whose zero crossings are `stretch` source frames apart, windowed
// over `reach` frames either side and scaled to unit gain at 0 Hz.
std::vector<float> MakeRows(double stretch, uint32_t taps) {
    const double reach = taps / 2.0;
    const double behind = taps / 2.0 - 1.0;
    const double windowNorm = BesselI0(KAISER_BETA);
    std::vector<double> row(taps);
    std::vector<float> rows(static_cast<size_t>(PHASES + 1) * 2 * taps);
    for (uint32_t p = 0; p <= PHASES; ++p) {
        double sum = 0.0;
        for (uint32_t k = 0; k < taps; ++k) {
            const double d = static_cast<double>(p) / PHASES + behind - k;  // distance from the position
            const double ratio = d / reach;
            double h = 0.0;
            if (std::fabs(ratio) < 1.0) {
                const double x = M_PI * d / stretch;
                const double sinc = x == 0.0 ? 1.0 : std::sin(x) / x;
                h = sinc * BesselI0(KAISER_BETA * std::sqrt(1.0 - ratio * ratio)) / windowNorm;
            }
            row[k] = h;
            sum += h;
        }
        float* out = &rows[static_cast<size_t>(p) * 2 * taps];
        for (uint32_t k = 0; k < taps; ++k) out[k] = static_cast<float>(row[k] / sum);
    }
    for (uint32_t p = 0; p < PHASES; ++p) {
        float* out = &rows[static_cast<size_t>(p) * 2 * taps];
        const float* next = out + 2 * taps;
        for (uint32_t k = 0; k < taps; ++k) out[taps + k] = next[k] - out[k];
    }
    return rows;
}

struct Level {
    std::once_flag made;
    std::atomic<const ResampleKernel*> ready{nullptr};
    std::vector<float> storage;  // the rows, from the first cache line boundary in it
    ResampleKernel kernel;
};

std::array<Level, LEVEL_COUNT>& Levels() {
    static std::array<Level, LEVEL_COUNT> levels;
    return levels;
}

// The stretch of each level, for finding a step's level without a
// logarithm.
const std::array<double, LEVEL_COUNT>& Stretches() {
    static const std::array<double, LEVEL_COUNT> stretches = [] {
        std::array<double, LEVEL_COUNT> made{};
        for (int i = 0; i < LEVEL_COUNT; ++i) made[static_cast<size_t>(i)] = std::exp2(double(i) / LEVELS_PER_OCTAVE);
        return made;
    }();
    return stretches;
}

}  // namespace

const ResampleKernel& KernelForStep(double step) {
    // The first level stretched at least as far as the step (within
    // rounding), else the last.
    const auto& stretches = Stretches();
    const auto found = std::lower_bound(stretches.begin(), stretches.end(), step * (1.0 - 1e-12));
    const size_t index = std::min<size_t>(static_cast<size_t>(found - stretches.begin()), LEVEL_COUNT - 1);
    Level& level = Levels()[index];
    if (const ResampleKernel* kernel = level.ready.load(std::memory_order_acquire)) return *kernel;
    std::call_once(level.made, [&level, index] {
        const double stretch = std::exp2(static_cast<double>(index) / LEVELS_PER_OCTAVE);
        // At least 8 zero crossings either side, in whole groups of lanes.
        const uint32_t taps = LANES * static_cast<uint32_t>(std::ceil(2.0 * stretch - 1e-9));
        // Rows start on cache lines (each row is whole lines long), so no
        // read of coefficients straddles two lines.
        const std::vector<float> rows = MakeRows(stretch, taps);
        constexpr size_t LINE_FLOATS = 64 / sizeof(float);
        level.storage.resize(rows.size() + LINE_FLOATS);
        const size_t misalignment = reinterpret_cast<uintptr_t>(level.storage.data()) % 64 / sizeof(float);
        float* aligned = level.storage.data() + (misalignment ? LINE_FLOATS - misalignment : 0);
        std::copy(rows.begin(), rows.end(), aligned);
        level.kernel.taps = taps;
        level.kernel.phases = PHASES;
        level.kernel.rows = aligned;
        level.ready.store(&level.kernel, std::memory_order_release);
    });
    return level.kernel;
}

namespace {

// Frames located at a time: where each reads, its row and the fraction
// between that row and the next.
constexpr uint32_t LOCATE_BLOCK = 256;
struct Located {
    int32_t first[LOCATE_BLOCK];
    uint32_t row[LOCATE_BLOCK];  // offset of the row in floats
    float fraction[LOCATE_BLOCK];
};

INLINE_IN_CLONES void Locate(const ResampleKernel& kernel, const ResamplePath& path, uint32_t from, uint32_t frames,
                   Located& out) {
    const float phases = static_cast<float>(kernel.phases);
    const int32_t lastPhase = static_cast<int32_t>(kernel.phases) - 1;
    const int32_t rowFloats = 2 * static_cast<int32_t>(kernel.taps);
    for (uint32_t i = 0; i < frames; ++i) {
        const double n = static_cast<double>(from + i);
        const double x = path.x0 + n * (path.dx + 0.5 * (n - 1.0) * path.ddx);
        const int32_t first = static_cast<int32_t>(x);
        const float scaled = static_cast<float>(x - static_cast<double>(first)) * phases;
        const int32_t phase = std::min(static_cast<int32_t>(scaled), lastPhase);
        out.first[i] = first;
        out.row[i] = static_cast<uint32_t>(phase * rowFloats);
        out.fraction[i] = scaled - static_cast<float>(phase);
    }
}

// Vectors of four, eight and sixteen floats: one SSE, AVX or AVX-512
// register. Each build uses only those its machine holds in one register.
// The helpers taking and returning them are always inlined, so the warning
// that such a value would be passed differently without AVX is moot.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float Four __attribute__((vector_size(16)));
typedef float Lanes __attribute__((vector_size(32)));
typedef float Wide __attribute__((vector_size(64)));
static_assert(sizeof(Lanes) == LANES * sizeof(float), "a kernel row is read in whole vectors");

template <typename V>
INLINE_IN_CLONES V Load(const float* from) {
    V v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

INLINE_IN_CLONES void Store(Four v, float* to) { std::memcpy(to, &v, sizeof v); }

// The sums of the lanes of four vectors at once, far cheaper than four
// separate reductions. Sums of neighbouring pairs, [a0+a1, a2+a3, b0+b1,
// b2+b3], twice over give the totals; wider vectors do the same in each
// 128-bit half and add the halves.
INLINE_IN_CLONES Four PairSums(const Four& a, const Four& b) {
    return __builtin_shufflevector(a, b, 0, 2, 4, 6) + __builtin_shufflevector(a, b, 1, 3, 5, 7);
}

INLINE_IN_CLONES Four Totals(const Four& a, const Four& b, const Four& c, const Four& d) {
    return PairSums(PairSums(a, b), PairSums(c, d));
}

INLINE_IN_CLONES Lanes PairSums(const Lanes& a, const Lanes& b) {
    return __builtin_shufflevector(a, b, 0, 2, 8, 10, 4, 6, 12, 14) +
           __builtin_shufflevector(a, b, 1, 3, 9, 11, 5, 7, 13, 15);
}

INLINE_IN_CLONES Four Totals(const Lanes& a, const Lanes& b, const Lanes& c, const Lanes& d) {
    const Lanes quarters = PairSums(PairSums(a, b), PairSums(c, d));
    return __builtin_shufflevector(quarters, quarters, 0, 1, 2, 3) +
           __builtin_shufflevector(quarters, quarters, 4, 5, 6, 7);
}

// The taps of one output frame times its coefficients (those of its row,
// interpolated towards the next row), summed lane by lane; the lanes' total
// is the frame. TAPS 0 reads the count at run time; the common counts are
// unrolled at compile time.
template <uint32_t TAPS, typename V>
INLINE_IN_CLONES V MonoProducts(const float* c, const float* s, float fraction, uint32_t taps) {
    constexpr uint32_t WIDTH = sizeof(V) / sizeof(float);
    const uint32_t count = TAPS ? TAPS : taps;
    const float* d = c + count;
    V acc = (Load<V>(c) + fraction * Load<V>(d)) * Load<V>(s);
#pragma GCC unroll 8
    for (uint32_t k = WIDTH; k < count; k += WIDTH)
        acc += (Load<V>(c + k) + fraction * Load<V>(d + k)) * Load<V>(s + k);
    return acc;
}

// Sixteen taps at a time where they fit, then eight, folded to eight lanes.
template <uint32_t TAPS>
INLINE_IN_CLONES Lanes MonoProductsWide(const float* c, const float* s, float fraction, uint32_t taps) {
    const uint32_t count = TAPS ? TAPS : taps;
    const float* d = c + count;
    Wide wide = {};
    uint32_t k = 0;
#pragma GCC unroll 4
    for (; k + 2 * LANES <= count; k += 2 * LANES)
        wide += (Load<Wide>(c + k) + fraction * Load<Wide>(d + k)) * Load<Wide>(s + k);
    Lanes acc = __builtin_shufflevector(wide, wide, 0, 1, 2, 3, 4, 5, 6, 7) +
                __builtin_shufflevector(wide, wide, 8, 9, 10, 11, 12, 13, 14, 15);
    if (k < count) acc += (Load<Lanes>(c + k) + fraction * Load<Lanes>(d + k)) * Load<Lanes>(s + k);
    return acc;
}

template <uint32_t TAPS, typename V>
INLINE_IN_CLONES void StereoProducts(const float* c, const float* sl, const float* sr, float fraction, uint32_t taps,
                                     V& left, V& right) {
    constexpr uint32_t WIDTH = sizeof(V) / sizeof(float);
    const uint32_t count = TAPS ? TAPS : taps;
    const float* d = c + count;
    V coefficients = Load<V>(c) + fraction * Load<V>(d);
    left = coefficients * Load<V>(sl);
    right = coefficients * Load<V>(sr);
#pragma GCC unroll 8
    for (uint32_t k = WIDTH; k < count; k += WIDTH) {
        coefficients = Load<V>(c + k) + fraction * Load<V>(d + k);
        left += coefficients * Load<V>(sl + k);
        right += coefficients * Load<V>(sr + k);
    }
}

// How a build reads the taps: four (the baseline), eight (AVX2) or sixteen
// (AVX-512) at a time.
enum class Width { Four, Eight, Sixteen };

// Frames are made four at a time, so that their sums share the reduction.
template <uint32_t TAPS, Width WIDTH>
INLINE_IN_CLONES void RunMono(const ResampleKernel& kernel, const float* src, const ResamplePath& path, uint32_t frames,
                    float* out) {
    Located at;
    const uint32_t taps = kernel.taps;
    for (uint32_t from = 0; from < frames; from += LOCATE_BLOCK) {
        const uint32_t count = std::min(LOCATE_BLOCK, frames - from);
        Locate(kernel, path, from, count, at);
        const auto products = [&](uint32_t i) {
            const float* row = kernel.rows + at.row[i];
            if constexpr (WIDTH == Width::Sixteen)
                return MonoProductsWide<TAPS>(row, src + at.first[i], at.fraction[i], taps);
            else if constexpr (WIDTH == Width::Eight)
                return MonoProducts<TAPS, Lanes>(row, src + at.first[i], at.fraction[i], taps);
            else
                return MonoProducts<TAPS, Four>(row, src + at.first[i], at.fraction[i], taps);
        };
        uint32_t i = 0;
        for (; i + 4 <= count; i += 4)
            Store(Totals(products(i), products(i + 1), products(i + 2), products(i + 3)), out + from + i);
        for (; i < count; ++i) {
            const decltype(products(i)) none = {};
            out[from + i] = Totals(products(i), none, none, none)[0];
        }
    }
}

template <uint32_t TAPS, typename V>
INLINE_IN_CLONES void RunStereo(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                      const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    Located at;
    const uint32_t taps = kernel.taps;
    for (uint32_t from = 0; from < frames; from += LOCATE_BLOCK) {
        const uint32_t count = std::min(LOCATE_BLOCK, frames - from);
        Locate(kernel, path, from, count, at);
        const auto products = [&](uint32_t i, V& left, V& right) {
            StereoProducts<TAPS, V>(kernel.rows + at.row[i], srcLeft + at.first[i], srcRight + at.first[i],
                                    at.fraction[i], taps, left, right);
        };
        uint32_t i = 0;
        for (; i + 4 <= count; i += 4) {
            V l0, l1, l2, l3, r0, r1, r2, r3;
            products(i, l0, r0);
            products(i + 1, l1, r1);
            products(i + 2, l2, r2);
            products(i + 3, l3, r3);
            Store(Totals(l0, l1, l2, l3), outLeft + from + i);
            Store(Totals(r0, r1, r2, r3), outRight + from + i);
        }
        for (; i < count; ++i) {
            V left, right;
            products(i, left, right);
            const Four sums = Totals(left, right, V{}, V{});
            outLeft[from + i] = sums[0];
            outRight[from + i] = sums[1];
        }
    }
}

template <Width WIDTH>
INLINE_IN_CLONES void MonoOfKernel(const ResampleKernel& kernel, const float* src, const ResamplePath& path,
                                   uint32_t frames, float* out) {
    switch (kernel.taps) {
    case 16: return RunMono<16, WIDTH>(kernel, src, path, frames, out);
    case 24: return RunMono<24, WIDTH>(kernel, src, path, frames, out);
    case 32: return RunMono<32, WIDTH>(kernel, src, path, frames, out);
    default: return RunMono<0, WIDTH>(kernel, src, path, frames, out);
    }
}

template <typename V>
INLINE_IN_CLONES void StereoOfKernel(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                                     const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    switch (kernel.taps) {
    case 16: return RunStereo<16, V>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case 24: return RunStereo<24, V>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case 32: return RunStereo<32, V>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    default: return RunStereo<0, V>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    }
}

void ResampleMonoBaseline(const ResampleKernel& kernel, const float* src, const ResamplePath& path, uint32_t frames,
                          float* out) {
    MonoOfKernel<Width::Four>(kernel, src, path, frames, out);
}

void ResampleStereoBaseline(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                            const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    StereoOfKernel<Four>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

#if MACHINE_BUILDS
AVX2_TARGET void ResampleMonoAvx2(const ResampleKernel& kernel, const float* src, const ResamplePath& path,
                                  uint32_t frames, float* out) {
    MonoOfKernel<Width::Eight>(kernel, src, path, frames, out);
}

AVX2_TARGET void ResampleStereoAvx2(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    StereoOfKernel<Lanes>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

AVX512_TARGET void ResampleMonoAvx512(const ResampleKernel& kernel, const float* src, const ResamplePath& path,
                                      uint32_t frames, float* out) {
    MonoOfKernel<Width::Sixteen>(kernel, src, path, frames, out);
}

AVX512_TARGET void ResampleStereoAvx512(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                                        const ResamplePath& path, uint32_t frames, float* outLeft,
                                        float* outRight) {
    StereoOfKernel<Lanes>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}
#endif

// The widest build this machine runs.
Width MachineWidth() {
#if MACHINE_BUILDS
    static const Width width = __builtin_cpu_supports("x86-64-v4")   ? Width::Sixteen
                               : __builtin_cpu_supports("x86-64-v3") ? Width::Eight
                                                                     : Width::Four;
    return width;
#else
    return Width::Four;
#endif
}

}  // namespace

void ResampleMono(const ResampleKernel& kernel, const float* src, const ResamplePath& path, uint32_t frames,
                  float* out) {
#if MACHINE_BUILDS
    switch (MachineWidth()) {
    case Width::Sixteen: return ResampleMonoAvx512(kernel, src, path, frames, out);
    case Width::Eight: return ResampleMonoAvx2(kernel, src, path, frames, out);
    case Width::Four: break;
    }
#endif
    ResampleMonoBaseline(kernel, src, path, frames, out);
}

void ResampleStereo(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
#if MACHINE_BUILDS
    switch (MachineWidth()) {
    case Width::Sixteen: return ResampleStereoAvx512(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Width::Eight: return ResampleStereoAvx2(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Width::Four: break;
    }
#endif
    ResampleStereoBaseline(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

VECTOR_CLONES
VoicePeaks AddToBus(const float* voiceLeft, const float* voiceRight, const float* __restrict gainLeft,
                    const float* __restrict gainRight, uint32_t frames, float* __restrict busLeft,
                    float* __restrict busRight) {
    VoicePeaks peaks;
    for (size_t i = 0; i < frames; ++i) {
        busLeft[i] += voiceLeft[i] * gainLeft[i];
        busRight[i] += voiceRight[i] * gainRight[i];
        peaks.left = std::max(peaks.left, std::fabs(voiceLeft[i]));
        peaks.right = std::max(peaks.right, std::fabs(voiceRight[i]));
    }
    return peaks;
}

VECTOR_CLONES
VoicePeaks AddToBusSteady(const float* voiceLeft, const float* voiceRight, float gainLeft, float gainRight,
                          uint32_t frames, float* __restrict busLeft, float* __restrict busRight) {
    VoicePeaks peaks;
    if (voiceLeft == voiceRight) {
        // A mono voice: read once, one peak.
        for (size_t i = 0; i < frames; ++i) {
            const float v = voiceLeft[i];
            busLeft[i] += v * gainLeft;
            busRight[i] += v * gainRight;
            peaks.left = std::max(peaks.left, std::fabs(v));
        }
        peaks.right = peaks.left;
        return peaks;
    }
    for (size_t i = 0; i < frames; ++i) {
        busLeft[i] += voiceLeft[i] * gainLeft;
        busRight[i] += voiceRight[i] * gainRight;
        peaks.left = std::max(peaks.left, std::fabs(voiceLeft[i]));
        peaks.right = std::max(peaks.right, std::fabs(voiceRight[i]));
    }
    return peaks;
}

VECTOR_CLONES
void BusToPcm(const float* __restrict left, const float* __restrict right, float gain, float gainStep,
              uint32_t frames, int16_t* __restrict out) {
    for (size_t i = 0; i < frames; ++i) {
        const float g = gain + static_cast<float>(i) * gainStep;
        const float l = std::min(1.0f, std::max(-1.0f, left[i] * g)) * 32767.0f;
        const float r = std::min(1.0f, std::max(-1.0f, right[i] * g)) * 32767.0f;
        out[2 * i] = static_cast<int16_t>(l + (l >= 0.0f ? 0.5f : -0.5f));
        out[2 * i + 1] = static_cast<int16_t>(r + (r >= 0.0f ? 0.5f : -0.5f));
    }
}

VECTOR_CLONES
void GainNeeds(const float* __restrict left, const float* __restrict right, float ceiling, uint32_t frames,
               float* __restrict needs) {
    for (size_t i = 0; i < frames; ++i) {
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        needs[i] = peak > ceiling ? ceiling / peak : 1.0f;
    }
}

VECTOR_CLONES
void ApplyGains(float* __restrict left, float* __restrict right, const float* __restrict gains, uint32_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        left[i] *= gains[i];
        right[i] *= gains[i];
    }
}

VECTOR_CLONES
float BusPeak(const float* __restrict left, const float* __restrict right, uint32_t frames) {
    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::max(std::fabs(left[i]), std::fabs(right[i])));
    return peak;
}

}  // namespace audio
}  // namespace platform
