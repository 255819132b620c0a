// Operating-system services the engine needs: a millisecond and a
// microsecond clock, sleeping, the window-message queue, the single-instance
// lock and a message box.
// The engine reaches them only through this interface so that tests can run
// it on a scripted, headless platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Message codes carried through the queue; the numbers are those of the
// desktop system the engine was first written for.
enum : uint32_t {
    MSG_NULL = 0x0000,
    MSG_DESTROY = 0x0002,
    MSG_ACTIVATE = 0x0006,
    MSG_QUIT = 0x0012,
};

// Activation states carried in the first parameter of MSG_ACTIVATE.
enum : uintptr_t { ACTIVATE_INACTIVE = 0, ACTIVATE_ACTIVE = 1, ACTIVATE_CLICKACTIVE = 2 };

struct Message {
    uint32_t code = MSG_NULL;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class System {
public:
    virtual ~System() = default;

    // Milliseconds since some fixed moment; wraps like any 32-bit counter.
    virtual uint32_t Milliseconds() = 0;
    // Microseconds since the same moment; never wraps, never goes back.
    virtual uint64_t Microseconds() = 0;
    // Gives the processor away for about this long (a little longer at most).
    virtual void Sleep(uint64_t microseconds) = 0;

    // Takes the next message without waiting; false when the queue is empty.
    virtual bool PeekMessage(Message& out) = 0;
    // Blocks until at least one message can be taken.
    virtual void WaitMessage() = 0;
    // Queues the quit message behind whatever is already waiting.
    virtual void PostQuitMessage(int exitCode) = 0;

    // A modal box with one OK button and no owner window.
    virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
};

// The platform in use. Production code gets the SDL one on first use; tests
// install their own before the engine object is created.
System& GetSystem();
void SetSystem(std::unique_ptr<System> system);

// Creates the SDL-backed platform.
std::unique_ptr<System> CreateSdlSystem();

// A named lock, one per user, that the system releases when the process dies.
// VELMOR_INSTANCE_LOCK, when set, replaces the given name (tests take a lock
// of their own with it).
class InstanceLock {
public:
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // False when another process holds the lock or it could not be made.
    bool Acquired() const { return m_acquired; }

private:
    [[maybe_unused]] intptr_t m_handle = 0;  // the system's object that holds the name (a page has none)
    bool m_acquired = false;
};

}  // namespace platform
