#include "audio_file.h"

#include <sndfile.h>

namespace platform {

bool WriteAudioFile(const std::string& path, AudioFileFormat format, const std::vector<float>& interleaved,
                    int channels, int rate) {
    if (channels < 1 || rate < 1) return false;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    switch (format) {
        case AudioFileFormat::Wav: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
        case AudioFileFormat::Ogg: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
        case AudioFileFormat::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
        case AudioFileFormat::Mp3: info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III; break;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<size_t>(channels));
    const bool written = sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

}  // namespace platform
