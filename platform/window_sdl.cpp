// The game window on SDL2. Every window can carry an OpenGL context. A
// window class is the video subsystem itself: registering it starts SDL
// video, unregistering stops it.
#include <SDL.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

#include <set>

#include "display_settings.h"
#include "sdl_events.h"
#include "window.h"
#include "window_sdl.h"

namespace platform {

namespace {

// Whether a window manager that carries out full-screen requests runs on
// the window's X display. Without one (a bare X server, as under Xvfb) a
// full-screen request is never answered and SDL waits a tenth of a second
// for the answer each time the window is shown or closed; the window then
// covers the screen by its own size and position instead. Other systems
// than X11 are taken to have one.
bool FullScreenManaged(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    Display* display = info.info.x11.display;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &left, &data);
    const bool running = status == Success && type == XA_WINDOW && count == 1;
    if (data) XFree(data);
    return running;
#else
    (void)window;
    return true;
#endif
}

struct Borders {
    int top = 0, left = 0, bottom = 0, right = 0;
};

// A window the engine asks for in full screen is shown by the player's
// choice: on the whole screen, or framed and resizable at the remembered
// size. Alt+Enter switches between the two; the engine's picture is scaled
// into whatever the window is, so nothing above the platform notices.
class SdlGameWindow final : public GameWindow {
public:
    explicit SdlGameWindow(SDL_Window* window)
        : m_window(window),
          m_managed(FullScreenManaged(window)),
          m_listener(AddRawEventListener([this](const SDL_Event& event) { OnEvent(event); })) {}
    ~SdlGameWindow() override {
        RemoveRawEventListener(m_listener);
        SDL_DestroyWindow(m_window);
    }

    SDL_Window* Handle() const { return m_window; }

    void SetStyle(WindowStyle style) override {
        m_fullScreen = style == WindowStyle::FullScreen;
        if (m_fullScreen) {
            MarkDisplayChoiceShown();
            ShowByChoice();
        } else {
            ShowFramed(false);
        }
    }

    WindowRect GetWindowRect() override {
        int x = 0, y = 0, w = 0, h = 0;
        SDL_GetWindowPosition(m_window, &x, &y);
        SDL_GetWindowSize(m_window, &w, &h);
        const Borders b = FrameBorders();
        return WindowRect{x - b.left, y - b.top, x + w + b.right, y + h + b.bottom};
    }

    WindowRect GetClientRect() override {
        int w = 0, h = 0;
        SDL_GetWindowSize(m_window, &w, &h);
        return WindowRect{0, 0, w, h};
    }

    void SetPlacement(int x, int y, int width, int height, bool topMost) override {
        // A full-screen window keeps covering the screen, as SDL keeps a
        // window in full-screen mode at the screen's size; one the player
        // keeps in a window stays where and as large as they put it.
        if (m_fullScreen) {
            if (!GetDisplayChoice().windowed && !m_managed)
                SDL_SetWindowAlwaysOnTop(m_window, topMost ? SDL_TRUE : SDL_FALSE);
            return;
        }
        const Borders b = FrameBorders();
        SDL_SetWindowPosition(m_window, x + b.left, y + b.top);
        SDL_SetWindowSize(m_window, width - b.left - b.right, height - b.top - b.bottom);
        SDL_SetWindowAlwaysOnTop(m_window, topMost ? SDL_TRUE : SDL_FALSE);
    }

    void Show() override { SDL_ShowWindow(m_window); }
    void Hide() override { SDL_HideWindow(m_window); }

private:
    void ShowByChoice() {
        if (GetDisplayChoice().windowed)
            ShowFramed(true);
        else
            ShowFullScreen();
    }

    void ShowFullScreen() {
        SDL_SetWindowResizable(m_window, SDL_FALSE);
        SDL_SetWindowBordered(m_window, SDL_FALSE);
        if (m_managed) {
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            CoverScreen();
            SDL_SetWindowAlwaysOnTop(m_window, SDL_TRUE);
        }
    }

    // The player's window: at the remembered size (within the desktop), else
    // the default one, centred. Windows the engine asks for as windows keep
    // their fixed size.
    void ShowFramed(bool playerWindow) {
        if (m_managed) SDL_SetWindowFullscreen(m_window, 0);
        SDL_SetWindowBordered(m_window, SDL_TRUE);
        SDL_SetWindowAlwaysOnTop(m_window, SDL_FALSE);
        SDL_SetWindowResizable(m_window, playerWindow ? SDL_TRUE : SDL_FALSE);
        if (!playerWindow) return;
        SDL_SetWindowMinimumSize(m_window, kPictureWidth / 4, kPictureHeight / 4);
        SDL_Rect desktop{0, 0, kPictureWidth, kPictureHeight};
        SDL_GetDisplayUsableBounds(0, &desktop);
        DisplayChoice choice = GetDisplayChoice();
        if (choice.width <= 0 || choice.height <= 0 || choice.width > desktop.w || choice.height > desktop.h)
            DefaultWindowSize(desktop.w, desktop.h, kPictureWidth, kPictureHeight, choice.width, choice.height);
        SetDisplayChoice(choice);
        SDL_SetWindowSize(m_window, choice.width, choice.height);
        SDL_SetWindowPosition(m_window, desktop.x + (desktop.w - choice.width) / 2,
                              desktop.y + (desktop.h - choice.height) / 2);
    }

