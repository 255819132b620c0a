// libFuzzer target: the audio layer's sample, stream and module loading.
#include "fuzz_engine_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzAudioFile(data, size); }
