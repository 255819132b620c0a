// The long monkey soak of the whole game on the headless platform: prints
// frames per second, rounds, records and the resident-memory curve, and
// fails (exit code 1) on any fault the soak found.
//
//   soak_game [frames (100000)] [seed (20261208)]
//
// Memory is compared between frame 10000 and the end in runs of at least
// 20000 frames; shorter runs (such as the session under valgrind) warm up
// over their first half and only print the figures.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "audio_output.h"
#include "d3d8_recording.h"
#include "frame_pacer.h"
#include "game_soak.h"
#include "input_headless.h"
#include "system_headless.h"
#include "window_headless.h"

int main(int argc, char** argv) {
    soak::SoakSettings settings;
    settings.frames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    settings.seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20261208u;
    settings.warmUpFrames = settings.frames >= 20000 ? 10000 : settings.frames / 2;
    settings.sampleEvery = 5000;
    settings.dataFolder = QUBLE_GAME_DATA;

    // A scratch folder of its own, and an instance lock no running game holds.
    char folder[] = "/tmp/quble-soak-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
        std::perror("soak_game: scratch folder");
        return 2;
    }
    setenv("VELMOR_INSTANCE_LOCK", (std::string("quble-soak ") + folder).c_str(), 1);
    platform::HeadlessSystem& system = platform::InstallHeadlessSystem();
    system.SetMilliseconds(10000);
    platform::HeadlessInputSystem& input = platform::InstallHeadlessInputSystem();
    platform::InstallHeadlessWindowSystem();
    platform::SetAudioOutput(platform::AudioOutput::Offline);
    const std::shared_ptr<vd3d::RecordingControl> d3d = vd3d::InstallRecordingDirect3D();
    vd3d::SetFrameCap(false);

    const soak::SoakResult result = soak::RunGameSoak(settings, system, input, *d3d);

    std::printf("frames %llu (main-loop passes %llu), seed %u\n", static_cast<unsigned long long>(result.frames),
                static_cast<unsigned long long>(result.steps), settings.seed);
    std::printf("game starts %llu, rounds %llu, new records %llu, best on disk %.3f s (best saved round %.3f s)\n",
                static_cast<unsigned long long>(result.starts), static_cast<unsigned long long>(result.rounds),
                static_cast<unsigned long long>(result.records), static_cast<double>(result.bestTime),
                static_cast<double>(result.bestSavedRound));
    std::printf("focus losses %llu, device losses %llu, screenshots %llu\n",
                static_cast<unsigned long long>(result.focusLosses),
                static_cast<unsigned long long>(result.deviceLosses),
                static_cast<unsigned long long>(result.screenshots));
    std::printf("%.0f frames/s of CPU time (%.1f s CPU, %.1f s wall, %.0f frames/s wall)\n",
                static_cast<double>(result.frames) / result.cpuSeconds, result.cpuSeconds, result.wallSeconds,
                static_cast<double>(result.frames) / result.wallSeconds);
    std::printf("memory, frame: peak / current resident KB\n");
    for (const soak::MemorySample& sample : result.memory)
        std::printf("  %8llu: %7ld / %7ld\n", static_cast<unsigned long long>(sample.frame), sample.peakKB,
                    sample.currentKB);
    const long growth = result.endPeakKB - result.warmUpPeakKB;
    std::printf("peak resident memory at frame %llu: %ld KB, at the end: %ld KB (%+ld KB)\n",
                static_cast<unsigned long long>(settings.warmUpFrames), result.warmUpPeakKB, result.endPeakKB, growth);

    bool failed = false;
    for (const std::string& fault : result.faults) {
        std::printf("FAULT %s\n", fault.c_str());
        failed = true;
    }
    if (settings.frames >= 20000 && growth >= 2048) {
        std::printf("FAULT peak resident memory grew by 2 MB or more after the warm-up\n");
        failed = true;
    }
    if (chdir("/") == 0) std::filesystem::remove_all(folder);
    std::printf(failed ? "soak FAILED\n" : "soak passed\n");
    return failed ? 1 : 0;
}
