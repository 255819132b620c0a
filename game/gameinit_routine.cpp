#include "gameinit_routine.h"

#include "cvelmor.h"

void GameModInit() {}

uint8_t GameFrame() { return 1; }
