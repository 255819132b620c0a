// The mixer's inner loops: band-limited resampling of a voice and adding it
// to the mix bus.
//
// A voice is resampled with a Kaiser-windowed sinc, tabulated as a
// polyphase table (coefficients interpolated between phases). The table's
// cutoff follows the playback step: up to the source's own rate (step <= 1)
// the cutoff is the source's Nyquist frequency, so images of the source
// vanish; above it the kernel is stretched by the step, so the cutoff
// follows the output's Nyquist frequency and tones above it vanish instead
// of folding back. Stretched kernels come in steps of 2^(1/16) and are made
// on first use.
//
// Streams and modules are resampled from floats, samples from their 16-bit
// frames with 16-bit coefficients (half the memory traffic, and integer
// products summed exactly). Everything else is single precision and written
// so the compiler vectorizes it; sources and the bus are planar (one array
// per side).
#pragma once

#include <cstdint>

namespace platform {
namespace audio {

struct ResampleKernel {
    uint32_t taps = 0;    // a multiple of 8
    uint32_t phases = 0;  // rows per source frame; the table has phases + 1 rows
    // Row p (fraction p / phases): taps coefficients from rows + p * RowFloats(),
    // and taps differences to row p + 1 from there + Stride(). Rows and
    // differences start on whole vectors.
    const float* rows = nullptr;
    // The same table for 16-bit sources: pcmTaps (taps rounded up to a
    // multiple of 16, the extra coefficients 0) coefficients in units of
    // 1/32767, then pcmTaps differences.
    uint32_t pcmTaps = 0;
    const int16_t* pcmRows = nullptr;
    // Frames a tap reaches behind the position's frame: taps / 2 - 1.
    uint32_t Behind() const { return taps / 2 - 1; }
    // Steps in (lowestStep, highestStep] are this kernel's.
    double lowestStep = 0.0;
    double highestStep = 0.0;
    bool Suits(double step) const { return step > lowestStep && step <= highestStep; }
    uint32_t Stride() const { return (taps + 15) & ~15u; }
    uint32_t RowFloats() const { return 2 * Stride(); }
};

// The widest kernel reaches this many frames either side of a position.
constexpr uint32_t MAX_KERNEL_REACH = 64;

// The kernel for a voice whose step (source frames per output frame) is at
// most `step`. Safe from any thread.
const ResampleKernel& KernelForStep(double step);

// Positions of output frame i: x(i) = x0 + i * dx + i * (i - 1) / 2 * ddx,
// in source frames relative to src + kernel.Behind(); x(i) >= 0. Frame i
// reads src[floor(x(i)) .. floor(x(i)) + taps - 1].
struct ResamplePath {
    double x0 = 0.0;
    double dx = 1.0;
    double ddx = 0.0;
};

void ResampleStereo(const ResampleKernel& kernel, const float* srcLeft, const float* srcRight,
                    const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight);

// The same for 16-bit sources (full scale 32768; srcRight nullptr for a
// mono one, which fills only outLeft), frame i reading src[floor(x(i)) ..
// floor(x(i)) + kernel.pcmTaps - 1].
void ResamplePcm(const ResampleKernel& kernel, const int16_t* srcLeft, const int16_t* srcRight,
                 const ResamplePath& path, uint32_t frames, float* outLeft, float* outRight);

// 16-bit samples to floats (full scale 32768).
void PcmToFloat(const int16_t* pcm, uint32_t frames, float* out);

// The largest |value| of each side of a voice.
struct VoicePeaks {
    float left = 0.0f;
    float right = 0.0f;
};

// bus[i] += gain[i] * voice[i] for both sides (voiceRight may be
// voiceLeft); returns the voice's own peaks, before the gains.
VoicePeaks AddToBus(const float* voiceLeft, const float* voiceRight, const float* gainLeft, const float* gainRight,
                    uint32_t frames, float* busLeft, float* busRight);

// The same with one gain per side for the whole block.
VoicePeaks AddToBusSteady(const float* voiceLeft, const float* voiceRight, float gainLeft, float gainRight,
                          uint32_t frames, float* busLeft, float* busRight);

// Bus to 16-bit interleaved stereo, with a linear output gain ramp
// (gain + i * gainStep) and clipping at full scale.
void BusToPcm(const float* left, const float* right, float gain, float gainStep, uint32_t frames, int16_t* out);

// The limiter's loops: the gain each frame needs to stay within `ceiling`,
// min(1, ceiling / max(|left[i]|, |right[i]|)), and gains applied.
void GainNeeds(const float* left, const float* right, float ceiling, uint32_t frames, float* needs);
void ApplyGains(float* left, float* right, const float* gains, uint32_t frames);

// Largest |value| of a planar stereo block.
float BusPeak(const float* left, const float* right, uint32_t frames);

}  // namespace audio
}  // namespace platform
