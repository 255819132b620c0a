#include "audio_resampler.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The loops below are built three times on x86-64: for the baseline, for
// AVX2/FMA machines and for AVX-512 ones (the same code runs some 15%
// faster there, with twice the registers); the loader picks one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
// Resampling is written for a vector width, so it has builds of its own,
// chosen at run time. Floats: four taps at a time on the baseline, eight
// with AVX2 or AVX-512. 16-bit frames: sixteen taps at a time with AVX2,
// thirty-two with AVX-512, one at a time on the baseline.
#define MACHINE_BUILDS 1
#define AVX2_TARGET __attribute__((target("arch=x86-64-v3")))
#define AVX512_TARGET __attribute__((target("arch=x86-64-v4")))
#else
#define VECTOR_CLONES
#define MACHINE_BUILDS 0
#endif
// Helpers of the cloned loops: compiled into each clone.
#define INLINE_IN_CLONES inline __attribute__((always_inline))

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

namespace platform {
namespace audio {

namespace {

// Rows per source frame. Coefficients are interpolated between rows, so a
// few suffice (the error stays some 50 dB under the kernel's stop band),
// and small tables stay in the cache while many voices at many rates mix.
constexpr uint32_t PHASES = 32;  // a power of two
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
// over `reach` frames either side and scaled to unit gain at 0 Hz: row p
// (fraction p / PHASES) holds the coefficients of the taps.
std::vector<std::vector<double>> MakeKernelRows(double stretch, uint32_t taps) {
    const double reach = taps / 2.0;
    const double behind = taps / 2.0 - 1.0;
    const double windowNorm = BesselI0(KAISER_BETA);
    std::vector<std::vector<double>> rows(PHASES + 1, std::vector<double>(taps));
    for (uint32_t p = 0; p <= PHASES; ++p) {
        std::vector<double>& row = rows[p];
        double sum = 0.0;
        for (uint32_t k = 0; k < taps; ++k) {
            const double d = static_cast<double>(p) / PHASES + behind - k;  // distance from the position
            const double ratio = d / reach;
            double h = 0.0;
            if (std::fabs(ratio) < 1.0) {
                const double x = kPi * d / stretch;
                const double sinc = x == 0.0 ? 1.0 : std::sin(x) / x;
                h = sinc * BesselI0(KAISER_BETA * std::sqrt(1.0 - ratio * ratio)) / windowNorm;
            }
            row[k] = h;
            sum += h;
        }
        for (double& h : row) h /= sum;
    }
    return rows;
}

// Each row's coefficients then its differences to the next row, `stride`
// apart.
template <typename T>
std::vector<T> InterleaveDifferences(const std::vector<std::vector<T>>& rows, uint32_t stride) {
    std::vector<T> table(rows.size() * 2 * stride, T{});
    for (size_t p = 0; p < rows.size(); ++p) {
        T* out = &table[p * 2 * stride];
        for (size_t k = 0; k < rows[p].size(); ++k) {
            out[k] = rows[p][k];
            if (p + 1 < rows.size()) out[stride + k] = static_cast<T>(rows[p + 1][k] - rows[p][k]);
        }
    }
    return table;
}

std::vector<float> MakeFloatTable(const std::vector<std::vector<double>>& exact, uint32_t stride) {
    std::vector<std::vector<float>> rows;
    for (const auto& row : exact) rows.emplace_back(row.begin(), row.end());
    return InterleaveDifferences(rows, stride);
}

// Coefficients in units of 1/32767, each row summing to exactly 32767 (the
// rounding is taken up by its largest coefficient), so the gain at 0 Hz is
// the same at every position. Rows of a sinc interpolated between such rows
// stay within 16 bits, and a row's sum of |coefficients| stays under 2
// (about 1.6 for the longest), so a frame's sum of products cannot overflow
// 32 bits.
std::vector<int16_t> MakePcmTable(const std::vector<std::vector<double>>& exact, uint32_t stride) {
    constexpr double UNIT = 32767.0;
    std::vector<std::vector<int16_t>> rows;
    for (const auto& row : exact) {
        std::vector<int16_t> q(stride, 0);
        long total = 0;
        size_t largest = 0;
        for (size_t k = 0; k < row.size(); ++k) {
            q[k] = static_cast<int16_t>(std::lround(row[k] * UNIT));
            total += q[k];
            if (row[k] > row[largest]) largest = k;
        }
        q[largest] = static_cast<int16_t>(q[largest] + (static_cast<long>(UNIT) - total));
        rows.push_back(std::move(q));
    }
    return InterleaveDifferences(rows, stride);
}

// A table copied to storage from its first cache line boundary on, so that
// rows (whole lines long) never straddle two lines.
template <typename T>
const T* AlignedCopy(const std::vector<T>& table, std::vector<T>& storage) {
    constexpr size_t LINE = 64 / sizeof(T);
    storage.resize(table.size() + LINE);
    const size_t misalignment = reinterpret_cast<uintptr_t>(storage.data()) % 64 / sizeof(T);
    T* aligned = storage.data() + (misalignment ? LINE - misalignment : 0);
    std::copy(table.begin(), table.end(), aligned);
    return aligned;
}

struct Level {
    std::once_flag made;
    std::atomic<const ResampleKernel*> ready{nullptr};
    std::vector<float> storage;  // the rows, from the first cache line boundary in it
    std::vector<int16_t> pcmStorage;
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
        const uint32_t pcmTaps = (taps + 15) & ~15u;
        const auto exact = MakeKernelRows(stretch, taps);
        level.kernel.taps = taps;
        level.kernel.phases = PHASES;
        level.kernel.lowestStep = index == 0 ? 0.0 : Stretches()[index - 1];
        level.kernel.highestStep = index + 1 == LEVEL_COUNT ? HUGE_VAL : stretch;
        level.kernel.rows = AlignedCopy(MakeFloatTable(exact, level.kernel.Stride()), level.storage);
        level.kernel.pcmTaps = pcmTaps;
        level.kernel.pcmRows = AlignedCopy(MakePcmTable(exact, pcmTaps), level.pcmStorage);
        level.ready.store(&level.kernel, std::memory_order_release);
    });
    return level.kernel;
}

namespace {

// Frames located at a time: where each reads, its row and the fraction
// between that row and the next (as a float, and in units of 1/32768 for
// the 16-bit tables).
constexpr uint32_t LOCATE_BLOCK = 256;
struct Located {
    int32_t first[LOCATE_BLOCK];
    uint32_t row[LOCATE_BLOCK];  // offset of the row in table entries
    float fraction[LOCATE_BLOCK];
    int32_t fraction15[LOCATE_BLOCK];
};

// Positions are counted in rows, y = x * phases (phases a power of two):
// the whole part of y is the frame (y / phases) and the row (y % phases),
// the rest the fraction.
template <bool PCM>
INLINE_IN_CLONES void Locate(const ResampleKernel& kernel, uint32_t rowSize, const ResamplePath& path, uint32_t from,
                             uint32_t frames, Located& out) {
    const double phases = kernel.phases;
    const double y0 = path.x0 * phases, dy = path.dx * phases, halfDdy = 0.5 * path.ddx * phases;
    const int32_t shift = __builtin_ctz(kernel.phases);
    const int32_t mask = static_cast<int32_t>(kernel.phases) - 1;
    const int32_t rowEntries = static_cast<int32_t>(rowSize);
    for (uint32_t i = 0; i < frames; ++i) {
        const double n = static_cast<double>(from + i);
        const double y = y0 + n * (dy + (n - 1.0) * halfDdy);
        const int32_t whole = static_cast<int32_t>(y);
        const float fraction = static_cast<float>(y - static_cast<double>(whole));
        out.first[i] = whole >> shift;
        out.row[i] = static_cast<uint32_t>((whole & mask) * rowEntries);
        if constexpr (PCM)
            out.fraction15[i] = std::min(static_cast<int32_t>(fraction * 32768.0f + 0.5f), 32767);
        else
            out.fraction[i] = fraction;
    }
}

// Vectors of four and eight floats or 32-bit integers: one SSE or AVX
// register. Each build uses only those its machine holds in one register.
// The helpers taking and returning them are always inlined, so the warning
// that such a value would be passed differently without AVX is moot.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float Four __attribute__((vector_size(16)));
typedef float Lanes __attribute__((vector_size(32)));
typedef int32_t FourInts __attribute__((vector_size(16)));
typedef int32_t LanesOfInts __attribute__((vector_size(32)));
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
template <typename V, std::enable_if_t<sizeof(V) == 16, int> = 0>
INLINE_IN_CLONES V PairSums(const V& a, const V& b) {
    return __builtin_shufflevector(a, b, 0, 2, 4, 6) + __builtin_shufflevector(a, b, 1, 3, 5, 7);
}

template <typename V, std::enable_if_t<sizeof(V) == 16, int> = 0>
INLINE_IN_CLONES V Totals(const V& a, const V& b, const V& c, const V& d) {
    return PairSums(PairSums(a, b), PairSums(c, d));
}

template <typename V, std::enable_if_t<sizeof(V) == 32, int> = 0>
INLINE_IN_CLONES V PairSums(const V& a, const V& b) {
    return __builtin_shufflevector(a, b, 0, 2, 8, 10, 4, 6, 12, 14) +
           __builtin_shufflevector(a, b, 1, 3, 9, 11, 5, 7, 13, 15);
}

template <typename V, std::enable_if_t<sizeof(V) == 32, int> = 0>
INLINE_IN_CLONES auto Totals(const V& a, const V& b, const V& c, const V& d) {
    const V quarters = PairSums(PairSums(a, b), PairSums(c, d));
    return __builtin_shufflevector(quarters, quarters, 0, 1, 2, 3) +
           __builtin_shufflevector(quarters, quarters, 4, 5, 6, 7);
}

// The taps of one output frame times its coefficients (those of its row,
// interpolated towards the next row), summed lane by lane for each side; the
// lanes' totals are the frame. TAPS 0 reads the count at run time; the common
// counts are unrolled at compile time.
template <uint32_t TAPS, typename V>
INLINE_IN_CLONES void StereoProducts(const float* c, const float* sl, const float* sr, float fraction, uint32_t taps,
                                     V& left, V& right) {
    constexpr uint32_t WIDTH = sizeof(V) / sizeof(float);
    const uint32_t count = TAPS ? TAPS : taps;
    const float* d = c + ((count + 15) & ~15u);
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

// The builds: the baseline, AVX2 and AVX-512.
enum class Build { Baseline, Avx2, Avx512 };

// Frames are made four at a time, so that their sums share the reduction.
template <uint32_t TAPS, typename V>
INLINE_IN_CLONES void RunStereo(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                      const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    Located at;
    const uint32_t taps = kernel.taps;
    for (uint32_t from = 0; from < frames; from += LOCATE_BLOCK) {
        const uint32_t count = std::min(LOCATE_BLOCK, frames - from);
        Locate<false>(kernel, kernel.RowFloats(), path, from, count, at);
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

void ResampleStereoBaseline(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                            const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    StereoOfKernel<Four>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

#if MACHINE_BUILDS
AVX2_TARGET void ResampleStereoAvx2(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    StereoOfKernel<Lanes>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

AVX512_TARGET void ResampleStereoAvx512(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                                        const ResamplePath& path, uint32_t frames, float* outLeft,
                                        float* outRight) {
    StereoOfKernel<Lanes>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}
#endif

// The 16-bit path. A frame's coefficients are its row's plus the fraction
// times the differences to the next row, rounded as the vector instruction
// does, (difference * fraction + 2^14) >> 15; products are summed in 32
// bits. The portable build below does the same arithmetic a frame at a time.
constexpr float PCM_SCALE = 1.0f / (32767.0f * 32768.0f);

INLINE_IN_CLONES Four ToFloats(const FourInts& v) { return __builtin_convertvector(v, Four); }

template <uint32_t TAPS>
INLINE_IN_CLONES int32_t PcmProducts(const int16_t* c, const int16_t* s, int32_t fraction, uint32_t taps) {
    const uint32_t count = TAPS ? TAPS : taps;
    const int16_t* d = c + count;
    int32_t acc = 0;
    for (uint32_t k = 0; k < count; ++k) acc += (c[k] + ((d[k] * fraction + 0x4000) >> 15)) * s[k];
    return acc;
}

template <uint32_t TAPS, bool STEREO>
void RunPcmPortable(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,
                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    Located at;
    const uint32_t taps = kernel.pcmTaps;
    for (uint32_t from = 0; from < frames; from += LOCATE_BLOCK) {
        const uint32_t count = std::min(LOCATE_BLOCK, frames - from);
        Locate<true>(kernel, 2 * taps, path, from, count, at);
        for (uint32_t i = 0; i < count; ++i) {
            const int16_t* row = kernel.pcmRows + at.row[i];
            const int32_t fraction = at.fraction15[i];
            outLeft[from + i] =
                static_cast<float>(PcmProducts<TAPS>(row, srcLeft + at.first[i], fraction, taps)) * PCM_SCALE;
            if (STEREO)
                outRight[from + i] =
                    static_cast<float>(PcmProducts<TAPS>(row, srcRight + at.first[i], fraction, taps)) * PCM_SCALE;
        }
    }
}

void ResamplePcmBaseline(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,
                         const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
    const bool sixteen = kernel.pcmTaps == 16;
    if (srcRight)
        return sixteen ? RunPcmPortable<16, true>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight)
                       : RunPcmPortable<0, true>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    return sixteen ? RunPcmPortable<16, false>(kernel, srcLeft, nullptr, path, frames, outLeft, nullptr)
                   : RunPcmPortable<0, false>(kernel, srcLeft, nullptr, path, frames, outLeft, nullptr);
}

#if MACHINE_BUILDS
// Sixteen taps: the coefficients of one frame, and their products with the
// source summed in pairs into eight 32-bit lanes.
AVX2_TARGET INLINE_IN_CLONES __m256i PcmCoefficients16(const int16_t* c, const int16_t* d, __m256i fraction) {
    return _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)),
                            _mm256_mulhrs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d)), fraction));
}

