// The production input system: SDL keyboard, text input and mouse events
// collected while the message queue is pumped, the cursor read from the window system and
// mapped through the letterbox into back-buffer pixels.
#include <SDL.h>

#include <cstdlib>

#include "dinput_device.h"
#include "input_system.h"
#include "presentation.h"
#include "scancode_dik.h"
#include "sdl_events.h"
#include "window_sdl.h"

namespace platform {

namespace {

using namespace vdinput;

// The program makes no window but the game window, so SDL's keyboard focus
// being anywhere means the game window is the active one. SDL's focus
// changes only while the message queue is pumped, together with the
// activation messages, so within a frame it agrees with the engine's flag.
bool GameWindowActive() { return SDL_GetKeyboardFocus() != nullptr; }

SDL_Window* GameWindowOnScreen() {
    SDL_Window* window = SDL_GetKeyboardFocus();
    return window ? window : SDL_GetMouseFocus();
}

// DirectInput numbers the buttons left, right, middle, then the side buttons.
int ButtonIndex(uint8_t sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT:
            return 0;
        case SDL_BUTTON_RIGHT:
            return 1;
        case SDL_BUTTON_MIDDLE:
            return 2;
        default:
            return sdlButton - 1;  // X1, X2 and beyond; MouseLatch ignores past 8
    }
}

// A foreground device works only while the game window is active. When the
// window loses activation the device loses its input, even if the window is
// active again by the next call, so nothing that happened in between (motion
// over an inactive window) reaches the game.
// DISCL_NOWINKEY is accepted but changes nothing: the desktop, not the game,
// owns the Windows key here.
class SdlDevice final : public DeviceBase {
public:
    SdlDevice(DeviceGuid guid, InputLatch& latch, const uint32_t& focusLosses)
        : DeviceBase(guid, latch), m_focusLosses(focusLosses) {}

    HRESULT Acquire() override {
        if (LostInput()) Unacquire();
        return DeviceBase::Acquire();
    }

protected:
    HRESULT CanAcquire() override {
        if (Foreground() && !GameWindowActive()) return DIERR_OTHERAPPHASPRIO;
        // Typed text comes from SDL's text input, which must be on whenever
        // the game has the keyboard.
        if (!SDL_IsTextInputActive()) SDL_StartTextInput();
        m_focusLossesAtAcquire = m_focusLosses;
        return DI_OK;
    }
    HRESULT CheckInput() override { return LostInput() ? DIERR_INPUTLOST : DI_OK; }

private:
    bool LostInput() const {
        return Foreground() && (m_focusLosses != m_focusLossesAtAcquire || !GameWindowActive());
    }

    const uint32_t& m_focusLosses;
    uint32_t m_focusLossesAtAcquire = 0;
};

class SdlDirectInput final : public RefCounted<IDirectInput8> {
public:
    SdlDirectInput(InputLatch& latch, const uint32_t& focusLosses) : m_latch(latch), m_focusLosses(focusLosses) {}

    HRESULT CreateDevice(DeviceGuid guid, IDirectInputDevice8** device) override {
        if (!device) return DIERR_INVALIDPARAM;
        *device = new SdlDevice(guid, m_latch, m_focusLosses);
        return DI_OK;
    }

private:
    InputLatch& m_latch;
    const uint32_t& m_focusLosses;
};

class SdlInputSystem final : public InputSystem {
public:
    SdlInputSystem() {
        m_listener = AddRawEventListener([this](const SDL_Event& event) { OnEvent(event); });
    }
    ~SdlInputSystem() override { RemoveRawEventListener(m_listener); }

    HRESULT CreateDirectInput(IDirectInput8** out) override {
        *out = new SdlDirectInput(m_latch, m_focusLosses);
        return DI_OK;
    }

    // Over the window, SDL's position from the motion events; elsewhere
    // (where SDL would pin it to the window's edge) the pointer's place on
    // the screen, relative to the window.
    bool GetCursorPos(int32_t& x, int32_t& y) override {
        SDL_Window* window = GameWindowOnScreen();
        if (!window) return false;
        int windowX = 0, windowY = 0;
        if (SDL_GetMouseFocus() == window) {
            SDL_GetMouseState(&windowX, &windowY);
        } else {
            int screenX = 0, screenY = 0, originX = 0, originY = 0;
            SDL_GetGlobalMouseState(&screenX, &screenY);
            SDL_GetWindowPosition(window, &originX, &originY);
            windowX = screenX - originX;
            windowY = screenY - originY;
        }
        int bufferX = 0, bufferY = 0;
        WindowPointToBuffer(windowX, windowY, bufferX, bufferY);
        x = bufferX;
        y = bufferY;
        return true;
    }

    void GetClientSize(int32_t& width, int32_t& height) override {
        const PresentationGeometry geometry = GetPresentationGeometry();
        if (geometry.bufferWidth > 0 && geometry.bufferHeight > 0) {
            width = geometry.bufferWidth;
            height = geometry.bufferHeight;
            return;
        }
        int w = 0, h = 0;
        if (SDL_Window* window = GameWindowOnScreen()) SDL_GetWindowSize(window, &w, &h);
        width = w;
        height = h;
    }

    void ShowCursor(bool show) override { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

    // SDL's own setting, which defaults to the desktop's usual 500 ms.
    uint32_t GetDoubleClickTime() override {
        const char* hint = SDL_GetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME);
        return hint ? static_cast<uint32_t>(std::strtoul(hint, nullptr, 10)) : 500;
    }

private:
    void OnEvent(const SDL_Event& event) {
        switch (event.type) {
            case SDL_KEYDOWN:
                if (event.key.repeat || IsAltEnter(event.key.keysym)) break;
                if (const uint8_t code = DikFromScancode(event.key.keysym.scancode)) m_latch.keys.Down(code);
                break;
            case SDL_KEYUP:
                if (const uint8_t code = DikFromScancode(event.key.keysym.scancode)) m_latch.keys.Up(code);
                break;
            case SDL_TEXTINPUT:
                m_latch.keys.Type(event.text.text);
                break;
            case SDL_MOUSEMOTION:
                m_latch.mouse.Move(event.motion.xrel, event.motion.yrel);
                break;
            case SDL_MOUSEBUTTONDOWN:
                m_latch.mouse.Down(ButtonIndex(event.button.button));
                break;
            case SDL_MOUSEBUTTONUP:
                m_latch.mouse.Up(ButtonIndex(event.button.button));
                break;
            case SDL_MOUSEWHEEL: {
                const int32_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
                m_latch.mouse.Turn(notches * WHEEL_DELTA);
                break;
            }
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) ++m_focusLosses;
                break;
            default:
                break;
        }
    }

    InputLatch m_latch;
    uint32_t m_focusLosses = 0;
    int m_listener = 0;
};

}  // namespace

std::unique_ptr<InputSystem> CreateSdlInputSystem() { return std::make_unique<SdlInputSystem>(); }

}  // namespace platform
