// Mixing cost of the audio layer: 32 sample playbacks whose frequencies keep
// sliding, plus one four-channel music module, for 60 s of 44.1 kHz stereo,
// pulled in device-sized blocks with no device. Prints how many times faster
// than real time the mix runs (by the clock on the wall and by the CPU time
// the process used, which a busy machine disturbs less), the cost of one
// voice for one output frame, and the layer's own CPU figure. An argument
// sets another length in seconds (a short run for an instruction profiler).
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audio_file.h"
#include "audio_output.h"
#include "bass.h"

using namespace vbass;

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 60;
constexpr uint32_t kBlock = 512;  // what the SDL device asks for at a time
constexpr int kPlaybacks = 32;

// A ProTracker module: four channels, 64 rows, a note on every channel every
// second row, one looped 256-byte sample.
std::string BusyModule() {
    std::string m(20, '\0');
    const auto word = [&m](uint16_t v) {
        m.push_back(static_cast<char>(v >> 8));
        m.push_back(static_cast<char>(v & 0xFF));
    };
    for (int s = 0; s < 31; ++s) {
        m += std::string(22, '\0');
        word(s == 0 ? 128 : 0);
        m.push_back('\0');
        m.push_back(s == 0 ? '\x30' : '\0');
        word(0);
        word(s == 0 ? 128 : 1);
    }
    m.push_back('\x01');
    m.push_back('\x7F');
    m += std::string(128, '\0');
    m += "M.K.";
    const uint16_t periods[] = {428, 381, 339, 320, 285, 254, 226, 214};
    for (int row = 0; row < 64; ++row) {
        for (int channel = 0; channel < 4; ++channel) {
            const uint16_t period = row % 2 == 0 ? periods[(row / 2 + channel * 3) % 8] : 0;
            m.push_back(static_cast<char>(period >> 8));
            m.push_back(static_cast<char>(period & 0xFF));
            m.push_back(period ? '\x10' : '\0');
            m.push_back('\0');
        }
    }
    for (int i = 0; i < 256; ++i) m.push_back(static_cast<char>(100 * std::sin(2 * M_PI * i / 32)));
    return m;
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

bool Check(BOOL ok, const char* what) {
    if (!ok) std::fprintf(stderr, "%s failed: error %d\n", what, BASS_ErrorGetCode());
    return ok != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t seconds = argc > 1 ? static_cast<uint32_t>(std::max(1, std::atoi(argv[1]))) : kSeconds;
    char dir[] = "/tmp/bench-sfx-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string wav = std::string(dir) + "/tone.wav";
    const std::string mod = std::string(dir) + "/busy.mod";
    std::vector<float> tone(22050);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 440 * i / 22050.0));
    if (!platform::WriteAudioFile(wav, platform::AudioFileFormat::Wav, tone, 1, 22050)) return 1;
    std::ofstream(mod, std::ios::binary) << BusyModule();

    if (!Check(BASS_Init(-2, kRate, 0, nullptr), "BASS_Init") || !Check(BASS_Start(), "BASS_Start")) return 1;
    const HSAMPLE sample = BASS_SampleLoad(FALSE, wav.c_str(), 0, 0, kPlaybacks, BASS_SAMPLE_OVER_POS);
    const HMUSIC music = BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, 0);
    if (!Check(sample != 0, "BASS_SampleLoad") || !Check(music != 0, "BASS_MusicLoad")) return 1;

    std::mt19937 random(1);
    std::uniform_int_distribution<int> frequency(11025, 88200);
    std::uniform_int_distribution<int> pan(-100, 100);
    std::vector<HCHANNEL> channels;
    for (int i = 0; i < kPlaybacks; ++i)
        channels.push_back(BASS_SamplePlayEx(sample, 0, frequency(random), 60, pan(random), TRUE));
    if (!Check(BASS_MusicPlayEx(music, 0, BASS_SAMPLE_LOOP, TRUE), "BASS_MusicPlayEx")) return 1;

    std::vector<int16_t> pcm(2 * kBlock);
    const uint32_t blocks = seconds * kRate / kBlock;
    const auto began = std::chrono::steady_clock::now();
    const double cpuBegan = CpuSeconds();
    for (uint32_t b = 0; b < blocks; ++b) {
        // Every block a few playbacks start sliding to a new frequency.
        for (int i = 0; i < 4; ++i) {
            const HCHANNEL channel = channels[(b * 4 + i) % kPlaybacks];
            BASS_ChannelSlideAttributes(channel, frequency(random), -1, -101, 50);
        }
        platform::AudioPull(pcm.data(), kBlock);
    }
    const double cpu = CpuSeconds() - cpuBegan;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    const double audioSeconds = static_cast<double>(blocks) * kBlock / kRate;
    const double voiceFrames = static_cast<double>(blocks) * kBlock * (kPlaybacks + 1);

    std::printf("audio mixed:            %.1f s at %u Hz stereo (%d sample playbacks, 1 module), blocks of %u\n",
                audioSeconds, kRate, kPlaybacks, kBlock);
    std::printf("wall time:              %.3f s\n", took.count());
    std::printf("faster than real time:  %.1fx\n", audioSeconds / took.count());
    std::printf("CPU time:               %.3f s (%.1fx real time)\n", cpu, audioSeconds / cpu);
    std::printf("per voice and frame:    %.2f ns of CPU time\n", cpu * 1e9 / voiceFrames);
    std::printf("BASS_GetCPU:            %.2f %%\n", BASS_GetCPU());
    // Both kinds were really sounding at the end.
    std::printf("last block peaks:       module %u, samples %u (of 32768)\n", BASS_ChannelGetLevel(music) & 0xFFFF,
                BASS_ChannelGetLevel(sample) & 0xFFFF);

    BASS_Free();
    std::remove(wav.c_str());
    std::remove(mod.c_str());
    rmdir(dir);
    return 0;
}
