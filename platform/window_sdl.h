// The SDL side of the game window, for the parts of the platform that draw
// into it (the OpenGL device).
#pragma once

#include <SDL.h>

namespace platform {

class GameWindow;

// The SDL window behind a game window; null for windows of another system.
SDL_Window* SdlWindowOf(GameWindow* window);

// Alt+Enter switches the game between a window and the whole screen; the
// game's keyboard never sees that Return.
bool IsAltEnter(const SDL_Keysym& key);

// Starts SDL's video subsystem on a display the player can see. When no
// display can be reached SDL falls back to its offscreen driver, and a game
// would then run invisibly; that counts as a failure (with SDL's error set)
// unless SDL_VIDEODRIVER asked for that driver by name. Pair with
// SDL_QuitSubSystem(SDL_INIT_VIDEO).
bool InitSdlVideo();

// The hidden OpenGL window the graphics layer read the adapter through:
// kept, the next game window is that window, resized and titled, instead of
// a second one (the display's OpenGL visual is then chosen once at start).
// A newer probe window replaces an older one; ReleaseProbeWindow destroys
// the one kept, if any.
void KeepProbeWindow(SDL_Window* window);
void ReleaseProbeWindow();

// The attributes every OpenGL context of the program is made with (3.3
// core, double-buffered, no depth); set before an OpenGL window is created.
void SetGlContextAttributes();

}  // namespace platform
