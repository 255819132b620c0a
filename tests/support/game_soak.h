// A monkey soak of the whole game on the headless platform: the real entry
// point and game main routine on a copy of the game's data, driven by a
// fixed-seed stream of random player input (mouse moves, clicks on and off
// the board and the buttons, held buttons, typed text, F2 and F9, focus
// lost and regained, lost devices, closing the game and starting it again)
// that also finishes rounds whenever the board allows. Every round's result
// is checked against the best-result file as it happens, every run's log
// must end with its footer and no fatal error, and peak resident memory is
// sampled along the way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class HeadlessSystem;
class HeadlessInputSystem;
}  // namespace platform
namespace vd3d {
struct RecordingControl;
}

namespace soak {

struct SoakSettings {
    uint64_t frames = 10000;  // game frames to run (frames the game drew)
    uint32_t seed = 1;
    // Peak resident memory is compared between this frame and the end.
    uint64_t warmUpFrames = 2000;
    // A memory sample every this many frames (0: only at warm-up and end).
    uint64_t sampleEvery = 1000;
    // Copied into the working directory as DATA/ before the first start.
    std::string dataFolder;
};

struct MemorySample {
    uint64_t frame;
    long peakKB;     // peak resident set (VmHWM)
    long currentKB;  // resident set now (VmRSS)
};

struct SoakResult {
    uint64_t frames = 0;       // frames the game drew
    uint64_t steps = 0;        // main-loop passes, idle ones included
    uint64_t starts = 0;       // game starts (a closed game is started again)
    uint64_t rounds = 0;       // rounds finished
    uint64_t records = 0;      // new best results saved
    uint64_t focusLosses = 0;
    uint64_t deviceLosses = 0;
    uint64_t screenshots = 0;
    float bestTime = 0.0f;     // on disk at the end; 0 when none was saved
    float bestSavedRound = 0.0f;  // best time of the rounds that were saved
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    std::vector<MemorySample> memory;
    long warmUpPeakKB = 0;
    long endPeakKB = 0;
    // What went wrong, in order; empty after a clean soak.
    std::vector<std::string> faults;
};

// Runs the soak in the current working directory, which must be a scratch
// folder: the game's data is copied there and the game writes there. The
// headless platform must be installed (the objects passed are the ones in
// use) with the offline audio output and a private instance lock.
SoakResult RunGameSoak(const SoakSettings& settings, platform::HeadlessSystem& system,
                       platform::HeadlessInputSystem& input, vd3d::RecordingControl& d3d);

// The process's peak and current resident memory in KB (0 when unknown).
MemorySample ReadMemory(uint64_t frame);

}  // namespace soak
