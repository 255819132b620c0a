// The mixer behind the audio layer: loaded samples and their playbacks,
// streams and modules, their attributes and slides, and Render, which mixes
// the next block of 16-bit stereo output.
//
// Voices are resampled band-limited and summed on a floating-point bus;
// a look-ahead limiter keeps the sum under full scale. Nothing changes
// abruptly: volume and pan changes glide over a few milliseconds, and a
// voice that is stopped, paused or taken over leaves behind a short
// fade-out of what it was playing; pausing the whole output fades it out.
//
// Render may run on the audio thread while the other calls come from the
// main thread. The mixer's lock is held only for bookkeeping and for mixing
// decoded audio; streams and modules decode outside it (the main thread only
// marks a restart or hands a busy decoder over to be freed), so no call from
// the main thread waits for decoding.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio_decode.h"
#include "audio_limiter.h"
#include "bass.h"

namespace platform {
namespace audio {

class Mixer {
public:
    explicit Mixer(uint32_t rate);
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    uint32_t Rate() const { return m_rate; }

    // Each returns BASS_OK or an error code. Handles are never 0.
    int AddSample(std::unique_ptr<SampleData> data, uint32_t maxPlaybacks, uint32_t flags, vbass::DWORD& handle);
    int AddDecoded(std::unique_ptr<Decoder> decoder, bool isModule, vbass::DWORD& handle);
    int PlaySample(vbass::DWORD sample, uint32_t start, int freq, int volume, int pan, bool loop,
                   vbass::DWORD& channel);
    // Streams and modules; restart goes back to `position` first.
    int PlayDecoded(vbass::DWORD handle, bool isModule, bool restart, uint32_t position, bool loop);
    int StopSample(vbass::DWORD sample);
    int FreeSample(vbass::DWORD sample);
    int FreeDecoded(vbass::DWORD handle, bool isModule);

    int Stop(vbass::DWORD handle);
    int Pause(vbass::DWORD handle);
    int Resume(vbass::DWORD handle);
    int SetAttributes(vbass::DWORD handle, int freq, int volume, int pan);
    int SlideAttributes(vbass::DWORD handle, int freq, int volume, int pan, uint32_t timeMs);
    int IsActive(vbass::DWORD handle, vbass::DWORD& state);
    int GetLevel(vbass::DWORD handle, vbass::DWORD& level);

    // Volumes 0..100, -1 leaves one unchanged.
    void SetGlobalVolumes(int music, int sample, int stream);
    // While not running, Render gives silence and nothing advances; stopping
    // fades the output out first, running again fades it back in.
    void SetRunning(bool running);
    // True once a stopped output has faded out. An output that gave only
    // silence in its last block, with nothing playing since, has nothing to
    // fade and is silent as soon as it stops.
    bool Silent() const { return m_silent.load(); }
    // Ends every playback and stops every stream and module.
    void StopAll();

    void Render(int16_t* out, uint32_t frames);
    float Cpu() const { return m_cpu.load(); }
    // Frames between a change and its sound in the output (the limiter's
    // look-ahead).
    uint32_t DelayFrames() const { return m_limiter.Delay(); }

private:
    struct Channel;
    struct Sample;
    struct DecodeJob;
    struct Source;
    struct GlobalGain;

    Channel* FindChannel(vbass::DWORD handle);
    bool AnyPlaying() const;
    Sample* FindSample(vbass::DWORD handle);
    // The playbacks of a sample, or the one channel a handle names; empty
    // when the handle names nothing.
    bool CollectTargets(vbass::DWORD handle, std::vector<Channel*>& out);
    vbass::DWORD NewHandle();
    void RemoveChannel(Channel* channel, std::vector<std::unique_ptr<Decoder>>& freed);
    void RemoveEndedPlaybacks();
    // Leaves a short fade-out of what the channel is playing now, so that
    // stopping, pausing or restarting it does not click.
    void FadeOutCopy(const Channel& channel);
    void EndChannel(Channel& channel);
    void EndPlaybacksOf(vbass::DWORD sample);

    void PlanDecoding(std::vector<DecodeJob>& jobs, uint32_t frames);
    void TakeDecoded(std::vector<DecodeJob>& jobs);
    // Mixes the playing voices onto the bus; false when none played.
    bool MixBlock(uint32_t frames);
    void MixChannel(Channel& channel, uint32_t frames);
    // Mixes up to `frames` frames of one stretch in which no slide ends;
    // returns how many frames it mixed (fewer when the audio runs out).
    uint32_t MixStretch(Channel& channel, uint32_t offset, uint32_t frames, const GlobalGain& global);
    void GrowSource(size_t frames);
    void AccountCpu(double busySeconds, uint32_t frames);

    const uint32_t m_rate;
    const uint32_t m_rampFrames;  // how long an instant change takes
    std::mutex m_lock;
    std::vector<std::unique_ptr<Channel>> m_channels;
    std::vector<std::unique_ptr<Sample>> m_samples;
    // Decoders freed while the audio thread was using them; it frees them.
    std::vector<std::unique_ptr<Decoder>> m_orphans;
    vbass::DWORD m_lastHandle = 0;
    uint64_t m_playCounter = 0;
    bool m_running = false;
    bool m_everRan = false;
    float m_outputGain = 0.0f;  // the output fade
    bool m_lastBlockQuiet = false;  // no voice and all zero output
    // The global volumes of samples, streams and modules; a change glides.
    struct GlobalVolume {
        double asked = 1.0;
        double heard = 1.0;  // as the last block ended
        double step = 0.0;   // per frame while gliding
    };
    GlobalVolume m_sampleVolume, m_streamVolume, m_musicVolume;
    const GlobalVolume& GlobalOf(const Channel& channel) const;

    // Used only by Render (one thread at a time).
    std::vector<float> m_busLeft, m_busRight;
    std::vector<float> m_sourceLeft, m_sourceRight;
    std::vector<int16_t> m_pcmLeft, m_pcmRight;
    std::vector<float> m_voiceLeft, m_voiceRight;
    std::vector<float> m_gainLeft, m_gainRight;
    std::vector<DecodeJob> m_jobs;
    Limiter m_limiter;

    std::atomic<bool> m_silent{true};
    std::atomic<float> m_cpu{0.0f};
    double m_cpuBusy = 0.0;
    double m_cpuAudio = 0.0;
};

}  // namespace audio
}  // namespace platform
