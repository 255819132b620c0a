// The whole game under ten thousand frames of a fixed-seed monkey: random
// mouse, clicks on and off the board and the buttons, held buttons, typed
// names, F2 and F9, focus lost and regained, lost devices, the game closed
// and started again, and rounds finished whenever the board allows.
#include <gtest/gtest.h>

#include "game_soak.h"
#include "test_support.h"

namespace {

class GameSoakTest : public EngineTest {};

TEST_F(GameSoakTest, TenThousandFramesOfRandomPlayEndCleanlyWithEveryResultOnDisk) {
    soak::SoakSettings settings;
    settings.frames = 10000;
    settings.seed = 20261208;
    settings.warmUpFrames = 2000;
    settings.dataFolder = QUBLE_GAME_DATA;
    const soak::SoakResult result = soak::RunGameSoak(settings, *system, *input, *d3d);

    for (const std::string& fault : result.faults) ADD_FAILURE() << fault;
    EXPECT_GE(result.frames, settings.frames);
    // The stream reached every part of the game.
    EXPECT_GE(result.rounds, 10u);
    EXPECT_GE(result.records, 2u);
    EXPECT_GE(result.starts, 2u) << "the game was never closed and started again";
    EXPECT_GE(result.focusLosses, 2u);
    EXPECT_GE(result.deviceLosses, 2u);
    EXPECT_GE(result.screenshots, 1u);
    EXPECT_GT(result.bestTime, 0.0f);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Under the sanitizers freed memory waits in quarantine, so resident
    // memory says nothing there (LeakSanitizer checks leaks instead).
    EXPECT_LT(result.endPeakKB - result.warmUpPeakKB, 2048)
        << "peak resident memory grew from " << result.warmUpPeakKB << " KB at frame " << settings.warmUpFrames
        << " to " << result.endPeakKB << " KB";
#endif
    std::cout << "soak: " << result.frames << " frames, " << result.steps << " passes, " << result.starts
              << " starts, " << result.rounds << " rounds, " << result.records << " records, "
              << result.focusLosses << " focus losses, " << result.deviceLosses << " device losses, "
              << result.screenshots << " screenshots, best " << result.bestTime << " s, "
              << result.frames / result.cpuSeconds << " frames/s of CPU, peak RSS " << result.warmUpPeakKB << " -> "
              << result.endPeakKB << " KB\nmemory (frame: peak/now KB):";
    for (const soak::MemorySample& sample : result.memory)
        std::cout << " " << sample.frame << ": " << sample.peakKB << "/" << sample.currentKB;
    std::cout << "\n";
}

}  // namespace
