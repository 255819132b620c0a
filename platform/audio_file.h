// Writing audio files, for the tools that make game data and for tests that
// need real encoded audio.
#pragma once

#include <string>
#include <vector>

namespace platform {

enum class AudioFileFormat {
    Wav,   // 16-bit PCM
    Ogg,   // Vorbis
    Flac,  // 16-bit
    Mp3,   // MPEG-1 layer III
};

// `interleaved` holds frames of `channels` floats in -1..1. False when the
// file cannot be written.
bool WriteAudioFile(const std::string& path, AudioFileFormat format, const std::vector<float>& interleaved,
                    int channels, int rate);

}  // namespace platform
