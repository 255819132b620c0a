#include "system_headless.h"

#include <stdexcept>

namespace platform {

bool HeadlessSystem::PeekMessage(Message& out) {
    if (onPeek) onPeek(*this);
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
}

void HeadlessSystem::WaitMessage() {
    if (!queue.empty()) return;
    if (onWait) onWait(*this);
    if (queue.empty()) throw std::logic_error("headless platform: waiting on an empty queue");
}

void HeadlessSystem::PostQuitMessage(int exitCode) {
    Post(MSG_QUIT, static_cast<uintptr_t>(exitCode));
}

void HeadlessSystem::MessageBox(const std::string& text, const std::string& caption) {
    boxes.push_back(ShownBox{text, caption});
}

HeadlessSystem& InstallHeadlessSystem() {
    auto system = std::make_unique<HeadlessSystem>();
    HeadlessSystem& ref = *system;
    SetSystem(std::move(system));
    return ref;
}

}  // namespace platform
