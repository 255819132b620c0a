// The input platform layer: the SDL scancode table, the device protocol
// shared by every input system, and window-to-back-buffer cursor mapping.
#include <SDL_scancode.h>

#include <map>
#include <set>
#include <utility>

#include "dinput.h"
#include "input_headless.h"
#include "presentation.h"
#include "scancode_dik.h"
#include "test_support.h"

using namespace vdinput;

namespace {

// ---- Scancode table -----------------------------------------------------------

TEST(ScancodeTable, LettersDigitsFunctionKeysArrowsAndKeypadHaveTheirCodes) {
    const uint8_t letters[26] = {DIK_A, DIK_B, DIK_C, DIK_D, DIK_E, DIK_F, DIK_G, DIK_H, DIK_I,
                                 DIK_J, DIK_K, DIK_L, DIK_M, DIK_N, DIK_O, DIK_P, DIK_Q, DIK_R,
                                 DIK_S, DIK_T, DIK_U, DIK_V, DIK_W, DIK_X, DIK_Y, DIK_Z};
    for (int i = 0; i < 26; ++i) EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_A + i), letters[i]) << char('A' + i);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_A), 0x1E);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_Q), 0x10);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_Z), 0x2C);

    // SDL's digit row runs 1..9, 0; so does DirectInput's, from 0x02.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_1 + i), 0x02 + i);

    for (int i = 0; i < 10; ++i) EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F1 + i), 0x3B + i) << "F" << i + 1;
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F11), 0x57);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F12), 0x58);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F13), 0x64);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F15), 0x66);

    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_UP), 0xC8);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_LEFT), 0xCB);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_RIGHT), 0xCD);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_DOWN), 0xD0);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_PAGEUP), 0xC9);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_PAGEDOWN), 0xD1);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_HOME), 0xC7);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_END), 0xCF);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_INSERT), 0xD2);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_DELETE), 0xD3);

    const std::pair<SDL_Scancode, int> keypad[] = {
        {SDL_SCANCODE_KP_0, 0x52},     {SDL_SCANCODE_KP_1, 0x4F},        {SDL_SCANCODE_KP_2, 0x50},
        {SDL_SCANCODE_KP_3, 0x51},     {SDL_SCANCODE_KP_4, 0x4B},        {SDL_SCANCODE_KP_5, 0x4C},
        {SDL_SCANCODE_KP_6, 0x4D},     {SDL_SCANCODE_KP_7, 0x47},        {SDL_SCANCODE_KP_8, 0x48},
        {SDL_SCANCODE_KP_9, 0x49},     {SDL_SCANCODE_KP_PERIOD, 0x53},   {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_KP_PLUS, 0x4E},  {SDL_SCANCODE_KP_MINUS, 0x4A},    {SDL_SCANCODE_KP_MULTIPLY, 0x37},
        {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    };
    for (const auto& [scancode, code] : keypad) EXPECT_EQ(platform::DikFromScancode(scancode), code) << scancode;
}

