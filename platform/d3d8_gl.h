// The OpenGL backend of the Direct3D-shaped device: OpenGL 3.3 core, or
// OpenGL ES 3.0 / WebGL 2 when built with VELMOR_GL_ES.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d8.h"

namespace vd3d {

// Probes the display through SDL2 and OpenGL; null when no OpenGL 3.3 (or
// OpenGL ES 3.0) context can be made.
IDirect3D8* CreateGlDirect3D();

// What a window shows after a Present: A8R8G8B8 pixels, top row first.
struct WindowCapture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Makes the next Present of an OpenGL device copy the window's picture
// (letterbox bars and gamma included) into `capture`. False for a device of
// another backend.
bool CaptureNextPresent(IDirect3DDevice8* device, WindowCapture* capture);

// On unless turned off: a present that repeats the last shown frame exactly
// draws nothing. Benchmarks of drawing speed turn it off, so that every
// frame is drawn however alike. Read by every OpenGL device at its next
// present.
void SetRepeatedFramesSkipped(bool on);

// On unless turned off: a present draws, scales and shows only where its
// frame can differ from the last shown one. Off, every shown frame is drawn
// and shown whole (the picture is the same either way). Read by every
// OpenGL device at its next present.
void SetDamageTracked(bool on);

// How many presents of an OpenGL device drew the window; a present that
// repeats the last shown frame exactly draws nothing. 0 for another backend.
uint64_t ShownFrameCount(IDirect3DDevice8* device);

}  // namespace vd3d