AVX2_TARGET INLINE_IN_CLONES __m256i PcmMultiply16(__m256i coefficients, const int16_t* s) {
    return _mm256_madd_epi16(coefficients, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
}

// Thirty-two taps at a time with AVX-512.
AVX512_TARGET INLINE_IN_CLONES __m512i PcmCoefficients32(const int16_t* c, const int16_t* d, __m512i fraction) {
    return _mm512_add_epi16(_mm512_loadu_si512(c), _mm512_mulhrs_epi16(_mm512_loadu_si512(d), fraction));
}

// The two halves of sixteen 32-bit sums added.
typedef int32_t SixteenInts __attribute__((vector_size(64)));
AVX512_TARGET INLINE_IN_CLONES __m256i Fold(__m512i v) {
    const SixteenInts w = reinterpret_cast<SixteenInts>(v);
    return reinterpret_cast<__m256i>(__builtin_shufflevector(w, w, 0, 1, 2, 3, 4, 5, 6, 7) +
                                     __builtin_shufflevector(w, w, 8, 9, 10, 11, 12, 13, 14, 15));
}

// One frame of each side (right only when srcRight is given), as eight
// 32-bit partial sums each.
template <uint32_t TAPS, bool STEREO>
AVX2_TARGET INLINE_IN_CLONES void PcmProductsAvx2(const int16_t* c, const int16_t* srcLeft, const int16_t* srcRight,
                                                  int32_t fraction, uint32_t taps, __m256i& left, __m256i& right) {
    const uint32_t count = TAPS ? TAPS : taps;
    const int16_t* d = c + count;
    const __m256i f = _mm256_set1_epi16(static_cast<int16_t>(fraction));
    left = _mm256_setzero_si256();
    if (STEREO) right = _mm256_setzero_si256();
#pragma GCC unroll 4
    for (uint32_t k = 0; k < count; k += 16) {
        const __m256i coefficients = PcmCoefficients16(c + k, d + k, f);
        left = _mm256_add_epi32(left, PcmMultiply16(coefficients, srcLeft + k));
        if (STEREO) right = _mm256_add_epi32(right, PcmMultiply16(coefficients, srcRight + k));
    }
}

template <uint32_t TAPS, bool STEREO>
AVX512_TARGET INLINE_IN_CLONES void PcmProductsAvx512(const int16_t* c, const int16_t* srcLeft,
                                                      const int16_t* srcRight, int32_t fraction, uint32_t taps,
                                                      __m256i& left, __m256i& right) {
    const uint32_t count = TAPS ? TAPS : taps;
    const int16_t* d = c + count;
    const __m512i f = _mm512_set1_epi16(static_cast<int16_t>(fraction));
    __m512i wideLeft = _mm512_setzero_si512(), wideRight = _mm512_setzero_si512();
    uint32_t k = 0;
#pragma GCC unroll 4
    for (; k + 32 <= count; k += 32) {
        const __m512i coefficients = PcmCoefficients32(c + k, d + k, f);
        wideLeft = _mm512_add_epi32(wideLeft, _mm512_madd_epi16(coefficients, _mm512_loadu_si512(srcLeft + k)));
        if (STEREO)
            wideRight = _mm512_add_epi32(wideRight, _mm512_madd_epi16(coefficients, _mm512_loadu_si512(srcRight + k)));
    }
    left = Fold(wideLeft);
    if (STEREO) right = Fold(wideRight);
    if (k < count) {
        const __m256i coefficients = PcmCoefficients16(c + k, d + k, _mm256_set1_epi16(static_cast<int16_t>(fraction)));
        left = _mm256_add_epi32(left, PcmMultiply16(coefficients, srcLeft + k));
        if (STEREO) right = _mm256_add_epi32(right, PcmMultiply16(coefficients, srcRight + k));
    }
}

// Frames four at a time, their partial sums converted to floats and summed
// together as in the float path; without srcRight, mono into outLeft. The
// loop is defined once per instruction set, since the helpers' intrinsics
// inline only into functions built for their set.
#define DEFINE_RUN_PCM(NAME, TARGET, PRODUCTS)                                                                   \
    template <uint32_t TAPS, bool STEREO>                                                                        \
    TARGET void NAME(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,             \
                     const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {              \
        Located at;                                                                                              \
        const uint32_t taps = kernel.pcmTaps;                                                                    \
        const Four scale = {PCM_SCALE, PCM_SCALE, PCM_SCALE, PCM_SCALE};                                         \
        /* Frame i of the located block into slot j: its partial sums. */                                      \
        LanesOfInts left[4], right[4];                                                                           \
        const auto frame = [&](uint32_t i, uint32_t j) TARGET {                                                  \
            __m256i l, r = _mm256_setzero_si256();                                                               \
            PRODUCTS<TAPS, STEREO>(kernel.pcmRows + at.row[i], srcLeft + at.first[i],                            \
                                   STEREO ? srcRight + at.first[i] : nullptr, at.fraction15[i], taps, l, r);     \
            left[j] = reinterpret_cast<LanesOfInts>(l);                                                          \
            if (STEREO) right[j] = reinterpret_cast<LanesOfInts>(r);                                             \
        };                                                                                                       \
        for (uint32_t from = 0; from < frames; from += LOCATE_BLOCK) {                                           \
            const uint32_t count = std::min(LOCATE_BLOCK, frames - from);                                        \
            Locate<true>(kernel, 2 * taps, path, from, count, at);                                               \
            uint32_t i = 0;                                                                                      \
            for (; i + 4 <= count; i += 4) {                                                                     \
                for (uint32_t j = 0; j < 4; ++j) frame(i + j, j);                                                \
                Store(ToFloats(Totals(left[0], left[1], left[2], left[3])) * scale, outLeft + from + i);         \
                if (STEREO)                                                                                      \
                    Store(ToFloats(Totals(right[0], right[1], right[2], right[3])) * scale, outRight + from + i); \
            }                                                                                                    \
            for (; i < count; ++i) {                                                                             \
                frame(i, 0);                                                                                     \
                const LanesOfInts none = {};                                                                     \
                outLeft[from + i] = ToFloats(Totals(left[0], none, none, none))[0] * PCM_SCALE;                  \
                if (STEREO) outRight[from + i] = ToFloats(Totals(right[0], none, none, none))[0] * PCM_SCALE;    \
            }                                                                                                    \
        }                                                                                                        \
    }

DEFINE_RUN_PCM(RunPcmAvx2, AVX2_TARGET, PcmProductsAvx2)
DEFINE_RUN_PCM(RunPcmAvx512, AVX512_TARGET, PcmProductsAvx512)
#undef DEFINE_RUN_PCM

// The common tap counts unrolled at compile time, mono or stereo.
#define DEFINE_PCM_OF_KERNEL(NAME, TARGET, RUN)                                                                  \
    TARGET void NAME(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,             \
                     const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {              \
        const bool stereo = srcRight != nullptr;                                                                 \
        switch (kernel.pcmTaps * 2 + stereo) {                                                                   \
        case 32: return RUN<16, false>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);             \
        case 33: return RUN<16, true>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);              \
        case 64: return RUN<32, false>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);             \
        case 65: return RUN<32, true>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);              \
        default:                                                                                                 \
            if (stereo) return RUN<0, true>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);       \
            return RUN<0, false>(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);                   \
        }                                                                                                        \
    }

