#include "x_server_image.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace gltest {

ServerImage ReadServerImage(SDL_Window* window) {
    ServerImage result;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return result;
    // What the window's own connection sent has been done before the read.
    XSync(info.info.x11.display, False);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return result;
    const Window target = info.info.x11.window;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, target, &attributes)) {
        XImage* image = XGetImage(display, target, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (image) {
            result.width = attributes.width;
            result.height = attributes.height;
            result.pixels.reserve(static_cast<size_t>(result.width) * result.height);
            for (int y = 0; y < result.height; ++y)
                for (int x = 0; x < result.width; ++x)
                    result.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
            XDestroyImage(image);
        }
    }
    XCloseDisplay(display);
    return result;
}

}  // namespace gltest
