// What the platform saw of the keyboard and the mouse since the last read.
// Every press is reported by exactly one read, marked as a new press: a key
// or button that went down reads as held in the next snapshot even if it
// came up again before that read, and presses that come faster than the
// reads are handed out one per read, so no tap is lost between two frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dinput.h"

namespace platform {

// Held states, and presses not yet reported, of `Count` keys or buttons.
template <size_t Count>
class PressLatch {
public:
    void Down(size_t index) {
        if (index >= Count) return;
        m_held[index] = 1;
        if (m_unreported[index] < UINT8_MAX) ++m_unreported[index];
    }
    void Up(size_t index) {
        if (index < Count) m_held[index] = 0;
    }
    // Writes `Count` state bytes: held now, or held and newly pressed when a
    // press is waiting (which then counts as reported).
    void Take(uint8_t* states) {
        for (size_t i = 0; i < Count; ++i) {
            if (m_unreported[i] > 0) {
                --m_unreported[i];
                states[i] = vdinput::DISTATE_HELD | vdinput::DISTATE_NEWPRESS;
            } else {
                states[i] = m_held[i] ? vdinput::DISTATE_HELD : 0;
            }
        }
    }
    void ForgetPresses() {
        for (uint8_t& presses : m_unreported) presses = 0;
    }

private:
    uint8_t m_held[Count] = {};
    uint8_t m_unreported[Count] = {};
};

class KeyLatch {
public:
    void Down(uint8_t code) { m_keys.Down(code); }
    void Up(uint8_t code) { m_keys.Up(code); }
    // Text typed (UTF-8), in the order it came.
    void Type(const std::string& text) { m_text += text; }
    // 256 key bytes.
    void Take(uint8_t* keys) { m_keys.Take(keys); }
    // The text typed since the last take.
    std::string TakeText() {
        std::string text;
        text.swap(m_text);
        return text;
    }
    // Presses and text seen while nobody was reading do not count.
    void ForgetPresses() {
        m_keys.ForgetPresses();
        m_text.clear();
    }

private:
    PressLatch<256> m_keys;
    std::string m_text;
};

class MouseLatch {
public:
    void Move(int32_t dx, int32_t dy);
    void Turn(int32_t dz);
    // Buttons by DirectInput index: 0 left, 1 right, 2 middle, 3 to 7 others.
    void Down(int button);
    void Up(int button);
    // Motion since the last take, and the buttons.
    void Take(vdinput::DIMOUSESTATE2& state);
    // Motion and presses seen while nobody was reading do not count.
    void ForgetPending();

private:
    int32_t m_dx = 0, m_dy = 0, m_dz = 0;
    PressLatch<8> m_buttons;
};

struct InputLatch {
    KeyLatch keys;
    MouseLatch mouse;
};

}  // namespace platform