DEFINE_PCM_OF_KERNEL(ResamplePcmAvx2, AVX2_TARGET, RunPcmAvx2)
DEFINE_PCM_OF_KERNEL(ResamplePcmAvx512, AVX512_TARGET, RunPcmAvx512)
#undef DEFINE_PCM_OF_KERNEL
#endif

// The widest build this machine runs.
Build MachineBuild() {
#if MACHINE_BUILDS
    static const Build build = __builtin_cpu_supports("x86-64-v4")   ? Build::Avx512
                               : __builtin_cpu_supports("x86-64-v3") ? Build::Avx2
                                                                     : Build::Baseline;
    return build;
#else
    return Build::Baseline;
#endif
}

}  // namespace

void ResampleStereo(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
#if MACHINE_BUILDS
    switch (MachineBuild()) {
    case Build::Avx512: return ResampleStereoAvx512(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Build::Avx2: return ResampleStereoAvx2(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Build::Baseline: break;
    }
#endif
    ResampleStereoBaseline(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

void ResamplePcm(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,
                 const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight) {
#if MACHINE_BUILDS
    switch (MachineBuild()) {
    case Build::Avx512: return ResamplePcmAvx512(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Build::Avx2: return ResamplePcmAvx2(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
    case Build::Baseline: break;
    }
#endif
    ResamplePcmBaseline(kernel, srcLeft, srcRight, path, frames, outLeft, outRight);
}

VECTOR_CLONES
void PcmToFloat(const int16_t* __restrict pcm, uint32_t frames, float* __restrict out) {
    for (size_t i = 0; i < frames; ++i) out[i] = static_cast<float>(pcm[i]) * (1.0f / 32768.0f);
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

namespace {

INLINE_IN_CLONES int16_t ToPcm(float value) {
    value = value > 1.0f ? 1.0f : value < -1.0f ? -1.0f : value;
    return static_cast<int16_t>(static_cast<int32_t>(std::nearbyint(value * 32767.0f)));
}

}  // namespace

VECTOR_CLONES
void BusToPcm(const float* __restrict left, const float* __restrict right, float gain, float gainStep,
              uint32_t frames, int16_t* __restrict out) {
    for (size_t i = 0; i < frames; ++i) {
        const float g = gain + static_cast<float>(i) * gainStep;
        out[2 * i] = ToPcm(left[i] * g);
        out[2 * i + 1] = ToPcm(right[i] * g);
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
