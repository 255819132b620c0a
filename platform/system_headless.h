// A scripted platform for tests: the test owns the clock and the message
// queue, sleeping moves the clock on at once, and message boxes are recorded
// instead of shown.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "system.h"

namespace platform {

class HeadlessSystem final : public System {
public:
    struct ShownBox {
        std::string text;
        std::string caption;
    };

    uint32_t Milliseconds() override { return static_cast<uint32_t>(microseconds / 1000u); }
    uint64_t Microseconds() override { return microseconds; }
    void Sleep(uint64_t duration) override {
        microseconds += duration;
        slept += duration;
    }
    bool PeekMessage(Message& out) override;
    void WaitMessage() override;
    void PostQuitMessage(int exitCode) override;
    void MessageBox(const std::string& text, const std::string& caption) override;

    void Post(uint32_t code, uintptr_t wParam = 0, intptr_t lParam = 0) {
        queue.push_back(Message{code, wParam, lParam});
    }

    // The clock in milliseconds, as the engine's millisecond clock reads it.
    void SetMilliseconds(uint64_t ms) { microseconds = ms * 1000u; }
    void AdvanceMilliseconds(uint64_t ms) { microseconds += ms * 1000u; }

    uint64_t microseconds = 0;
    // All the time the engine slept, in microseconds.
    uint64_t slept = 0;
    std::deque<Message> queue;
    std::vector<ShownBox> boxes;
    // Called when the engine waits on an empty queue; it must post something
    // (or the wait fails the test instead of hanging it).
    std::function<void(HeadlessSystem&)> onWait;
    // Called each time the engine looks at the queue, before the look.
    std::function<void(HeadlessSystem&)> onPeek;
};

// Installs a fresh headless system and returns it (owned by the platform).
HeadlessSystem& InstallHeadlessSystem();

}  // namespace platform
