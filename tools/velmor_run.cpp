// velmor-run: runs the script game in ./DATA/ (see velmor_runner.cpp).
#include <cstdio>

#include "display_settings.h"
#include "user_folder.h"
#include "velmor_runner.h"
#include "vlm_window.h"

namespace {

// Without a data folder there is nothing to run: say so instead of opening
// an empty window.
bool HasDataFolder() {
    if (platform::IsFolder("DATA")) return true;
    std::fprintf(stderr,
                 "velmor-run: no DATA folder here; start velmor-run in the folder that holds your game's DATA/\n");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    return platform::RunWithDisplayOptions(argc, argv, "velmor-run", "1.0", HasDataFolder,
                                           [] { return VelmorEntryPoint(RunnerMain); });
}
