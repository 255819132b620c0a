// The script runner: the game's start-up without a game, handing control to
// the script function `main` (see velmor_runner.cpp).
#pragma once

class CVelmor;

// The main routine for VelmorEntryPoint.
void RunnerMain(CVelmor* engine);
