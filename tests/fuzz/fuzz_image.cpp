// libFuzzer target: the image decoders behind textures.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzImage(data, size); }
