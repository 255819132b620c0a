#include "sdl_events.h"

#include <map>

namespace platform {

namespace {
std::map<int, RawEventListener>& Listeners() {
    static std::map<int, RawEventListener> listeners;
    return listeners;
}
int g_nextHandle = 1;
}  // namespace

int AddRawEventListener(RawEventListener listener) {
    const int handle = g_nextHandle++;
    Listeners()[handle] = std::move(listener);
    return handle;
}

void RemoveRawEventListener(int handle) { Listeners().erase(handle); }

void DispatchRawEvent(const SDL_Event& event) {
    for (auto& entry : Listeners()) entry.second(event);
}

}  // namespace platform
