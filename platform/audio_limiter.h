// The mix bus limiter. The bus is floating point, so voices add up with all
// the headroom they need; the limiter then brings a sum that would pass full
// scale back under it smoothly instead of clipping it. It looks ahead a few
// milliseconds: the gain falls along a straight line to what the coming
// peak needs and arrives there as the peak does, then rises again slowly.
// Audio that never passes full scale leaves unchanged, only delayed.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {
namespace audio {

class Limiter {
public:
    explicit Limiter(uint32_t rate);

    // How many frames the output lags the input.
    uint32_t Delay() const { return m_lookahead - 1; }

    // Limits a planar block in place; the block that comes out is the input
    // delayed by Delay() frames.
    void Process(float* left, float* right, uint32_t frames);

private:
    bool AtRest() const { return m_gain >= 1.0f && m_framesSinceLimiting >= m_lookahead; }
    void Delay(float* left, float* right, uint32_t frames);
    // The gain each frame of a block needs on its own.
    void FindNeeds(const float* left, const float* right, uint32_t frames);

    const uint32_t m_lookahead;   // frames; the attack takes as long
    const float m_releaseFactor;  // gain growth per frame while recovering

    // Audio not yet given out: the last Delay() frames of input.
    std::vector<float> m_heldLeft, m_heldRight, m_scratch;
    // The frames under full scale need no gain reduction; of the others
    // within the look-ahead, a queue of (frame, need) with needs rising from
    // front to back: the front is the least need.
    std::vector<uint64_t> m_queueFrame;
    std::vector<float> m_queueNeed;
    uint32_t m_queueFront = 0, m_queueSize = 0;
    // The last m_lookahead gains, averaged into the applied gain.
    std::vector<float> m_recent;
    uint32_t m_recentSlot = 0;
    double m_recentSum;
    uint64_t m_frame = 0;
    float m_gain = 1.0f;
    uint32_t m_framesSinceLimiting;
    std::vector<float> m_needs, m_applied;
};

}  // namespace audio
}  // namespace platform
