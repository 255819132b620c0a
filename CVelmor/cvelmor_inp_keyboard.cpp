// The keyboard: device start and stop, the per-frame snapshot with the text
// typed in the frame, key queries and the text-input buffer.
#include <cstring>

#include "cvelmor.h"
#include "cvelmor_utils_utf8.h"
#include "dinput.h"

using namespace vdinput;

namespace {

constexpr const char* kFile = "cvelmor_inp_keyboard";

bool Held(uint8_t state) { return (state & DISTATE_HELD) != 0; }

// Clicked: held now and either newly pressed since the last frame or not
// held in it. The new-press mark keeps quick clicks apart: a press, release
// and press again between two frames is a second click, though both frames
// show the button held.
bool Clicked(uint8_t state, uint8_t previous) {
    return Held(state) && ((state & DISTATE_NEWPRESS) != 0 || !Held(previous));
}

}  // namespace

void CVelmor::KeyboardInit() {
    SetCheckpoint(128, __LINE__);
    HRESULT hr = m_inp.pDirectInput->CreateDevice(GUID_SysKeyboard, &m_inp.pKeyboard);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr),
                            "Cannot create DirectInputDevice (Keyboard) object!", kFile, 100);
    }
    if (!m_inp.pKeyboard) throw CEHSException(EHS_TYPE_GENERAL, 0, "Error: keyboard object is NULL!", kFile, 102);
    hr = m_inp.pKeyboard->SetDataFormat(&c_dfDIKeyboard);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot set data format for Keyboard!",
                            kFile, 108);
    }
    hr = m_inp.pKeyboard->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
    if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr),
                            "Cannot set cooperative level for Keyboard!", kFile, 114);
    }
    m_inp.bKeyboardAcquired = AcquireInputDevice(m_inp.pKeyboard, "Cannot acquire keyboard!", AcquireMoment::AtStart);
}

void CVelmor::KeyboardDeinit() {
    SetCheckpoint(128, __LINE__);
    if (!m_inp.pKeyboard) return;
    m_inp.pKeyboard->Unacquire();
    m_inp.bKeyboardAcquired = 0;
    m_inp.pKeyboard->Release();
    m_inp.pKeyboard = nullptr;
}

void CVelmor::KeyboardUpdate() {
    SetCheckpoint(128, __LINE__);
    if (!m_inp.pKeyboard) return;
    if (!m_inp.bKeyboardAcquired) {
        // Until the device is ours again no key is held or clicked.
        if (Failed(m_inp.pKeyboard->Acquire())) {
            std::memset(m_inp.keys, 0, sizeof(m_inp.keys));
            std::memset(m_inp.prevKeys, 0, sizeof(m_inp.prevKeys));
            m_inp.strTypedText.clear();
            return;
        }
        m_inp.bKeyboardAcquired = 1;
    }
    std::memcpy(m_inp.prevKeys, m_inp.keys, sizeof(m_inp.keys));
    HRESULT hr = m_inp.pKeyboard->GetDeviceState(sizeof(m_inp.keys), m_inp.keys);
    if (hr == DIERR_INPUTLOST) {
        hr = m_inp.pKeyboard->Acquire();
        if (Failed(hr)) {
            throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot reacquire Keyboard!", kFile,
                                237);
        }
        hr = m_inp.pKeyboard->GetDeviceState(sizeof(m_inp.keys), m_inp.keys);
        if (Failed(hr)) {
            throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr),
                                "Second try of getting Keyboard state failed!", kFile, 243);
        }
    } else if (Failed(hr)) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(hr), "Cannot get Keyboard state!", kFile, 248);
    }
    if (Failed(m_inp.pKeyboard->GetTypedText(m_inp.strTypedText))) m_inp.strTypedText.clear();
    if (m_inp.bTextBufferOn) ProcessTextInput();
}

bool CVelmor::KeyboardIsKeyPressed(int32_t key) const {
    SetCheckpoint(128, __LINE__);
    if (key < 0 || key > 255) return false;
    return Held(m_inp.keys[key]);
}

bool CVelmor::KeyboardIsKeyClicked(int32_t key) const {
    SetCheckpoint(128, __LINE__);
    if (key < 0 || key > 255) return false;
    return Clicked(m_inp.keys[key], m_inp.prevKeys[key]);
}

int32_t CVelmor::KeyboardGetAnyPressedKey() const {
    SetCheckpoint(128, __LINE__);
    for (int32_t key = 0; key < 255; ++key) {
        if (Held(m_inp.keys[key])) return key;
    }
    return 0;
}

void CVelmor::KeyboardSetTextBufferStatus(bool on) {
    SetCheckpoint(128, __LINE__);
    m_inp.bTextBufferOn = on;
}

void CVelmor::KeyboardSetTextInBuffer(const std::string& text) {
    SetCheckpoint(128, __LINE__);
    m_inp.strTextBuffer = text;
}

const std::string& CVelmor::KeyboardGetTextInBuffer() const {
    SetCheckpoint(128, __LINE__);
    return m_inp.strTextBuffer;
}

const std::string& CVelmor::KeyboardGetTypedText() const {
    SetCheckpoint(128, __LINE__);
    return m_inp.strTypedText;
}

void CVelmor::KeyboardSetTextBufferSize(uint32_t size) {
    SetCheckpoint(128, __LINE__);
    m_inp.dwTextBufferSize = size;
    std::string& text = m_inp.strTextBuffer;
    text.resize(Utf8PrefixBytes(text, size));
}

void CVelmor::ProcessTextInput() {
    SetCheckpoint(128, __LINE__);
    std::string& text = m_inp.strTextBuffer;
    const size_t size = m_inp.dwTextBufferSize;
    Utf8AppendTyped(text, m_inp.strTypedText,
                    [size](const std::string& longer) { return Utf8Length(longer) <= size; });
    if (KeyboardIsKeyClicked(DIK_BACK)) Utf8PopBack(text);
}