TEST(ScancodeTable, TheRestOfA105KeyKeyboardAndTheMediaKeysAreThere) {
    const std::pair<SDL_Scancode, int> keys[] = {
        {SDL_SCANCODE_ESCAPE, 0x01},     {SDL_SCANCODE_GRAVE, 0x29},       {SDL_SCANCODE_MINUS, 0x0C},
        {SDL_SCANCODE_EQUALS, 0x0D},     {SDL_SCANCODE_BACKSPACE, 0x0E},   {SDL_SCANCODE_TAB, 0x0F},
        {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},
        {SDL_SCANCODE_CAPSLOCK, 0x3A},   {SDL_SCANCODE_SEMICOLON, 0x27},   {SDL_SCANCODE_APOSTROPHE, 0x28},
        {SDL_SCANCODE_BACKSLASH, 0x2B},  {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_COMMA, 0x33},
        {SDL_SCANCODE_PERIOD, 0x34},     {SDL_SCANCODE_SLASH, 0x35},       {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_LSHIFT, 0x2A},     {SDL_SCANCODE_RSHIFT, 0x36},      {SDL_SCANCODE_LCTRL, 0x1D},
        {SDL_SCANCODE_RCTRL, 0x9D},      {SDL_SCANCODE_LALT, 0x38},        {SDL_SCANCODE_RALT, 0xB8},
        {SDL_SCANCODE_LGUI, 0xDB},       {SDL_SCANCODE_RGUI, 0xDC},        {SDL_SCANCODE_APPLICATION, 0xDD},
        {SDL_SCANCODE_PRINTSCREEN, 0xB7}, {SDL_SCANCODE_SCROLLLOCK, 0x46}, {SDL_SCANCODE_PAUSE, 0xC5},
        {SDL_SCANCODE_MUTE, 0xA0},       {SDL_SCANCODE_VOLUMEUP, 0xB0},    {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
        {SDL_SCANCODE_AUDIONEXT, 0x99},  {SDL_SCANCODE_AUDIOPREV, 0x90},   {SDL_SCANCODE_AUDIOSTOP, 0xA4},
        {SDL_SCANCODE_AUDIOPLAY, 0xA2},  {SDL_SCANCODE_MEDIASELECT, 0xED}, {SDL_SCANCODE_MAIL, 0xEC},
        {SDL_SCANCODE_CALCULATOR, 0xA1}, {SDL_SCANCODE_COMPUTER, 0xEB},    {SDL_SCANCODE_AC_SEARCH, 0xE5},
        {SDL_SCANCODE_AC_HOME, 0xB2},    {SDL_SCANCODE_AC_BACK, 0xEA},     {SDL_SCANCODE_AC_FORWARD, 0xE9},
        {SDL_SCANCODE_AC_STOP, 0xE8},    {SDL_SCANCODE_AC_REFRESH, 0xE7},  {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
        {SDL_SCANCODE_POWER, 0xDE},      {SDL_SCANCODE_SLEEP, 0xDF},
    };
    for (const auto& [scancode, code] : keys) EXPECT_EQ(platform::DikFromScancode(scancode), code) << scancode;
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(platform::DikFromScancode(SDL_SCANCODE_F24), 0) << "no DirectInput code";
    EXPECT_EQ(platform::DikFromScancode(-1), 0);
    EXPECT_EQ(platform::DikFromScancode(SDL_NUM_SCANCODES), 0);
}

TEST(ScancodeTable, DistinctKeysGetDistinctCodes) {
    // Names SDL gives to one physical key depending on the driver.
    const std::set<std::pair<int, int>> sameKey = {
        {SDL_SCANCODE_BACKSLASH, SDL_SCANCODE_NONUSHASH},
        {SDL_SCANCODE_PRINTSCREEN, SDL_SCANCODE_SYSREQ},
        {SDL_SCANCODE_MUTE, SDL_SCANCODE_AUDIOMUTE},
        {SDL_SCANCODE_STOP, SDL_SCANCODE_AC_STOP},
    };
    std::map<int, int> firstScancodeOfCode;
    int mapped = 0;
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        const int code = platform::DikFromScancode(scancode);
        if (code == 0) continue;
        ++mapped;
        const auto [it, isNew] = firstScancodeOfCode.emplace(code, scancode);
        if (!isNew) {
            EXPECT_TRUE(sameKey.count({it->second, scancode}) == 1)
                << "scancodes " << it->second << " and " << scancode << " share code " << code;
        }
    }
    EXPECT_EQ(mapped, static_cast<int>(firstScancodeOfCode.size() + sameKey.size()));
    EXPECT_GE(mapped, 105) << "a full keyboard plus keypad and media keys";
}

// ---- Device protocol ---------------------------------------------------------

class DeviceProtocolTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_EQ(DirectInput8Create(DIRECTINPUT_VERSION, &di), DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard), DI_OK);
        ASSERT_EQ(di->CreateDevice(GUID_SysMouse, &mouse), DI_OK);
    }
    void TearDown() override {
        if (mouse) mouse->Release();
        if (keyboard) keyboard->Release();
        if (di) di->Release();
        EngineTest::TearDown();
    }
    platform::GameWindow* Window() { return reinterpret_cast<platform::GameWindow*>(&m_window); }

    IDirectInput8* di = nullptr;
    IDirectInputDevice8* keyboard = nullptr;
    IDirectInputDevice8* mouse = nullptr;

private:
    int m_window = 0;
};

