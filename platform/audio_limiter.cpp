#include "audio_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio_resampler.h"

namespace platform {
namespace audio {

namespace {

constexpr double LOOKAHEAD_SECONDS = 0.003;
// After a peak the gain comes back up by 6 dB in 60 ms.
constexpr double RELEASE_DB = 6.0;
constexpr double RELEASE_SECONDS = 0.06;
constexpr float CEILING = 1.0f;

uint32_t LookaheadFrames(uint32_t rate) {
    return std::max<uint32_t>(2, static_cast<uint32_t>(std::lround(LOOKAHEAD_SECONDS * rate)));
}

}  // namespace

Limiter::Limiter(uint32_t rate)
    : m_lookahead(LookaheadFrames(rate)),
      m_releaseFactor(static_cast<float>(std::pow(10.0, RELEASE_DB / 20.0 / (RELEASE_SECONDS * rate)))),
      m_heldLeft(m_lookahead - 1, 0.0f),
      m_heldRight(m_lookahead - 1, 0.0f),
      m_queueFrame(m_lookahead + 1),
      m_queueNeed(m_lookahead + 1),
      m_recent(m_lookahead, 1.0f),
      m_recentSum(m_lookahead),
      m_framesSinceLimiting(m_lookahead) {}

// Gives out the held frames and the input but the last Delay() frames,
// which are held in turn.
void Limiter::Delay(float* left, float* right, uint32_t frames) {
    const uint32_t held = Delay();
    const auto shift = [held, frames, this](float* side, std::vector<float>& store) {
        m_scratch.resize(static_cast<size_t>(held) + frames);
        std::memcpy(m_scratch.data(), store.data(), held * sizeof(float));
        std::memcpy(m_scratch.data() + held, side, frames * sizeof(float));
        std::memcpy(side, m_scratch.data(), frames * sizeof(float));
        std::memcpy(store.data(), m_scratch.data() + frames, held * sizeof(float));
    };
    shift(left, m_heldLeft);
    shift(right, m_heldRight);
}

void Limiter::FindNeeds(const float* left, const float* right, uint32_t frames) {
    m_needs.resize(frames);
    GainNeeds(left, right, CEILING, frames, m_needs.data());
}

void Limiter::Process(float* left, float* right, uint32_t frames) {
    if (frames == 0) return;
    if (AtRest() && BusPeak(left, right, frames) <= CEILING) {
        Delay(left, right, frames);
        m_frame += frames;
        m_queueSize = 0;
        m_recentSum = m_lookahead;
        return;
    }
    FindNeeds(left, right, frames);
    m_applied.resize(frames);
    const uint32_t capacity = static_cast<uint32_t>(m_queueFrame.size());
    const auto wrap = [capacity](uint32_t slot) { return slot >= capacity ? slot - capacity : slot; };
    // The loop keeps its state in locals: stores to the float arrays would
    // otherwise make the compiler reload every member each frame.
    uint64_t* queueFrame = m_queueFrame.data();
    float* queueNeed = m_queueNeed.data();
    float* recent = m_recent.data();
    const float* needs = m_needs.data();
    float* applied = m_applied.data();
    uint32_t front = m_queueFront, size = m_queueSize, slot = m_recentSlot;
    uint32_t sinceLimiting = m_framesSinceLimiting;
    uint64_t frame = m_frame;
    double sum = m_recentSum;
    const uint32_t lookahead = m_lookahead;
    const double perGain = 1.0 / lookahead;
    const float release = m_releaseFactor;
    float gain = m_gain;
    for (uint32_t i = 0; i < frames; ++i, ++frame) {
        const float need = needs[i];
        if (need < 1.0f) {
            // Needs at least as large as this one no longer matter.
            while (size > 0 && queueNeed[wrap(front + size - 1)] >= need) --size;
            const uint32_t back = wrap(front + size);
            queueFrame[back] = frame;
            queueNeed[back] = need;
            ++size;
        }
        if (size > 0 && queueFrame[front] + lookahead <= frame) {
            front = wrap(front + 1);
            --size;
        }
        // The least need over the look-ahead, and the slow recovery after a peak.
        const float hold = size > 0 ? queueNeed[front] : 1.0f;
        gain = std::min(hold, std::min(1.0f, gain * release));
        // The applied gain is the average of the last m_lookahead gains, so
        // it reaches a peak's need exactly when the delayed peak goes out.
        sum += gain - recent[slot];
        recent[slot] = gain;
        if (++slot == lookahead) {
            slot = 0;
            sum = 0.0;  // no rounding drift over long runs
            for (uint32_t k = 0; k < lookahead; ++k) sum += recent[k];
        }
        applied[i] = static_cast<float>(sum * perGain);
        sinceLimiting = gain < 1.0f ? 0 : std::min(sinceLimiting + 1, lookahead);
    }
    m_queueFront = front;
    m_queueSize = size;
    m_recentSlot = slot;
    m_framesSinceLimiting = sinceLimiting;
    m_frame = frame;
    m_recentSum = sum;
    m_gain = gain;
    Delay(left, right, frames);
    ApplyGains(left, right, m_applied.data(), frames);
}

}  // namespace audio
}  // namespace platform
