// The back buffer is shown scaled into the window with its aspect kept
// (bars on two sides). Presentation and the mouse use the same mapping.
#pragma once

namespace platform {

struct Letterbox {
    int x = 0, y = 0;          // top-left of the picture in window pixels
    int width = 0, height = 0; // size of the picture in window pixels
};

inline Letterbox FitLetterbox(int windowW, int windowH, int bufferW, int bufferH) {
    Letterbox box;
    if (windowW <= 0 || windowH <= 0 || bufferW <= 0 || bufferH <= 0) return box;
    // Compare windowW/windowH with bufferW/bufferH without rounding.
    if (static_cast<long long>(windowW) * bufferH >= static_cast<long long>(windowH) * bufferW) {
        box.height = windowH;
        box.width = static_cast<int>(static_cast<long long>(bufferW) * windowH / bufferH);
    } else {
        box.width = windowW;
        box.height = static_cast<int>(static_cast<long long>(bufferH) * windowW / bufferW);
    }
    box.x = (windowW - box.width) / 2;
    box.y = (windowH - box.height) / 2;
    return box;
}

// A window pixel to the back-buffer pixel under it (may lie outside the
// buffer when the point is on a bar).
inline void WindowToBuffer(const Letterbox& box, int bufferW, int bufferH, int wx, int wy, int& bx, int& by) {
    if (box.width <= 0 || box.height <= 0) {
        bx = wx;
        by = wy;
        return;
    }
    const long long dx = static_cast<long long>(wx - box.x) * bufferW;
    const long long dy = static_cast<long long>(wy - box.y) * bufferH;
    // Floor division, so points left of or above the picture map below 0.
    bx = static_cast<int>(dx >= 0 ? dx / box.width : -((-dx + box.width - 1) / box.width));
    by = static_cast<int>(dy >= 0 ? dy / box.height : -((-dy + box.height - 1) / box.height));
}

}  // namespace platform
