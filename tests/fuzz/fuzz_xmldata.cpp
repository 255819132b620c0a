// libFuzzer target: XML variables (XMLDATA).
#include "fuzz_engine_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzXMLData(data, size); }
