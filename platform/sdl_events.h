// Raw SDL events seen while the message queue is pumped, for the platform
// parts (input, window) that need more than the translated messages.
#pragma once

#include <SDL.h>

#include <functional>

namespace platform {

using RawEventListener = std::function<void(const SDL_Event&)>;

// Returns a handle for RemoveRawEventListener.
int AddRawEventListener(RawEventListener listener);
void RemoveRawEventListener(int handle);
void DispatchRawEvent(const SDL_Event& event);

}  // namespace platform
