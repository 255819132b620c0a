// The script runner with the frame cap off, for the start-up run of
// compare_love.sh: LÖVE runs there with vsync off, so neither waits for a
// refresh. Frames that repeat the last shown one are skipped as always.
#include "frame_pacer.h"
#include "velmor_runner.h"
#include "vlm_window.h"

int main() {
    vd3d::SetFrameCap(false);
    return VelmorEntryPoint(RunnerMain);
}
