// libFuzzer target: the best-result file.
#include "fuzz_engine_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzHighScore(data, size); }
