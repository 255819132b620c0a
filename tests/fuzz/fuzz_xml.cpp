// libFuzzer target: the XML reader.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzXMLDocument(data, size); }
