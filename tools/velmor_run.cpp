// velmor-run: runs the script game in ./DATA/ (see velmor_runner.cpp).
#include "velmor_runner.h"
#include "vlm_window.h"

int main() { return VelmorEntryPoint(RunnerMain); }
