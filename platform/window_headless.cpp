#include "window_headless.h"

namespace platform {

WindowRect HeadlessWindow::GetClientRect() {
    int width = outer.Width(), height = outer.Height();
    if (style == WindowStyle::Windowed) {
        width -= kFrameLeft + kFrameRight;
        height -= kFrameTop + kFrameBottom;
    }
    return WindowRect{0, 0, width, height};
}

bool HeadlessWindowSystem::RegisterWindowClass(const std::string& className) {
    if (failRegister || classes.count(className)) return false;
    classes.insert(className);
    return true;
}

GameWindow* HeadlessWindowSystem::CreateWindow(const std::string& className, const std::string& title,
                                               WindowStyle style, int x, int y, int width, int height) {
    if (failCreate || !classes.count(className)) return nullptr;
    auto* created = new HeadlessWindow();
    created->className = className;
    created->title = title;
    created->style = style;
    created->outer = WindowRect{x, y, x + width, y + height};
    window = created;
    return created;
}

void HeadlessWindowSystem::DestroyWindow(GameWindow* target) {
    if (target == window) window = nullptr;
    ++destroyed;
    delete target;
}

HeadlessWindowSystem& InstallHeadlessWindowSystem() {
    auto system = std::make_unique<HeadlessWindowSystem>();
    HeadlessWindowSystem& ref = *system;
    SetWindowSystem(std::move(system));
    return ref;
}

}  // namespace platform
