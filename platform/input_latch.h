// What the platform saw of the keyboard and the mouse since the last read.
// A key or button that went down counts as held in the next snapshot even if
// it came up again before that read, so a quick tap is never lost between
// two frames.
#pragma once

#include <cstdint>

#include "dinput.h"

namespace platform {

class KeyLatch {
public:
    void Down(uint8_t code);
    void Up(uint8_t code);
    // 256 bytes, 0x80 for each key held now or pressed since the last take.
    void Take(uint8_t* keys);
    // Presses seen while nobody was reading do not count.
    void ForgetPresses();

private:
    uint8_t m_held[256] = {};
    uint8_t m_pressed[256] = {};
};

class MouseLatch {
public:
    void Move(int32_t dx, int32_t dy);
    void Turn(int32_t dz);
    // Buttons by DirectInput index: 0 left, 1 right, 2 middle, 3 to 7 others.
    void Down(int button);
    void Up(int button);
    // Motion since the last take, and buttons held now or pressed since then.
    void Take(vdinput::DIMOUSESTATE2& state);
    // Motion and presses seen while nobody was reading do not count.
    void ForgetPending();

private:
    int32_t m_dx = 0, m_dy = 0, m_dz = 0;
    uint8_t m_held[8] = {};
    uint8_t m_pressed[8] = {};
};

struct InputLatch {
    KeyLatch keys;
    MouseLatch mouse;
};

}  // namespace platform
