// The keyboard: device start and stop, the per-frame snapshot, key queries
// and the text-input buffer.
#include <cstring>

#include "cvelmor.h"
#include "dinput.h"

using namespace vdinput;

namespace {

constexpr const char* kFile = "cvelmor_inp_keyboard";

struct KeyChars {
    uint8_t key;
    char plain;
    char shifted;
};

// The order in which clicked keys are tried; the first one clicked types.
constexpr KeyChars kTypingOrder[] = {
    {DIK_A, 'a', 'A'}, {DIK_B, 'b', 'B'}, {DIK_C, 'c', 'C'}, {DIK_D, 'd', 'D'}, {DIK_E, 'e', 'E'},
    {DIK_F, 'f', 'F'}, {DIK_G, 'g', 'G'}, {DIK_H, 'h', 'H'}, {DIK_I, 'i', 'I'}, {DIK_J, 'j', 'J'},
    {DIK_K, 'k', 'K'}, {DIK_L, 'l', 'L'}, {DIK_M, 'm', 'M'}, {DIK_N, 'n', 'N'}, {DIK_O, 'o', 'O'},
    {DIK_P, 'p', 'P'}, {DIK_Q, 'q', 'Q'}, {DIK_R, 'r', 'R'}, {DIK_S, 's', 'S'}, {DIK_T, 't', 'T'},
    {DIK_U, 'u', 'U'}, {DIK_V, 'v', 'V'}, {DIK_W, 'w', 'W'}, {DIK_X, 'x', 'X'}, {DIK_Y, 'y', 'Y'},
    {DIK_Z, 'z', 'Z'},
    {DIK_GRAVE, '`', '~'},
    {DIK_1, '1', '!'}, {DIK_2, '2', '@'}, {DIK_3, '3', '#'}, {DIK_4, '4', '$'}, {DIK_5, '5', '%'},
    {DIK_6, '6', '^'}, {DIK_7, '7', '&'}, {DIK_8, '8', '*'}, {DIK_9, '9', '('}, {DIK_0, '0', ')'},
    {DIK_MINUS, '-', '_'}, {DIK_EQUALS, '=', '+'},
    {DIK_LBRACKET, '[', '{'}, {DIK_RBRACKET, ']', '}'},
    {DIK_SEMICOLON, ';', ':'}, {DIK_APOSTROPHE, '\'', '"'}, {DIK_BACKSLASH, '\\', '|'},
    {DIK_COMMA, ',', '<'}, {DIK_PERIOD, '.', '>'}, {DIK_SLASH, '/', '?'},
    {DIK_NUMPAD0, '0', '0'}, {DIK_NUMPAD1, '1', '1'}, {DIK_NUMPAD2, '2', '2'}, {DIK_NUMPAD3, '3', '3'},
    {DIK_NUMPAD4, '4', '4'}, {DIK_NUMPAD5, '5', '5'}, {DIK_NUMPAD6, '6', '6'}, {DIK_NUMPAD7, '7', '7'},
    {DIK_NUMPAD8, '8', '8'}, {DIK_NUMPAD9, '9', '9'},
    {DIK_DIVIDE, '/', '/'}, {DIK_MULTIPLY, '*', '*'}, {DIK_SUBTRACT, '-', '-'}, {DIK_ADD, '+', '+'},
    {DIK_SPACE, ' ', ' '},
};

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
    m_inp.bKeyboardAcquired = AcquireInputDevice(m_inp.pKeyboard, "Cannot acquire keyboard!");
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

void CVelmor::KeyboardSetTextBufferSize(uint32_t size) {
    SetCheckpoint(128, __LINE__);
    m_inp.dwTextBufferSize = size;
    if (m_inp.strTextBuffer.size() > size) m_inp.strTextBuffer.resize(size);
}

void CVelmor::ProcessTextInput() {
    SetCheckpoint(128, __LINE__);
    std::string& text = m_inp.strTextBuffer;
    // One change per frame. A blank goes in even when the buffer is full; it
    // is cut at the next frame that types anything else.
    if (KeyboardIsKeyClicked(DIK_SPACE)) {
        text += ' ';
        return;
    }
    if (KeyboardIsKeyClicked(DIK_BACK)) {
        if (!text.empty()) text.pop_back();
        return;
    }
    if (const char typed = KeyToChar()) text += typed;
    if (text.size() > m_inp.dwTextBufferSize) text.resize(m_inp.dwTextBufferSize);
}

char CVelmor::KeyToChar() const {
    SetCheckpoint(128, __LINE__);
    const bool shift = KeyboardIsKeyPressed(DIK_LSHIFT) || KeyboardIsKeyPressed(DIK_RSHIFT);
    for (const KeyChars& entry : kTypingOrder) {
        if (KeyboardIsKeyClicked(entry.key)) return shift ? entry.shifted : entry.plain;
    }
    return 0;
}
