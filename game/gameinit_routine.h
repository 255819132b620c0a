// What the game does once the engine has started, and its per-frame routine.
#pragma once

#include <cstdint>

void GameModInit();
uint8_t GameFrame();
