// The GUI data fuzz target's body (it needs the GUI library).
#pragma once

#include <cstddef>
#include <cstdint>

// The first byte picks GUI data, an enumeration or a style; the rest is the
// resource's bytes.
int FuzzGUIData(const uint8_t* data, size_t size);
