#include "frame_pacer.h"

#include "system.h"

namespace vd3d {

namespace {

bool g_frameCap = true;

// Vsync that holds presents at all takes about a period for each; presents
// that come back in less than half of that have not been held.
constexpr uint32_t kVsyncCheckPresents = 30;

}  // namespace

void SetFrameCap(bool on) { g_frameCap = on; }

bool FrameCapOn() { return g_frameCap; }

void FramePacer::Start(uint32_t refreshRate, bool vsync) {
    if (refreshRate == 0) refreshRate = kDefaultRefreshRate;
    m_periodUs = (1000000u + refreshRate / 2) / refreshRate;
    m_sleeping = !vsync;
    m_deadlineUs = 0;
    m_checkedPresents = 0;
    m_checkStartUs = 0;
}

void FramePacer::AfterPresent() {
    const uint64_t now = platform::GetSystem().Microseconds();
    if (m_sleeping) {
        SleepOutTheFrame(now);
    } else {
        CheckVsync(now);
    }
}

// A vsync that was promised but does not hold the presents (a driver setting
// can override the program's request) leaves the pacing to the sleeps.
void FramePacer::CheckVsync(uint64_t now) {
    if (m_checkedPresents == 0) m_checkStartUs = now;
    if (++m_checkedPresents <= kVsyncCheckPresents) return;
    if (now - m_checkStartUs < kVsyncCheckPresents * m_periodUs / 2) {
        m_sleeping = true;
        return;
    }
    m_checkedPresents = 1;
    m_checkStartUs = now;
}

// Each present is due one period after the previous one was. A frame that
// ran late is not slept after; a little late, the next one may be shorter so
// the rate holds; far behind (a stall), pacing starts over from now.
void FramePacer::SleepOutTheFrame(uint64_t now) {
    if (m_deadlineUs == 0) {
        // The first frame has nothing to be measured from.
        m_deadlineUs = now + m_periodUs;
        return;
    }
    if (now < m_deadlineUs) {
        platform::GetSystem().Sleep(m_deadlineUs - now);
        m_deadlineUs += m_periodUs;
    } else if (now - m_deadlineUs <= m_periodUs) {
        m_deadlineUs += m_periodUs;
    } else {
        m_deadlineUs = now + m_periodUs;
    }
}

}  // namespace vd3d
