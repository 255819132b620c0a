#include "input_latch.h"

namespace platform {

void MouseLatch::Move(int32_t dx, int32_t dy) {
    m_dx += dx;
    m_dy += dy;
}

void MouseLatch::Turn(int32_t dz) { m_dz += dz; }

void MouseLatch::Down(int button) {
    if (button >= 0) m_buttons.Down(static_cast<size_t>(button));
}

void MouseLatch::Up(int button) {
    if (button >= 0) m_buttons.Up(static_cast<size_t>(button));
}

void MouseLatch::Take(vdinput::DIMOUSESTATE2& state) {
    state.lX = m_dx;
    state.lY = m_dy;
    state.lZ = m_dz;
    m_dx = m_dy = m_dz = 0;
    m_buttons.Take(state.rgbButtons);
}

void MouseLatch::ForgetPending() {
    m_dx = m_dy = m_dz = 0;
    m_buttons.ForgetPresses();
}

}  // namespace platform
