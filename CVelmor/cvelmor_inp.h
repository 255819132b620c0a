// The input subsystem's state: the input object, the keyboard and the mouse
// with this frame's and the previous frame's snapshots, the cursor, and the
// text-input buffer.
#pragma once

#include <cstdint>
#include <string>

#include "dinput.h"

struct V2DINPUTSTATE {
    vdinput::IDirectInput8* pDirectInput = nullptr;

    vdinput::IDirectInputDevice8* pKeyboard = nullptr;
    uint8_t keys[256] = {};  // DISTATE_HELD, and DISTATE_NEWPRESS for a new press
    uint8_t prevKeys[256] = {};
    std::string strTypedText;  // this frame's, UTF-8

    std::string strTextBuffer;  // UTF-8
    bool bTextBufferOn = false;
    uint32_t dwTextBufferSize = 255;  // in characters

    vdinput::IDirectInputDevice8* pMouse = nullptr;
    vdinput::DIMOUSESTATE2 mouse = {};
    vdinput::DIMOUSESTATE2 prevMouse = {};

    // Client coordinates of the game window (back-buffer pixels).
    int32_t iCursorX = 0;
    int32_t iCursorY = 0;
    int32_t iPrevCursorX = 0;
    int32_t iPrevCursorY = 0;
    uint8_t bCursorInside = 0;
    uint8_t bPrevCursorInside = 0;

    uint32_t dwLastClickTime = 0;
    uint8_t bDoubleClick = 0;

    uint8_t bKeyboardAcquired = 0;
    uint8_t bMouseAcquired = 0;
};

// Acquires an input device; on failure writes the warning and the error code
// (signed decimal) to the log. Returns the new acquired flag.
// When the device is acquired: right after its window was made, the window
// may not have the focus yet, and the device is acquired once it comes.
enum class AcquireMoment { AtStart, OnFocusGain };
uint8_t AcquireInputDevice(vdinput::IDirectInputDevice8* device, const char* warning, AcquireMoment moment);
