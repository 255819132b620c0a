// The script runner with the frame cap off, for the script-quads benchmark
// (run_script_quads.sh): frames go as fast as the device can draw them, and
// every frame is drawn, also one that repeats the last.
#include "d3d8_gl.h"
#include "frame_pacer.h"
#include "velmor_runner.h"
#include "vlm_window.h"

int main() {
    vd3d::SetFrameCap(false);
    vd3d::SetRepeatedFramesSkipped(false);
    return VelmorEntryPoint(RunnerMain);
}