TEST_F(DeviceProtocolTest, OnlyVersion8CreatesTheInputObject) {
    IDirectInput8* other = reinterpret_cast<IDirectInput8*>(this);
    EXPECT_EQ(DirectInput8Create(0x0700, &other), DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(DirectInput8Create(DIRECTINPUT_VERSION, nullptr), DIERR_INVALIDPARAM);
}

TEST_F(DeviceProtocolTest, EachDeviceTakesOnlyItsOwnFormatAndAValidLevel) {
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIMouse2), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetDataFormat(nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);

    EXPECT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetCooperativeLevel(Window(), DISCL_FOREGROUND), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetCooperativeLevel(Window(), DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetCooperativeLevel(Window(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetCooperativeLevel(Window(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY),
              DI_OK);

    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED) << "no changes while acquired";
    EXPECT_EQ(keyboard->SetCooperativeLevel(Window(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
}

TEST_F(DeviceProtocolTest, ReadsNeedAFormatTheRightSizeAndAnAcquiredDevice) {
    uint8_t keys[256];
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DIERR_NOTINITIALIZED);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DIERR_NOTACQUIRED);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(255, keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DI_OK);

    DIMOUSESTATE2 state;
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(mouse->GetDeviceState(16, &state), DIERR_INVALIDPARAM) << "the 4-button layout is not offered";
    EXPECT_EQ(mouse->GetDeviceState(sizeof(state), &state), DI_OK);
}

TEST_F(DeviceProtocolTest, LostInputUnacquiresAndWhatCameBeforeAnAcquisitionDoesNotCount) {
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    input->KeyDown(DIK_A);  // held through the acquisition
    input->KeyDown(DIK_B);
    input->KeyUp(DIK_B);  // a tap before it
    input->MoveMouse(7, 7);
    input->ButtonDown(1);
    input->ButtonUp(1);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);

    uint8_t keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x80);
    EXPECT_EQ(keys[DIK_B], 0);
    DIMOUSESTATE2 state;
    ASSERT_EQ(mouse->GetDeviceState(sizeof(state), &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgbButtons[1], 0);

    input->keyboard.readResults = {DIERR_INPUTLOST};
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DIERR_NOTACQUIRED);
    input->keyboard.readResults = {DIERR_GENERIC};
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DIERR_GENERIC);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(keys), keys), DI_OK) << "other failures keep the device";
}

TEST_F(DeviceProtocolTest, ReleaseCountsReferences) {
    EXPECT_EQ(keyboard->AddRef(), 2u);
    EXPECT_EQ(keyboard->Release(), 1u);
    EXPECT_TRUE(input->keyboard.exists);
    EXPECT_EQ(keyboard->Release(), 0u);
    keyboard = nullptr;
    EXPECT_FALSE(input->keyboard.exists);
}

// ---- Cursor mapping ---------------------------------------------------------

TEST(Presentation, WindowPixelsMapToTheBackBufferPixelUnderThem) {
    int bx = 0, by = 0;
    platform::SetPresentationGeometry(0, 0, 0, 0);
    platform::WindowPointToBuffer(123, 45, bx, by);
    EXPECT_EQ(bx, 123) << "no geometry yet: unchanged";
    EXPECT_EQ(by, 45);

    // 1280x720 shows the 800x600 picture 960x720 large, with 160-pixel bars.
    platform::SetPresentationGeometry(1280, 720, 800, 600);
    const struct {
        int wx, wy, bx, by;
    } points[] = {
        {160, 0, 0, 0}, {1119, 719, 799, 599}, {640, 360, 400, 300}, {161, 1, 0, 0},
        {162, 2, 1, 1}, {159, 0, -1, 0},       {0, 0, -134, 0},      {1120, 0, 800, 0},
    };
    for (const auto& p : points) {
        platform::WindowPointToBuffer(p.wx, p.wy, bx, by);
        EXPECT_EQ(bx, p.bx) << p.wx << "," << p.wy;
        EXPECT_EQ(by, p.by) << p.wx << "," << p.wy;
    }
    // A window of the buffer's own size maps one to one.
    platform::SetPresentationGeometry(800, 600, 800, 600);
    platform::WindowPointToBuffer(799, 0, bx, by);
    EXPECT_EQ(bx, 799);
    platform::SetPresentationGeometry(0, 0, 0, 0);
}

}  // namespace
