#include "presentation.h"

#include "letterbox.h"

namespace platform {

namespace {
PresentationGeometry g_geometry;
}

void SetPresentationGeometry(int windowW, int windowH, int bufferW, int bufferH) {
    g_geometry = PresentationGeometry{windowW, windowH, bufferW, bufferH};
}

PresentationGeometry GetPresentationGeometry() { return g_geometry; }

void WindowPointToBuffer(int wx, int wy, int& bx, int& by) {
    const PresentationGeometry& g = g_geometry;
    const Letterbox box = FitLetterbox(g.windowWidth, g.windowHeight, g.bufferWidth, g.bufferHeight);
    WindowToBuffer(box, g.bufferWidth, g.bufferHeight, wx, wy, bx, by);
}

}  // namespace platform
