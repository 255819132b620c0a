// A window on the X server as a player sees it: where it is, how large, and
// the pixels the screen holds for it (the game's own screenshot reads the
// frame before it is shown, so it can look right while the window is not).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// The game's window: where it is, how large, and its pixels.
struct XWindowView {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, top row first

    // Where a point of the game's 800x600 picture lands in the window
    // (scaled with its aspect kept, centred).
    float Scale() const { return std::min(width / 800.0f, height / 600.0f); }
    int ToWindowX(float gameX) const { return static_cast<int>((width - 800 * Scale()) / 2 + gameX * Scale()); }
    int ToWindowY(float gameY) const { return static_cast<int>((height - 600 * Scale()) / 2 + gameY * Scale()); }
    // Share of the picture's pixels in a rectangle, every 4 game pixels, that
    // are strongly coloured (tiles and the Start button are).
    float SaturatedShare(float x0, float y0, float x1, float y1) const;
    // The colour at a point of the game's picture; 0 outside the window.
    uint32_t At(float gameX, float gameY) const;
};

// The mapped window of that title with its pixels; id 0 when there is none.
XWindowView ViewWindow(const char* name);

// Share of the pixels two views of one window size differ in; 1 for views
// of different sizes.
float ChangedShare(const XWindowView& a, const XWindowView& b);
