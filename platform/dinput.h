// Keyboard and mouse devices with the shape of DirectInput 8: the engine
// creates the input object and its two devices, sets their data formats and
// cooperative levels, acquires them and reads one state snapshot per frame.
// Result codes, key codes and the state layouts are DirectInput's own, so the
// engine keeps the protocol it was written for (including lost input).
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class GameWindow;
}

namespace vdinput {

typedef int32_t HRESULT;

constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOEFFECT = 1;  // nothing to do (already acquired, not acquired)
constexpr HRESULT DIERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000C);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001E);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AA);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047E);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154);

inline bool Failed(HRESULT hr) { return hr < 0; }

constexpr uint32_t DIRECTINPUT_VERSION = 0x0800;

// Cooperative-level flags.
constexpr uint32_t DISCL_EXCLUSIVE = 0x01;
constexpr uint32_t DISCL_NONEXCLUSIVE = 0x02;
constexpr uint32_t DISCL_FOREGROUND = 0x04;
constexpr uint32_t DISCL_BACKGROUND = 0x08;
constexpr uint32_t DISCL_NOWINKEY = 0x10;

// The two system devices.
enum DeviceGuid { GUID_SysKeyboard, GUID_SysMouse };

// A device data format; only its size matters to the devices here.
struct DIDATAFORMAT {
    uint32_t dwDataSize;
};
// 256 key bytes, bit 7 set while the key is held.
extern const DIDATAFORMAT c_dfDIKeyboard;
// DIMOUSESTATE2, relative axes.
extern const DIDATAFORMAT c_dfDIMouse2;

// Motion since the previous read (X, Y, wheel) and eight buttons, bit 7 set
// while held. Buttons: 0 left, 1 right, 2 middle, 3 and 4 the side buttons.
struct DIMOUSESTATE2 {
    int32_t lX;
    int32_t lY;
    int32_t lZ;
    uint8_t rgbButtons[8];
};
static_assert(sizeof(DIMOUSESTATE2) == 20, "the mouse state is 20 bytes");

// One wheel notch, as DirectInput reports it.
constexpr int32_t WHEEL_DELTA = 120;

// Bits of a key or button byte in a snapshot. Beyond DirectInput, which sets
// only bit 7, a read also marks each press that arrived since the previous
// read, so a press is never mistaken for no change: not one that came and
// went between two reads, nor a new press of a key the previous read showed
// held. A marked key or button also reads as held.
constexpr uint8_t DISTATE_HELD = 0x80;
constexpr uint8_t DISTATE_NEWPRESS = 0x01;

// Objects count references; Release returns the count left and deletes the
// object when it reaches 0.
class IDirectInputDevice8 {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
    virtual HRESULT SetCooperativeLevel(platform::GameWindow* window, uint32_t flags) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT GetDeviceState(uint32_t size, void* data) = 0;
    // Beyond DirectInput: the text typed (UTF-8, as the player's keyboard
    // layout, Shift and AltGr, dead keys and input method made it) that came
    // with the keyboard's last snapshot; empty for the mouse. Key states stay
    // positional, for game controls; text comes only from here.
    virtual HRESULT GetTypedText(std::string& text) = 0;

protected:
    virtual ~IDirectInputDevice8() = default;
};

class IDirectInput8 {
public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    virtual HRESULT CreateDevice(DeviceGuid guid, IDirectInputDevice8** device) = 0;

protected:
    virtual ~IDirectInput8() = default;
};

// Creates the input object on the platform's input system
// (platform::GetInputSystem).
HRESULT DirectInput8Create(uint32_t version, IDirectInput8** out);

