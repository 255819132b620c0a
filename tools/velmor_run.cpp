// velmor-run: runs the script game in ./DATA/ (see velmor_runner.cpp).
#include "display_settings.h"
#include "velmor_runner.h"
#include "vlm_window.h"

int main(int argc, char** argv) {
    return platform::RunWithDisplayOptions(argc, argv, "velmor-run", "1.0", [] { return true; },
                                           [] { return VelmorEntryPoint(RunnerMain); });
}
