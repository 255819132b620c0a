// The input subsystem: start, stop, the per-frame update and reacquisition
// on focus gain.
#include "cvelmor.h"
#include "dinput.h"

using namespace vdinput;

uint8_t AcquireInputDevice(IDirectInputDevice8* device, const char* warning, AcquireMoment moment) {
    SetCheckpoint(127, __LINE__);
    const HRESULT hr = device->Acquire();
    if (!Failed(hr)) return 1;
    // Another window in front is no failure before the first focus gain.
    if (moment == AcquireMoment::AtStart && hr == DIERR_OTHERAPPHASPRIO) return 0;
    CVelmor::LogEntry(warning, LOG_WARNING);
    CVelmor::LogEntry(std::to_string(hr), LOG_WARNING);
    return 0;
}

void CVelmor::InputInit() {
    SetCheckpoint(127, __LINE__);
    m_bInpStarted = 1;
    LogSeparator(1);
    LogEntry("Initializing Input Subsystem...", LOG_TITLE);
    if (!GfxDeviceExists()) {
        throw CEHSException(EHS_TYPE_GAME, 0, "Input system should be initialized after graphics system!",
                            "cvelmor_inp_main", 108);
    }
    const HRESULT hr = DirectInput8Create(DIRECTINPUT_VERSION, &m_inp.pDirectInput);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot create DirectInput object!",
                            "cvelmor_inp_main", 116);
    }
    if (!m_inp.pDirectInput) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error: Direct Input object is NULL!", "cvelmor_inp_main", 118);
    }
    KeyboardInit();
    MouseInit();
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::InputDeinit() {
    SetCheckpoint(127, __LINE__);
    LogSeparator(1);
    LogEntry("Deinitializing Input Subsystem...", LOG_TITLE);
    MouseDeinit();
    KeyboardDeinit();
    if (m_inp.pDirectInput) {
        m_inp.pDirectInput->Release();
        m_inp.pDirectInput = nullptr;
    }
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
    m_bInpStarted = 0;
}

void CVelmor::InputUpdate() {
    SetCheckpoint(127, __LINE__);
    if (!m_inp.pDirectInput) return;
    KeyboardUpdate();
    MouseUpdate();
}

void CVelmor::InputReacquire() {
    SetCheckpoint(127, __LINE__);
    if (!m_inp.pDirectInput) return;
    if (m_inp.pKeyboard) m_inp.bKeyboardAcquired = AcquireInputDevice(m_inp.pKeyboard, "Cannot acquire keyboard!", AcquireMoment::OnFocusGain);
    if (m_inp.pMouse) m_inp.bMouseAcquired = AcquireInputDevice(m_inp.pMouse, "Cannot acquire mouse!", AcquireMoment::OnFocusGain);
}
