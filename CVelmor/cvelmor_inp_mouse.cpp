// The mouse: device start and stop, the per-frame snapshot, the cursor and
// its visibility, double clicks, and the button and motion queries.
#include "cvelmor.h"
#include "dinput.h"
#include "input_system.h"
#include "system.h"

using namespace vdinput;

namespace {

constexpr const char* kFile = "cvelmor_inp_mouse";

bool Held(uint8_t state) { return (state & DISTATE_HELD) != 0; }

// Clicked: held now and either newly pressed since the last frame or not
// held in it. The new-press mark keeps quick clicks apart: a press, release
// and press again between two frames is a second click, though both frames
// show the button held.
bool Clicked(uint8_t state, uint8_t previous) {
    return Held(state) && ((state & DISTATE_NEWPRESS) != 0 || !Held(previous));
}

}  // namespace

void CVelmor::MouseInit() {
    SetCheckpoint(129, __LINE__);
    HRESULT hr = m_inp.pDirectInput->CreateDevice(GUID_SysMouse, &m_inp.pMouse);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr),
                            "Cannot create DirectInputDevice (Mouse) object!", kFile, 101);
    }
    if (!m_inp.pMouse) throw CEHSException(EHS_TYPE_GENERAL, 0, "Error: mouse object is NULL!", kFile, 103);
    hr = m_inp.pMouse->SetDataFormat(&c_dfDIMouse2);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot set data format for Mouse!", kFile,
                            109);
    }
    hr = m_inp.pMouse->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot set cooperative level for Mouse!",
                            kFile, 115);
    }
    m_inp.bMouseAcquired = AcquireInputDevice(m_inp.pMouse, "Cannot acquire mouse!", AcquireMoment::AtStart);
    m_inp.dwLastClickTime = 0;
    m_inp.bDoubleClick = 0;
}

void CVelmor::MouseDeinit() {
    SetCheckpoint(129, __LINE__);
    if (m_inp.pMouse) {
        m_inp.pMouse->Unacquire();
        m_inp.bMouseAcquired = 0;
        m_inp.pMouse->Release();
        m_inp.pMouse = nullptr;
    }
    platform::GetInputSystem().ShowCursor(true);
}

void CVelmor::MouseUpdate() {
    SetCheckpoint(129, __LINE__);
    if (!m_inp.pMouse) return;
    if (!m_inp.bMouseAcquired) {
        // Until the device is ours again no button is held and nothing moves.
        if (Failed(m_inp.pMouse->Acquire())) {
            m_inp.mouse = DIMOUSESTATE2{};
            m_inp.prevMouse = DIMOUSESTATE2{};
            return;
        }
        m_inp.bMouseAcquired = 1;
    }
    m_inp.prevMouse = m_inp.mouse;
    HRESULT hr = m_inp.pMouse->GetDeviceState(sizeof(m_inp.mouse), &m_inp.mouse);
    if (hr == DIERR_INPUTLOST) {
        hr = m_inp.pMouse->Acquire();
        if (Failed(hr)) {
            throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot reacquire Mouse!", kFile, 245);
        }
        hr = m_inp.pMouse->GetDeviceState(sizeof(m_inp.mouse), &m_inp.mouse);
        if (Failed(hr)) {
            throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr),
                                "Second try of getting Mouse state failed!", kFile, 251);
        }
    } else if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot get Mouse state!", kFile, 256);
    }
    UpdateCursor();
    UpdateDoubleClick();
}

void CVelmor::UpdateCursor() {
    SetCheckpoint(129, __LINE__);
    platform::InputSystem& input = platform::GetInputSystem();
    m_inp.iPrevCursorX = m_inp.iCursorX;
    m_inp.iPrevCursorY = m_inp.iCursorY;
    int32_t x = 0, y = 0;
    if (input.GetCursorPos(x, y)) {
        m_inp.iCursorX = x;
        m_inp.iCursorY = y;
    }

    m_inp.bPrevCursorInside = m_inp.bCursorInside;
    m_inp.bCursorInside = 0;
    if (g_bWindowActive == 1) {
        int32_t width = 0, height = 0;
        input.GetClientSize(width, height);
        const bool inside = m_inp.iCursorX >= 0 && m_inp.iCursorY >= 0 && m_inp.iCursorX < width &&
                            m_inp.iCursorY < height;
        m_inp.bCursorInside = inside ? 1 : 0;
    }

    // The game draws its own cursor, so inside the window only that one shows.
    if (m_inp.bPrevCursorInside == 0 && m_inp.bCursorInside == 1) input.ShowCursor(false);
    if (m_inp.bPrevCursorInside == 1 && m_inp.bCursorInside == 0) input.ShowCursor(true);
}

void CVelmor::UpdateDoubleClick() {
    SetCheckpoint(129, __LINE__);
    m_inp.bDoubleClick = 0;
    if (!MouseIsKeyClicked(1)) return;
    const uint32_t now = platform::GetSystem().Milliseconds();
    uint32_t limit = platform::GetInputSystem().GetDoubleClickTime();
    if (limit < 1 || limit > 5000) limit = 750;
    if (now - m_inp.dwLastClickTime > limit) {
        m_inp.dwLastClickTime = now;
    } else {
        m_inp.bDoubleClick = 1;
        m_inp.dwLastClickTime = 0;
    }
}

bool CVelmor::MouseIsKeyPressed(int32_t button) const {
    SetCheckpoint(129, __LINE__);
    if (button < 1 || button > 8) return false;
    return Held(m_inp.mouse.rgbButtons[button - 1]);
}

bool CVelmor::MouseIsKeyClicked(int32_t button) const {
    SetCheckpoint(129, __LINE__);
    if (button < 1 || button > 8) return false;
    return Clicked(m_inp.mouse.rgbButtons[button - 1], m_inp.prevMouse.rgbButtons[button - 1]);
}

int32_t CVelmor::MouseGetAnyPressedKey() const {
    SetCheckpoint(129, __LINE__);
    for (int32_t button = 1; button <= 8; ++button) {
        if (Held(m_inp.mouse.rgbButtons[button - 1])) return button;
    }
    return 0;
}

int32_t CVelmor::MouseGetDeltaX() const {
    SetCheckpoint(129, __LINE__);
    return m_inp.mouse.lX;
}

int32_t CVelmor::MouseGetDeltaY() const {
    SetCheckpoint(129, __LINE__);
    return m_inp.mouse.lY;
}

int32_t CVelmor::MouseGetWheelDelta() const {
    SetCheckpoint(129, __LINE__);
    if (m_inp.mouse.lZ > 0) return 1;
    if (m_inp.mouse.lZ < 0) return -1;
    return 0;
}

void CVelmor::MouseGetCursorPos(int32_t& x, int32_t& y) const {
    SetCheckpoint(129, __LINE__);
    x = m_inp.iCursorX;
    y = m_inp.iCursorY;
}

uint8_t CVelmor::MouseGetCursorStatus() const {
    SetCheckpoint(129, __LINE__);
    // No update runs while the window is inactive, so the stored flag alone
    // would still say "inside" after the focus went elsewhere.
    return (g_bWindowActive == 1 && m_inp.bCursorInside == 1) ? 1 : 0;
}

bool CVelmor::MouseIsDoubleClicked() const {
    SetCheckpoint(129, __LINE__);
    return m_inp.bDoubleClick == 1;
}
