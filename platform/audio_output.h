// Where the audio layer's default device (-1) sends its mix, and how the mix
// is taken when no real device consumes it. Production uses the SDL audio
// device; tests choose an offline device whose mix they pull, or no sound
// card at all.
#pragma once

#include <cstdint>

namespace platform {

enum class AudioOutput {
    Sdl,      // the system's default output through SDL's audio thread
    Offline,  // opens without sound; the mix is taken with AudioPull
    Missing,  // no sound card: opening the default output fails
};

// Takes effect at the next BASS_Init.
void SetAudioOutput(AudioOutput output);

// Mixes the next `frames` frames of 16-bit interleaved stereo into `out`,
// exactly as a device would take them. Works when the layer runs without a
// real device (the Offline output, or device -2); false otherwise (not
// initialised, or the SDL device is taking the mix itself).
bool AudioPull(int16_t* out, uint32_t frames);

// Frames between a call and its effect in the mix pulled (the mix bus
// limiter looks this far ahead); 0 when the layer is not initialised.
uint32_t AudioDelay();

}  // namespace platform
