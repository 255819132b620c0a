// The SDL side of the game window, for the parts of the platform that draw
// into it (the OpenGL device).
#pragma once

#include <SDL.h>

namespace platform {

class GameWindow;

// The SDL window behind a game window; null for windows of another system.
SDL_Window* SdlWindowOf(GameWindow* window);

// The attributes every OpenGL context of the program is made with (3.3
// core, double-buffered, no depth); set before an OpenGL window is created.
void SetGlContextAttributes();

}  // namespace platform
