// libFuzzer target: GUI data, enumerations and styles.
#include "fuzz_gui_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGUIData(data, size); }
