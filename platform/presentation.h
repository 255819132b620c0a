// How the back buffer is shown in the game window: the graphics device sets
// the sizes whenever it (re)creates the window or the back buffer; the mouse
// reads them to turn window pixels into back-buffer pixels.
#pragma once

namespace platform {

struct PresentationGeometry {
    // The window in the units of mouse positions (SDL_GetWindowSize).
    int windowWidth = 0;
    int windowHeight = 0;
    // The back buffer in pixels.
    int bufferWidth = 0;
    int bufferHeight = 0;
};

void SetPresentationGeometry(int windowW, int windowH, int bufferW, int bufferH);
PresentationGeometry GetPresentationGeometry();

// The back-buffer pixel under a window pixel, through the letterbox; the
// point is left as it is while no geometry has been set.
void WindowPointToBuffer(int wx, int wy, int& bx, int& by);

}  // namespace platform
