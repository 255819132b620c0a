// The one table that turns SDL scancodes (physical key positions) into
// DirectInput key codes.
#pragma once

#include <cstdint>

namespace platform {

// The DirectInput key code of an SDL scancode; 0 for a key DirectInput has no
// code for (and for anything out of range).
uint8_t DikFromScancode(int scancode);

}  // namespace platform
