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

// The gain for the newest frame, from the least need over the look-ahead
// and the slow recovery after a peak.
float Limiter::NextGain(float needed) {
    const uint32_t capacity = static_cast<uint32_t>(m_queueFrame.size());
    const auto wrap = [capacity](uint32_t slot) { return slot >= capacity ? slot - capacity : slot; };
    // Needs at least as large as this one no longer matter.
    while (m_queueSize > 0) {
        const uint32_t back = wrap(m_queueFront + m_queueSize - 1);
        if (m_queueNeed[back] < needed) break;
        --m_queueSize;
    }
    const uint32_t slot = wrap(m_queueFront + m_queueSize);
    m_queueFrame[slot] = m_frame;
    m_queueNeed[slot] = needed;
    ++m_queueSize;
    while (m_queueFrame[m_queueFront] + m_lookahead <= m_frame) {
        m_queueFront = wrap(m_queueFront + 1);
        --m_queueSize;
    }
    const float hold = m_queueNeed[m_queueFront];
    m_gain = std::min(hold, std::min(1.0f, m_gain * m_releaseFactor));
    return m_gain;
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
    m_applied.resize(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        const float gain = NextGain(peak > CEILING ? CEILING / peak : 1.0f);
        // The applied gain is the average of the last m_lookahead gains, so
        // it reaches a peak's need exactly when the delayed peak goes out.
        m_recentSum += gain - m_recent[m_recentSlot];
        m_recent[m_recentSlot] = gain;
        if (++m_recentSlot == m_lookahead) {
            m_recentSlot = 0;
            m_recentSum = 0.0;  // no rounding drift over long runs
            for (float g : m_recent) m_recentSum += g;
        }
        m_applied[i] = static_cast<float>(m_recentSum / m_lookahead);
        m_framesSinceLimiting = gain < 1.0f ? 0 : std::min(m_framesSinceLimiting + 1, m_lookahead);
        ++m_frame;
    }
    Delay(left, right, frames);
    for (uint32_t i = 0; i < frames; ++i) {
        left[i] *= m_applied[i];
        right[i] *= m_applied[i];
    }
}

}  // namespace audio
}  // namespace platform
