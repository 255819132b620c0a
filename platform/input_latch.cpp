#include "input_latch.h"

#include <cstring>

namespace platform {

void KeyLatch::Down(uint8_t code) {
    m_held[code] = 1;
    m_pressed[code] = 1;
}

void KeyLatch::Up(uint8_t code) { m_held[code] = 0; }

void KeyLatch::Take(uint8_t* keys) {
    for (int i = 0; i < 256; ++i) keys[i] = (m_held[i] | m_pressed[i]) ? 0x80 : 0;
    std::memset(m_pressed, 0, sizeof(m_pressed));
}

void KeyLatch::ForgetPresses() { std::memset(m_pressed, 0, sizeof(m_pressed)); }

void MouseLatch::Move(int32_t dx, int32_t dy) {
    m_dx += dx;
    m_dy += dy;
}

void MouseLatch::Turn(int32_t dz) { m_dz += dz; }

void MouseLatch::Down(int button) {
    if (button < 0 || button >= 8) return;
    m_held[button] = 1;
    m_pressed[button] = 1;
}

void MouseLatch::Up(int button) {
    if (button < 0 || button >= 8) return;
    m_held[button] = 0;
}

void MouseLatch::Take(vdinput::DIMOUSESTATE2& state) {
    state.lX = m_dx;
    state.lY = m_dy;
    state.lZ = m_dz;
    for (int i = 0; i < 8; ++i) state.rgbButtons[i] = (m_held[i] | m_pressed[i]) ? 0x80 : 0;
    ForgetPending();
}

void MouseLatch::ForgetPending() {
    m_dx = m_dy = m_dz = 0;
    std::memset(m_pressed, 0, sizeof(m_pressed));
}

}  // namespace platform
