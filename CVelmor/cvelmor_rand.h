// The runtime's pseudo-random generator, shared by the game board, the
// randomizer and the GUI timer: the same seed deals the same sequence.
#pragma once

#include <cstdint>

constexpr int V2D_RAND_MAX = 32767;

void V2DSrand(uint32_t seed);
// The next number, 0 to 32767.
int V2DRand();
