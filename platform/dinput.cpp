#include "dinput.h"

#include "dinput_device.h"
#include "input_system.h"

namespace vdinput {

const DIDATAFORMAT c_dfDIKeyboard = {256};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIMOUSESTATE2)};

HRESULT DirectInput8Create(uint32_t version, IDirectInput8** out) {
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version != DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
    return platform::GetInputSystem().CreateDirectInput(out);
}

}  // namespace vdinput

namespace platform {

using namespace vdinput;

const DIDATAFORMAT& DeviceBase::ExpectedFormat() const {
    return m_guid == GUID_SysKeyboard ? c_dfDIKeyboard : c_dfDIMouse2;
}

HRESULT DeviceBase::SetDataFormat(const DIDATAFORMAT* format) {
    if (m_acquired) return DIERR_ACQUIRED;
    if (format != &ExpectedFormat()) return DIERR_INVALIDPARAM;
    m_format = format;
    return DI_OK;
}

HRESULT DeviceBase::SetCooperativeLevel(GameWindow* window, uint32_t flags) {
    if (m_acquired) return DIERR_ACQUIRED;
    const bool oneAccess = ((flags & DISCL_EXCLUSIVE) != 0) != ((flags & DISCL_NONEXCLUSIVE) != 0);
    const bool oneScope = ((flags & DISCL_FOREGROUND) != 0) != ((flags & DISCL_BACKGROUND) != 0);
    if (!window || !oneAccess || !oneScope) return DIERR_INVALIDPARAM;
    m_cooperativeFlags = flags;
    return DI_OK;
}

HRESULT DeviceBase::Acquire() {
    if (!m_format) return DIERR_INVALIDPARAM;
    if (m_acquired) return DI_NOEFFECT;
    const HRESULT hr = CanAcquire();
    if (Failed(hr)) return hr;
    m_acquired = true;
    m_typed.clear();
    // A fresh acquisition reports what happens from now on.
    if (m_guid == GUID_SysKeyboard) {
        m_latch.keys.ForgetPresses();
    } else {
        m_latch.mouse.ForgetPending();
    }
    return DI_OK;
}

HRESULT DeviceBase::Unacquire() {
    if (!m_acquired) return DI_NOEFFECT;
    m_acquired = false;
    return DI_OK;
}

HRESULT DeviceBase::GetDeviceState(uint32_t size, void* data) {
    if (!m_format) return DIERR_NOTINITIALIZED;
    if (!data || size != m_format->dwDataSize) return DIERR_INVALIDPARAM;
    if (!m_acquired) return DIERR_NOTACQUIRED;
    const HRESULT hr = CheckInput();
    if (Failed(hr)) {
        if (hr == DIERR_INPUTLOST) m_acquired = false;
        return hr;
    }
    if (m_guid == GUID_SysKeyboard) {
        m_latch.keys.Take(static_cast<uint8_t*>(data));
        m_typed = m_latch.keys.TakeText();
    } else {
        m_latch.mouse.Take(*static_cast<DIMOUSESTATE2*>(data));
    }
    return DI_OK;
}

HRESULT DeviceBase::GetTypedText(std::string& text) {
    if (!m_format) return DIERR_NOTINITIALIZED;
    text = m_typed;
    return DI_OK;
}

namespace {
// Made together with its first content, so that at exit it goes before the
// event-listener table the SDL input system registers with.
std::unique_ptr<InputSystem>& CurrentInputSystem() {
    static std::unique_ptr<InputSystem> system = CreateSdlInputSystem();
    return system;
}
}  // namespace

InputSystem& GetInputSystem() {
    auto& system = CurrentInputSystem();
    if (!system) system = CreateSdlInputSystem();
    return *system;
}

void SetInputSystem(std::unique_ptr<InputSystem> system) { CurrentInputSystem() = std::move(system); }

}  // namespace platform