    void OnEvent(const SDL_Event& event) {
        if (!m_fullScreen) return;
        if (event.type == SDL_KEYDOWN && !event.key.repeat && IsAltEnter(event.key.keysym) &&
            event.key.windowID == SDL_GetWindowID(m_window)) {
            DisplayChoice choice = GetDisplayChoice();
            choice.windowed = !choice.windowed;
            SetDisplayChoice(choice);
            ShowByChoice();
        } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
                   event.window.windowID == SDL_GetWindowID(m_window)) {
            RememberWindowSize(event.window.data1, event.window.data2);
        }
    }

    // The size the player gave the window, not a maximised one.
    void RememberWindowSize(int width, int height) {
        DisplayChoice choice = GetDisplayChoice();
        if (!choice.windowed || (SDL_GetWindowFlags(m_window) & SDL_WINDOW_MAXIMIZED) || width <= 0 || height <= 0)
            return;
        choice.width = width;
        choice.height = height;
        SetDisplayChoice(choice);
    }

    // Unknown until a window manager has framed the window; zero then.
    Borders FrameBorders() {
        Borders b;
        if (SDL_GetWindowBordersSize(m_window, &b.top, &b.left, &b.bottom, &b.right) != 0) b = Borders{};
        return b;
    }

    void CoverScreen() {
        SDL_Rect screen;
        if (SDL_GetDisplayBounds(0, &screen) != 0) return;
        SDL_SetWindowPosition(m_window, screen.x, screen.y);
        SDL_SetWindowSize(m_window, screen.w, screen.h);
    }

    static const int kPictureWidth = 800;
    static const int kPictureHeight = 600;

    SDL_Window* m_window;
    bool m_managed;
    bool m_fullScreen = false;
    int m_listener;
};

SDL_Window* g_probeWindow = nullptr;

// The kept probe window made into a window of this title, place and size
// (made with the same OpenGL attributes, hidden); null when none is kept.
SDL_Window* TakeProbeWindow(const std::string& title, int x, int y, int width, int height, bool borderless) {
    SDL_Window* window = g_probeWindow;
    if (!window) return nullptr;
    g_probeWindow = nullptr;
    SDL_SetWindowTitle(window, title.c_str());
    SDL_SetWindowBordered(window, borderless ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowSize(window, width, height);
    SDL_SetWindowPosition(window, x, y);
    return window;
}

class SdlWindowSystem final : public WindowSystem {
public:
    ~SdlWindowSystem() override {
        for (size_t i = 0; i < m_classes.size(); ++i) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool RegisterWindowClass(const std::string& className) override {
        if (m_classes.count(className)) return false;
        if (!InitSdlVideo()) return false;
        m_classes.insert(className);
        return true;
    }

    void UnregisterWindowClass(const std::string& className) override {
        if (m_classes.erase(className)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    GameWindow* CreateWindow(const std::string& className, const std::string& title, WindowStyle style, int x,
                             int y, int width, int height) override {
        if (!m_classes.count(className)) return nullptr;
        SetGlContextAttributes();
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        if (style == WindowStyle::FullScreen) {
            flags |= SDL_WINDOW_BORDERLESS;
            // The back buffer is scaled to the whole screen, so the window
            // covers it even where no window manager carries out the
            // full-screen request (SetStyle makes that request).
            SDL_Rect screen;
            if (SDL_GetDisplayBounds(0, &screen) == 0) {
                x = screen.x;
                y = screen.y;
                width = screen.w;
                height = screen.h;
            }
        }
        SDL_Window* window = TakeProbeWindow(title, x, y, width, height, (flags & SDL_WINDOW_BORDERLESS) != 0);
        if (!window) window = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
        if (!window) return nullptr;
        auto* created = new SdlGameWindow(window);
        if (style == WindowStyle::FullScreen) created->SetStyle(style);
        return created;
    }

    void DestroyWindow(GameWindow* window) override { delete window; }

private:
    std::set<std::string> m_classes;
};

std::unique_ptr<WindowSystem>& CurrentWindowSystem() {
    static std::unique_ptr<WindowSystem> system;
    return system;
}

}  // namespace

bool IsAltEnter(const SDL_Keysym& key) {
    return (key.scancode == SDL_SCANCODE_RETURN || key.scancode == SDL_SCANCODE_KP_ENTER) && (key.mod & KMOD_ALT) &&
           !(key.mod & (KMOD_CTRL | KMOD_GUI));
}

bool InitSdlVideo() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    const bool invisible = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (invisible && !(asked && SDL_strcasecmp(asked, driver) == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_SetError("No display could be opened (DISPLAY=%s)", SDL_getenv("DISPLAY") ? SDL_getenv("DISPLAY") : "");
        return false;
    }
    return true;
}

SDL_Window* SdlWindowOf(GameWindow* window) {
    auto* sdl = dynamic_cast<SdlGameWindow*>(window);
    return sdl ? sdl->Handle() : nullptr;
}

void KeepProbeWindow(SDL_Window* window) {
    ReleaseProbeWindow();
    g_probeWindow = window;
}

void ReleaseProbeWindow() {
    if (g_probeWindow) SDL_DestroyWindow(g_probeWindow);
    g_probeWindow = nullptr;
}

void SetGlContextAttributes() {
#if VELMOR_GL_ES
    // OpenGL ES 3.0, which is WebGL 2 in a browser.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

WindowSystem& GetWindowSystem() {
    auto& system = CurrentWindowSystem();
    if (!system) system = CreateSdlWindowSystem();
    return *system;
}

void SetWindowSystem(std::unique_ptr<WindowSystem> system) { CurrentWindowSystem() = std::move(system); }

std::unique_ptr<WindowSystem> CreateSdlWindowSystem() { return std::make_unique<SdlWindowSystem>(); }

}  // namespace platform
