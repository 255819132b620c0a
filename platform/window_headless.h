// A window system with no display, for tests: windows are records of what
// the engine asked for, with a fixed frame around windowed ones.
#pragma once

#include <set>
#include <string>

#include "window.h"

namespace platform {

class HeadlessWindow final : public GameWindow {
public:
    // The frame of a windowed window: caption and edges.
    static constexpr int kFrameLeft = 3, kFrameTop = 26, kFrameRight = 3, kFrameBottom = 3;

    void SetStyle(WindowStyle newStyle) override {
        style = newStyle;
        ++styleChanges;
    }
    WindowRect GetWindowRect() override { return outer; }
    WindowRect GetClientRect() override;
    void SetPlacement(int x, int y, int width, int height, bool top) override {
        outer = WindowRect{x, y, x + width, y + height};
        topMost = top;
    }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }

    std::string className;
    std::string title;
    WindowStyle style = WindowStyle::Windowed;
    int styleChanges = 0;
    WindowRect outer;
    bool topMost = false;
    bool visible = false;
};

class HeadlessWindowSystem final : public WindowSystem {
public:
    bool RegisterWindowClass(const std::string& className) override;
    void UnregisterWindowClass(const std::string& className) override { classes.erase(className); }
    GameWindow* CreateWindow(const std::string& className, const std::string& title, WindowStyle style, int x,
                             int y, int width, int height) override;
    void DestroyWindow(GameWindow* window) override;

    bool failRegister = false;
    bool failCreate = false;
    std::set<std::string> classes;
    // The window that exists, if any.
    HeadlessWindow* window = nullptr;
    int destroyed = 0;
};

// Installs a fresh headless window system and returns it.
HeadlessWindowSystem& InstallHeadlessWindowSystem();

}  // namespace platform
