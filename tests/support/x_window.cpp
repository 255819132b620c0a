#include "x_window.h"

#include <algorithm>
#include <string>

// After the other headers: X11 defines macros (None, Bool) that they use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

float XWindowView::SaturatedShare(float x0, float y0, float x1, float y1) const {
    int saturated = 0, total = 0;
    for (float gy = y0; gy < y1; gy += 4) {
        for (float gx = x0; gx < x1; gx += 4) {
            const int wx = ToWindowX(gx), wy = ToWindowY(gy);
            if (wx < 0 || wy < 0 || wx >= width || wy >= height) continue;
            const uint32_t c = rgb[static_cast<size_t>(wy) * width + wx];
            const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            saturated += std::max({r, g, b}) - std::min({r, g, b}) > 90;
            ++total;
        }
    }
    return total ? static_cast<float>(saturated) / total : 0.0f;
}

uint32_t XWindowView::At(float gameX, float gameY) const {
    const int wx = ToWindowX(gameX), wy = ToWindowY(gameY);
    if (wx < 0 || wy < 0 || wx >= width || wy >= height) return 0;
    return rgb[static_cast<size_t>(wy) * width + wx];
}

namespace {

Window FindNamed(Display* display, Window under, const char* name) {
    char* title = nullptr;
    if (XFetchName(display, under, &title) && title) {
        const bool match = std::string(title) == name;
        XFree(title);
        if (match) return under;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, under, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) found = FindNamed(display, children[i], name);
        if (children) XFree(children);
    }
    return found;
}

}  // namespace

XWindowView ViewWindow(const char* name) {
    XWindowView view;
    // Windows come and go while the tree is read: an error is no window.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return view;
    const Window window = FindNamed(display, DefaultRootWindow(display), name);
    XWindowAttributes attributes;
    if (window && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) {
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &view.x, &view.y, &child);
        view.id = window;
        view.width = attributes.width;
        view.height = attributes.height;
        // Read from the screen, where the X server holds what the player
        // sees; the part of the window off the screen stays black.
        view.rgb.assign(static_cast<size_t>(view.width) * view.height, 0);
        const int screenW = DisplayWidth(display, DefaultScreen(display));
        const int screenH = DisplayHeight(display, DefaultScreen(display));
        const int left = std::max(view.x, 0), top = std::max(view.y, 0);
        const int right = std::min(view.x + view.width, screenW), bottom = std::min(view.y + view.height, screenH);
        if (right > left && bottom > top) {
            if (XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, right - left, bottom - top,
                                          AllPlanes, ZPixmap)) {
                for (int y = top; y < bottom; ++y)
                    for (int x = left; x < right; ++x)
                        view.rgb[static_cast<size_t>(y - view.y) * view.width + (x - view.x)] =
                            XGetPixel(image, x - left, y - top) & 0xFFFFFFu;
                XDestroyImage(image);
            }
        }
    }
    XCloseDisplay(display);
    return view;
}

float ChangedShare(const XWindowView& a, const XWindowView& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0f;
    size_t changed = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) changed += a.rgb[i] != b.rgb[i];
    return static_cast<float>(changed) / static_cast<float>(a.rgb.size());
}

