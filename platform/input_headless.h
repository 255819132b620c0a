// A scripted input system for tests: the test presses and releases keys and
// buttons, types text, moves the mouse and turns the wheel between frames (each device
// read takes what happened since the previous one, exactly as on the real
// platform), places the cursor, and scripts the answers of the device calls
// (failed creation or set-up, refused acquisition, lost input).
#pragma once

#include <deque>
#include <string>

#include "input_latch.h"
#include "input_system.h"

namespace platform {

class HeadlessInputSystem final : public InputSystem {
public:
    // What one device answers, and what was asked of it.
    struct DeviceScript {
        vdinput::HRESULT createResult = vdinput::DI_OK;
        bool createNull = false;  // a successful creation that hands back no device
        vdinput::HRESULT dataFormatResult = vdinput::DI_OK;
        vdinput::HRESULT cooperativeResult = vdinput::DI_OK;
        // Answers of the next acquisition attempts; DI_OK once used up.
        std::deque<vdinput::HRESULT> acquireResults;
        // Answers of the next reads of the acquired device; DI_OK once used
        // up. DIERR_INPUTLOST also unacquires the device.
        std::deque<vdinput::HRESULT> readResults;
        // Set by the test when the device loses its input, as a foreground
        // device does when the window is deactivated: the next read reports
        // DIERR_INPUTLOST, the next acquisition starts afresh.
        bool inputLost = false;

        int acquireAttempts = 0;
        int reads = 0;
        bool exists = false;
        GameWindow* cooperativeWindow = nullptr;
        uint32_t cooperativeFlags = 0;
    };

    vdinput::HRESULT CreateDirectInput(vdinput::IDirectInput8** out) override;
    bool GetCursorPos(int32_t& x, int32_t& y) override;
    void GetClientSize(int32_t& width, int32_t& height) override;
    void ShowCursor(bool show) override;
    uint32_t GetDoubleClickTime() override { return doubleClickTime; }

    // The player, between two frames. Buttons by DirectInput index: 0 left,
    // 1 right, 2 middle.
    void KeyDown(uint8_t code) { latch.keys.Down(code); }
    void KeyUp(uint8_t code) { latch.keys.Up(code); }
    // Text as the player's keyboard layout types it (UTF-8), beside the key
    // events; the next keyboard read hands it out.
    void TypeText(const std::string& utf8) { latch.keys.Type(utf8); }
    void ButtonDown(int button) { latch.mouse.Down(button); }
    void ButtonUp(int button) { latch.mouse.Up(button); }
    void MoveMouse(int32_t dx, int32_t dy) { latch.mouse.Move(dx, dy); }
    void TurnWheel(int32_t notches) { latch.mouse.Turn(notches * vdinput::WHEEL_DELTA); }

    vdinput::HRESULT createResult = vdinput::DI_OK;
    bool createNull = false;
    DeviceScript keyboard;
    DeviceScript mouse;

    // The cursor, in back-buffer pixels.
    int32_t cursorX = 0;
    int32_t cursorY = 0;
    bool cursorReadable = true;
    int32_t clientWidth = 800;
    int32_t clientHeight = 600;
    bool cursorShown = true;
    int cursorShows = 0;
    int cursorHides = 0;
    uint32_t doubleClickTime = 500;

    InputLatch latch;
};

// Installs a fresh headless input system and returns it (owned by the platform).
HeadlessInputSystem& InstallHeadlessInputSystem();

}  // namespace platform
