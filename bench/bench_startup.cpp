// The script runner with the frame cap off, for the start-up run of
// compare_love.sh: LÖVE runs there with vsync off, so neither waits for a
// refresh. Frames that repeat the last shown one are skipped as always.
// Takes velmor-run's display options (--windowed, --fullscreen).
#include "display_settings.h"
#include "frame_pacer.h"
#include "velmor_runner.h"
#include "vlm_window.h"

int main(int argc, char** argv) {
    vd3d::SetFrameCap(false);
    return platform::RunWithDisplayOptions(argc, argv, "bench_startup", "1.0", [] { return true; },
                                           [] { return VelmorEntryPoint(RunnerMain); });
}
