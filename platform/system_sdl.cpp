// The production platform: SDL2 for events and message boxes, the monotonic
// clock for time.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <deque>

#include "os.h"
#if defined(__EMSCRIPTEN__)
#include "page.h"
#endif
#include "sdl_events.h"
#include "system.h"

namespace platform {

namespace {

class SdlSystem final : public System {
public:
    SdlSystem() {
        // Events only; the window and the audio start their own SDL parts.
        // SDL turns SIGINT and SIGTERM into a quit event for us.
        m_eventsReady = SDL_InitSubSystem(SDL_INIT_EVENTS) == 0;
    }
    ~SdlSystem() override {
        if (m_eventsReady) SDL_QuitSubSystem(SDL_INIT_EVENTS);
    }

    uint32_t Milliseconds() override { return static_cast<uint32_t>(Microseconds() / 1000u); }

    uint64_t Microseconds() override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    }

    void Sleep(uint64_t microseconds) override { SleepMicroseconds(microseconds); }

    bool PeekMessage(Message& out) override {
        while (m_posted.empty() && m_eventsReady) {
            SDL_Event event;
            if (!SDL_PollEvent(&event)) break;
            Translate(event);
        }
        if (m_posted.empty()) return false;
        out = m_posted.front();
        m_posted.pop_front();
        return true;
    }

    void WaitMessage() override {
        if (!m_posted.empty() || !m_eventsReady) return;
        SDL_WaitEvent(nullptr);
    }

    void PostQuitMessage(int exitCode) override {
        m_posted.push_back(Message{MSG_QUIT, static_cast<uintptr_t>(exitCode), 0});
    }

    void MessageBox(const std::string& text, const std::string& caption) override {
#if defined(__EMSCRIPTEN__)
        // A browser's modal alert would stop the page; the page shows it.
        ShowPageMessage(caption, text);
#else
        if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(),
                                     nullptr) != 0) {
            // No display to show it on: the terminal is the next best place.
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        }
#endif
    }

private:
    // Window events become the messages the window procedure understands;
    // everything else goes to whoever listens for raw events (input).
    void Translate(const SDL_Event& event) {
        DispatchRawEvent(event);
        if (event.type == SDL_QUIT) {
            m_posted.push_back(Message{MSG_DESTROY, 0, 0});
            return;
        }
        if (event.type != SDL_WINDOWEVENT) return;
        switch (event.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                m_posted.push_back(Message{MSG_ACTIVATE, ACTIVATE_ACTIVE, 0});
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                m_posted.push_back(Message{MSG_ACTIVATE, ACTIVATE_INACTIVE, 0});
                break;
            case SDL_WINDOWEVENT_CLOSE:
                m_posted.push_back(Message{MSG_DESTROY, 0, 0});
                break;
            default:
                break;
        }
    }

    bool m_eventsReady = false;
    std::deque<Message> m_posted;
};

}  // namespace

std::unique_ptr<System> CreateSdlSystem() { return std::make_unique<SdlSystem>(); }

}  // namespace platform
