// What the X server holds for a window, read over a connection of the test's
// own (not the GL read-back). Kept apart from the tests: Xlib's macros clash
// with GoogleTest's names.
#pragma once

#include <cstdint>
#include <vector>

struct SDL_Window;

namespace gltest {

struct ServerImage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first
};

// An empty image when the window is not an X11 window or cannot be read.
ServerImage ReadServerImage(SDL_Window* window);

}  // namespace gltest
