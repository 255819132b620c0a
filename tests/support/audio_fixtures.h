// Audio for tests: generated signals, files written through the platform's
// writer, a tiny ProTracker module built byte by byte, and pulling the mix.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio_file.h"
#include "audio_output.h"

namespace audiotest {

constexpr int RATE = 44100;
// Longer than the mixer's fades and look-ahead together (20 ms): this many
// frames after a change, the change is fully heard.
constexpr uint32_t SETTLE = RATE / 50;

// Frames between a call and its first effect in the pulled mix.
inline uint32_t Delay() { return platform::AudioDelay(); }

// Interleaved frames of `channels` channels, each holding `value`.
inline std::vector<float> Constant(uint32_t frames, int channels, float value) {
    return std::vector<float>(static_cast<size_t>(frames) * channels, value);
}

// A sine of `periods` whole periods over `frames` frames, so a loop of it
// is seamless; both channels carry it.
inline std::vector<float> Sine(uint32_t frames, uint32_t periods, float amplitude) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        const float v = amplitude * static_cast<float>(std::sin(2.0 * M_PI * periods * i / frames));
        out[2 * i] = out[2 * i + 1] = v;
    }
    return out;
}

inline std::string WriteAudio(const std::string& path, platform::AudioFileFormat format,
                              const std::vector<float>& frames, int channels, int rate = RATE) {
    if (!platform::WriteAudioFile(path, format, frames, channels, rate)) return std::string();
    return path;
}

// A ProTracker ("M.K.") module with one looped square-wave sample that
// sounds from row 0 on channel 1; a pattern break on row `lastRow` ends
// the song after lastRow + 1 rows of 120 ms (speed 6, 125 BPM).
inline std::string TinyModule(int lastRow = 3) {
    std::string m(20, '\0');
    m.replace(0, 4, "tiny");
    const auto word = [](std::string& s, uint16_t v) {
        s.push_back(static_cast<char>(v >> 8));
        s.push_back(static_cast<char>(v & 0xFF));
    };
    const uint16_t sampleWords = 32;  // 64 bytes
    for (int s = 0; s < 31; ++s) {
        std::string header(22, '\0');
        if (s == 0) {
            word(header, sampleWords);
            header.push_back('\0');   // finetune
            header.push_back('\x40');  // volume 64
            word(header, 0);           // loop start
            word(header, sampleWords); // loop length: the whole sample
        } else {
            word(header, 0);
            header.push_back('\0');
            header.push_back('\0');
            word(header, 0);
            word(header, 1);
        }
        m += header;
    }
    m.push_back('\x01');  // song length: one order
    m.push_back('\x7F');
    m += std::string(128, '\0');
    m += "M.K.";
    std::string pattern(64 * 4 * 4, '\0');
    const uint16_t period = 428;  // C-2
    pattern[0] = static_cast<char>(period >> 8);  // sample 1: high nibble 0
    pattern[1] = static_cast<char>(period & 0xFF);
    pattern[2] = static_cast<char>(0x10);  // sample 1 low nibble, no effect
    const size_t breakCell = static_cast<size_t>(lastRow) * 16 + 4;  // row lastRow, channel 2
    pattern[breakCell + 2] = 0x0D;                                    // pattern break
    m += pattern;
    for (int i = 0; i < 64; ++i) m.push_back(static_cast<char>(i < 32 ? 0x60 : -0x60));
    return m;
}

// Pulls `frames` frames of the mix as floats in -1..1 (interleaved stereo).
inline std::vector<float> Pull(uint32_t frames) {
    std::vector<int16_t> pcm(2 * static_cast<size_t>(frames));
    std::vector<float> out;
    if (!platform::AudioPull(pcm.data(), frames)) return out;
    out.reserve(pcm.size());
    for (int16_t v : pcm) out.push_back(v / 32767.0f);
    return out;
}

// Pulls and drops the frames in which the last change is still on its way.
inline void Settle() { Pull(SETTLE); }

inline float Peak(const std::vector<float>& stereo, int channel, size_t from = 0, size_t to = SIZE_MAX) {
    float peak = 0.0f;
    for (size_t i = from; i < stereo.size() / 2 && i < to; ++i) peak = std::max(peak, std::fabs(stereo[2 * i + channel]));
    return peak;
}

}  // namespace audiotest
