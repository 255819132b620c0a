// The window system the game window lives in: a window class, a top-level
// window with a frame style, its outer and client rectangles, placement and
// visibility. Shaped like the desktop calls the engine was written for; the
// engine reaches it only through this interface, so tests run it headless.
// Window activation and closing arrive as messages through platform::System.
#pragma once

#include <memory>
#include <string>

namespace platform {

struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Windowed: caption, system menu and minimise box, a client edge, no sizing
// frame. Full screen: a pop-up with no caption or frame covering the screen.
enum class WindowStyle { Windowed, FullScreen };

class GameWindow {
public:
    virtual ~GameWindow() = default;
    virtual void SetStyle(WindowStyle style) = 0;
    // The outer rectangle in screen coordinates.
    virtual WindowRect GetWindowRect() = 0;
    // The client area: (0, 0) to its size.
    virtual WindowRect GetClientRect() = 0;
    // Moves and sizes the outer rectangle; topMost keeps it above others.
    virtual void SetPlacement(int x, int y, int width, int height, bool topMost) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // False when the class cannot be registered (no display to show it on).
    virtual bool RegisterWindowClass(const std::string& className) = 0;
    virtual void UnregisterWindowClass(const std::string& className) = 0;
    // A hidden window of a registered class; width and height are the outer
    // size. Null when no window results.
    virtual GameWindow* CreateWindow(const std::string& className, const std::string& title, WindowStyle style,
                                     int x, int y, int width, int height) = 0;
    virtual void DestroyWindow(GameWindow* window) = 0;
};

// The window system in use. Production code gets the SDL one on first use;
// tests install their own before the engine starts graphics.
WindowSystem& GetWindowSystem();
void SetWindowSystem(std::unique_ptr<WindowSystem> system);

std::unique_ptr<WindowSystem> CreateSdlWindowSystem();

}  // namespace platform
