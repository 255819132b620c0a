// The script runner with the frame cap off, for the script-quads benchmark
// (run_script_quads.sh): frames go as fast as the device can draw them, and
// every frame is drawn, also one that repeats the last. Takes velmor-run's
// display options (--windowed, --fullscreen).
#include "d3d8_gl.h"
#include "display_settings.h"
#include "frame_pacer.h"
#include "velmor_runner.h"
#include "vlm_window.h"

int main(int argc, char** argv) {
    vd3d::SetFrameCap(false);
    vd3d::SetRepeatedFramesSkipped(false);
    return platform::RunWithDisplayOptions(argc, argv, "bench_script_quads", "1.0", [] { return true; },
                                           [] { return VelmorEntryPoint(RunnerMain); });
}
