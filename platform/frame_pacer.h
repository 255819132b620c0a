// The frame cap of the 3-D devices. A device asks the system for vsync
// (adaptive first, then plain) and checks the answer; where it gets none, or
// where presents still come back much faster than the display refreshes (and
// vsync is then given up), it sleeps after each present until one refresh
// period has passed since the previous one. The cap is on unless turned off: benchmarks and tests turn it
// off to see how fast frames can go.
#pragma once

#include <cstdint>

namespace vd3d {

// Read by every device at its next present.
void SetFrameCap(bool on);
bool FrameCapOn();

// The refresh rate assumed where the display does not tell its own.
constexpr uint32_t kDefaultRefreshRate = 60;

class FramePacer {
public:
    // Starts pacing afresh at `refreshRate` Hz (0: unknown); `vsync` tells
    // whether the system promised to hold each present to the refresh.
    void Start(uint32_t refreshRate, bool vsync);
    // Called after each present; sleeps out the rest of the frame when the
    // frames are paced by sleeping.
    void AfterPresent();
    bool PacedBySleeping() const { return m_sleeping; }
    uint64_t PeriodMicroseconds() const { return m_periodUs; }

private:
    void CheckVsync(uint64_t now);
    void SleepOutTheFrame(uint64_t now);

    uint64_t m_periodUs = 0;
    bool m_sleeping = true;
    // The earliest moment the next present may return; 0 before the first.
    uint64_t m_deadlineUs = 0;
    // Presents counted since the check of vsync began, and when it began.
    uint32_t m_checkedPresents = 0;
    uint64_t m_checkStartUs = 0;
};

}  // namespace vd3d