// Keyboard scan codes.
enum : uint8_t {
    DIK_ESCAPE = 0x01,
    DIK_1 = 0x02,
    DIK_2 = 0x03,
    DIK_3 = 0x04,
    DIK_4 = 0x05,
    DIK_5 = 0x06,
    DIK_6 = 0x07,
    DIK_7 = 0x08,
    DIK_8 = 0x09,
    DIK_9 = 0x0A,
    DIK_0 = 0x0B,
    DIK_MINUS = 0x0C,
    DIK_EQUALS = 0x0D,
    DIK_BACK = 0x0E,
    DIK_TAB = 0x0F,
    DIK_Q = 0x10,
    DIK_W = 0x11,
    DIK_E = 0x12,
    DIK_R = 0x13,
    DIK_T = 0x14,
    DIK_Y = 0x15,
    DIK_U = 0x16,
    DIK_I = 0x17,
    DIK_O = 0x18,
    DIK_P = 0x19,
    DIK_LBRACKET = 0x1A,
    DIK_RBRACKET = 0x1B,
    DIK_RETURN = 0x1C,
    DIK_LCONTROL = 0x1D,
    DIK_A = 0x1E,
    DIK_S = 0x1F,
    DIK_D = 0x20,
    DIK_F = 0x21,
    DIK_G = 0x22,
    DIK_H = 0x23,
    DIK_J = 0x24,
    DIK_K = 0x25,
    DIK_L = 0x26,
    DIK_SEMICOLON = 0x27,
    DIK_APOSTROPHE = 0x28,
    DIK_GRAVE = 0x29,
    DIK_LSHIFT = 0x2A,
    DIK_BACKSLASH = 0x2B,
    DIK_Z = 0x2C,
    DIK_X = 0x2D,
    DIK_C = 0x2E,
    DIK_V = 0x2F,
    DIK_B = 0x30,
    DIK_N = 0x31,
    DIK_M = 0x32,
    DIK_COMMA = 0x33,
    DIK_PERIOD = 0x34,
    DIK_SLASH = 0x35,
    DIK_RSHIFT = 0x36,
    DIK_MULTIPLY = 0x37,
    DIK_LMENU = 0x38,
    DIK_SPACE = 0x39,
    DIK_CAPITAL = 0x3A,
    DIK_F1 = 0x3B,
    DIK_F2 = 0x3C,
    DIK_F3 = 0x3D,
    DIK_F4 = 0x3E,
    DIK_F5 = 0x3F,
    DIK_F6 = 0x40,
    DIK_F7 = 0x41,
    DIK_F8 = 0x42,
    DIK_F9 = 0x43,
    DIK_F10 = 0x44,
    DIK_NUMLOCK = 0x45,
    DIK_SCROLL = 0x46,
    DIK_NUMPAD7 = 0x47,
    DIK_NUMPAD8 = 0x48,
    DIK_NUMPAD9 = 0x49,
    DIK_SUBTRACT = 0x4A,
    DIK_NUMPAD4 = 0x4B,
    DIK_NUMPAD5 = 0x4C,
    DIK_NUMPAD6 = 0x4D,
    DIK_ADD = 0x4E,
    DIK_NUMPAD1 = 0x4F,
    DIK_NUMPAD2 = 0x50,
    DIK_NUMPAD3 = 0x51,
    DIK_NUMPAD0 = 0x52,
    DIK_DECIMAL = 0x53,
    DIK_OEM_102 = 0x56,
    DIK_F11 = 0x57,
    DIK_F12 = 0x58,
    DIK_F13 = 0x64,
    DIK_F14 = 0x65,
    DIK_F15 = 0x66,
    DIK_KANA = 0x70,
    DIK_ABNT_C1 = 0x73,
    DIK_CONVERT = 0x79,
    DIK_NOCONVERT = 0x7B,
    DIK_YEN = 0x7D,
    DIK_ABNT_C2 = 0x7E,
    DIK_NUMPADEQUALS = 0x8D,
    DIK_PREVTRACK = 0x90,
    DIK_AT = 0x91,
    DIK_COLON = 0x92,
    DIK_UNDERLINE = 0x93,
    DIK_KANJI = 0x94,
    DIK_STOP = 0x95,
    DIK_AX = 0x96,
    DIK_UNLABELED = 0x97,
    DIK_NEXTTRACK = 0x99,
    DIK_NUMPADENTER = 0x9C,
    DIK_RCONTROL = 0x9D,
    DIK_MUTE = 0xA0,
    DIK_CALCULATOR = 0xA1,
    DIK_PLAYPAUSE = 0xA2,
    DIK_MEDIASTOP = 0xA4,
    DIK_VOLUMEDOWN = 0xAE,
    DIK_VOLUMEUP = 0xB0,
    DIK_WEBHOME = 0xB2,
    DIK_NUMPADCOMMA = 0xB3,
    DIK_DIVIDE = 0xB5,
    DIK_SYSRQ = 0xB7,
    DIK_RMENU = 0xB8,
    DIK_PAUSE = 0xC5,
    DIK_HOME = 0xC7,
    DIK_UP = 0xC8,
    DIK_PRIOR = 0xC9,
    DIK_LEFT = 0xCB,
    DIK_RIGHT = 0xCD,
    DIK_END = 0xCF,
    DIK_DOWN = 0xD0,
    DIK_NEXT = 0xD1,
    DIK_INSERT = 0xD2,
    DIK_DELETE = 0xD3,
    DIK_LWIN = 0xDB,
    DIK_RWIN = 0xDC,
    DIK_APPS = 0xDD,
    DIK_POWER = 0xDE,
    DIK_SLEEP = 0xDF,
    DIK_WAKE = 0xE3,
    DIK_WEBSEARCH = 0xE5,
    DIK_WEBFAVORITES = 0xE6,
    DIK_WEBREFRESH = 0xE7,
    DIK_WEBSTOP = 0xE8,
    DIK_WEBFORWARD = 0xE9,
    DIK_WEBBACK = 0xEA,
    DIK_MYCOMPUTER = 0xEB,
    DIK_MAIL = 0xEC,
    DIK_MEDIASELECT = 0xED,

    // Alternative names of the same keys.
    DIK_BACKSPACE = DIK_BACK,
    DIK_NUMPADSTAR = DIK_MULTIPLY,
    DIK_LALT = DIK_LMENU,
    DIK_CAPSLOCK = DIK_CAPITAL,
    DIK_NUMPADMINUS = DIK_SUBTRACT,
    DIK_NUMPADPLUS = DIK_ADD,
    DIK_NUMPADPERIOD = DIK_DECIMAL,
    DIK_NUMPADSLASH = DIK_DIVIDE,
    DIK_RALT = DIK_RMENU,
    DIK_UPARROW = DIK_UP,
    DIK_PGUP = DIK_PRIOR,
    DIK_LEFTARROW = DIK_LEFT,
    DIK_RIGHTARROW = DIK_RIGHT,
    DIK_DOWNARROW = DIK_DOWN,
    DIK_PGDN = DIK_NEXT,
};

}  // namespace vdinput
