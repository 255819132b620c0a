// The input side of the platform: where the DirectInput-shaped objects come
// from, and the window system's cursor calls the mouse needs. The engine
// reaches them only through this interface so that tests can script them.
#pragma once

#include <cstdint>
#include <memory>

#include "dinput.h"

namespace platform {

class InputSystem {
public:
    virtual ~InputSystem() = default;

    // The input object behind vdinput::DirectInput8Create.
    virtual vdinput::HRESULT CreateDirectInput(vdinput::IDirectInput8** out) = 0;

    // The cursor in client coordinates of the game window, which are
    // back-buffer pixels; false when the position cannot be read.
    virtual bool GetCursorPos(int32_t& x, int32_t& y) = 0;
    // The client area in the same coordinates (the back buffer's size).
    virtual void GetClientSize(int32_t& width, int32_t& height) = 0;
    // Shows or hides the system cursor over the game window.
    virtual void ShowCursor(bool show) = 0;
    // The longest time between the two clicks of a double click, in ms.
    virtual uint32_t GetDoubleClickTime() = 0;
};

// The input system in use. Production code gets the SDL one on first use;
// tests install their own before starting input.
InputSystem& GetInputSystem();
void SetInputSystem(std::unique_ptr<InputSystem> system);

std::unique_ptr<InputSystem> CreateSdlInputSystem();

}  // namespace platform
