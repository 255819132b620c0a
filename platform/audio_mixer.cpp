#include "audio_mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <type_traits>

#include "audio_resampler.h"

namespace platform {
namespace audio {

using vbass::DWORD;

namespace {

enum class Kind { Playback, Stream, Module, FadeOut };
enum class State { Stopped, Playing, Paused };

// The CPU figure covers this much played audio.
constexpr double CPU_WINDOW_SECONDS = 0.5;
// Instant changes of volume and pan, stops, pauses and resumes take this long.
constexpr double RAMP_SECONDS = 0.005;
// Voices are mixed in stretches of at most this many frames.
constexpr uint32_t MAX_STRETCH = 512;
// Decoded audio kept behind a stream's position, for the resampler.
constexpr uint64_t HISTORY_FRAMES = MAX_KERNEL_REACH;

// A linear slide of one attribute over a number of output frames: the
// value at frame k of the slide is from + k * step; after the last frame it
// is the target.
struct Slide {
    bool active = false;
    double target = 0.0;
    double step = 0.0;
    uint64_t left = 0;

    void Start(double from, double to, uint64_t frames) {
        active = true;
        target = to;
        left = frames;
        step = (to - from) / static_cast<double>(frames);
    }
    // The step per frame while active, else 0.
    double Rate() const { return active ? step : 0.0; }
    // Moves `frames` frames on; true when the slide has just reached its target.
    bool Advance(uint64_t frames, double& value) {
        if (!active) return false;
        if (frames >= left) {
            value = target;
            active = false;
            left = 0;
            return true;
        }
        left -= frames;
        value += step * static_cast<double>(frames);
        return false;
    }
};

}  // namespace

// A global volume along a block: its value at frame 0, its change per frame
// and the frame where it arrives.
struct Mixer::GlobalGain {
    double start = 1.0;
    double step = 0.0;
    uint64_t glide = 0;
    double At(uint64_t frame) const { return frame < glide ? start + frame * step : start + glide * step; }
};

struct Mixer::Channel {
    DWORD handle = 0;
    Kind kind = Kind::Playback;
    Kind group = Kind::Playback;  // whose global volume applies (a fade-out's origin)
    State state = State::Stopped;
    bool loop = false;
    double ownRate = 44100.0;
    double freq = 44100.0;
    double volume = 1.0;  // 0..1
    double pan = 0.0;     // -1..1
    Slide freqSlide, volumeSlide, panSlide;
    // A gain of its own for fading in after a resume and out after a stop.
    double envelope = 1.0;
    Slide envelopeSlide;
    bool stopAfterFade = false;
    double volumeBeforeFade = 1.0;
    uint64_t playOrder = 0;
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    // Source position in frames: into the sample, or into the fifo.
    double pos = 0.0;
    const ResampleKernel* kernel = nullptr;  // the last one used
    bool wrapped = false;   // a looped playback has come round at least once
    bool finished = false;  // a playback or fade-out that is over, removed after mixing

    // Playbacks.
    DWORD sample = 0;
    const SampleData* data = nullptr;

    // Streams, modules and fade-outs: decoded audio (interleaved stereo)
    // from a little before the position on, and the decoder.
    std::unique_ptr<Decoder> decoder;
    std::vector<float> fifo;
    bool ended = false;  // the decoder has nothing more
    bool restartPending = false;
    uint32_t restartPosition = 0;
    uint32_t generation = 0;  // bumped by a restart: older decoded audio is dropped
    bool decoding = false;    // the audio thread is using the decoder

    void ClearSlides() {
        freqSlide.active = volumeSlide.active = panSlide.active = envelopeSlide.active = false;
        envelope = 1.0;
        if (stopAfterFade) volume = volumeBeforeFade;
        stopAfterFade = false;
    }
    void RequestRestart(uint32_t position) {
        fifo.clear();
        pos = 0.0;
        ended = false;
        restartPending = true;
        restartPosition = position;
        ++generation;
    }
};

// Where a channel's source frames are, for the resampler to read: a
// sample's 16-bit frames, or the floats of a fifo.
struct Mixer::Source {
    const int16_t* pcmLeft = nullptr;   // a sample's frames
    const int16_t* pcmRight = nullptr;  // nullptr: mono
    const float* left = nullptr;        // a fifo's, interleaved
    const float* right = nullptr;
    int64_t count = 0;
    bool loop = false;
    bool wrapped = false;

    explicit Source(const Channel& c) {
        if (c.kind == Kind::Playback) {
            pcmLeft = c.data->left.data();
            pcmRight = c.data->Mono() ? nullptr : c.data->right.data();
            count = c.data->FrameCount();
            loop = c.loop;
            wrapped = c.wrapped;
        } else {
            left = c.fifo.data();
            right = c.fifo.data() + 1;
            count = static_cast<int64_t>(c.fifo.size() / 2);
        }
    }

    bool Pcm() const { return pcmLeft != nullptr; }
    bool Mono() const { return Pcm() && !pcmRight; }

    // True when frames [first, first + frames) lie in a sample, where the
    // resampler reads them in place.
    bool InPlace(int64_t first, size_t frames) const {
        return Pcm() && first >= 0 && first + static_cast<int64_t>(frames) <= count;
    }

    // Copies frames [first, first + frames) into planar arrays (outRight
    // only for stereo), as floats, or as 16-bit frames from a sample:
    // silence outside the source, except that a looped sample continues
    // round its loop (and, once it has come round, before its start too).
    template <typename T>
    void Gather(int64_t first, uint32_t frames, T* outLeft, T* outRight) const {
        // Runs of frames that lie together in the source or in silence.
        for (uint32_t i = 0; i < frames;) {
            int64_t index = first + i;
            const bool loops = loop && count > 0 && (index >= count || (index < 0 && wrapped));
            uint32_t run;
            if (loops) {
                index = ((index % count) + count) % count;
                run = static_cast<uint32_t>(std::min<int64_t>(frames - i, count - index));
            } else if (index >= 0 && index < count) {
                run = static_cast<uint32_t>(std::min<int64_t>(frames - i, count - index));
            } else {
                // Silence up to the start, or to the end of the block.
                run = index < 0 ? static_cast<uint32_t>(std::min<int64_t>(frames - i, -index)) : frames - i;
                std::fill(outLeft + i, outLeft + i + run, T{});
                if (outRight) std::fill(outRight + i, outRight + i + run, T{});
                i += run;
                continue;
            }
            CopyRun(index, run, outLeft + i, outRight ? outRight + i : nullptr);
            i += run;
        }
    }

private:
    template <typename T>
    void CopyRun(int64_t first, uint32_t frames, T* outLeft, T* outRight) const {
        if constexpr (std::is_same_v<T, int16_t>) {
            std::copy(pcmLeft + first, pcmLeft + first + frames, outLeft);
            if (outRight) std::copy(pcmRight + first, pcmRight + first + frames, outRight);
        } else if (Pcm()) {
            PcmToFloat(pcmLeft + first, frames, outLeft);
            if (outRight) PcmToFloat(pcmRight + first, frames, outRight);
        } else {
            const float* l = left + 2 * static_cast<size_t>(first);
            const float* r = right + 2 * static_cast<size_t>(first);
            for (uint32_t i = 0; i < frames; ++i) {
                outLeft[i] = l[2 * i];
                if (outRight) outRight[i] = r[2 * i];
            }
        }
    }
};

struct Mixer::Sample {
    DWORD handle = 0;
    std::unique_ptr<SampleData> data;
    uint32_t maxPlaybacks = 1;
    uint32_t flags = 0;
};

struct Mixer::DecodeJob {
    DWORD handle = 0;
    Decoder* decoder = nullptr;
    uint32_t frames = 0;
    bool loop = false;
    bool restart = false;
    uint32_t position = 0;
    uint32_t generation = 0;
    std::vector<float> audio;
    uint32_t got = 0;
};

Mixer::Mixer(uint32_t rate)
    : m_rate(rate),
      m_rampFrames(std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(RAMP_SECONDS * rate)))),
      m_limiter(rate) {}
Mixer::~Mixer() = default;

DWORD Mixer::NewHandle() {
    do {
        ++m_lastHandle;
    } while (m_lastHandle == 0 || m_lastHandle == 0xFFFFFFFFu);
    return m_lastHandle;
}

Mixer::Channel* Mixer::FindChannel(DWORD handle) {
    for (auto& channel : m_channels)
        if (channel->handle == handle && channel->kind != Kind::FadeOut) return channel.get();
    return nullptr;
}

Mixer::Sample* Mixer::FindSample(DWORD handle) {
    for (auto& sample : m_samples)
        if (sample->handle == handle) return sample.get();
    return nullptr;
}

bool Mixer::CollectTargets(DWORD handle, std::vector<Channel*>& out) {
    out.clear();
    if (FindSample(handle)) {
        for (auto& channel : m_channels)
            if (channel->kind == Kind::Playback && channel->sample == handle) out.push_back(channel.get());
        return true;
    }
    if (Channel* channel = FindChannel(handle)) {
        out.push_back(channel);
        return true;
    }
    return false;
}

void Mixer::RemoveChannel(Channel* channel, std::vector<std::unique_ptr<Decoder>>& freed) {
    if (channel->decoder) {
        // A decoder the audio thread is reading is freed by that thread.
        if (channel->decoding)
            m_orphans.push_back(std::move(channel->decoder));
        else
            freed.push_back(std::move(channel->decoder));
    }
    m_channels.erase(std::find_if(m_channels.begin(), m_channels.end(),
                                  [channel](const std::unique_ptr<Channel>& c) { return c.get() == channel; }));
}

void Mixer::RemoveEndedPlaybacks() {
    m_channels.erase(std::remove_if(m_channels.begin(), m_channels.end(),
                                    [](const std::unique_ptr<Channel>& c) { return c->finished; }),
                     m_channels.end());
}

void Mixer::FadeOutCopy(const Channel& c) {
    // Nothing sounds now, or the output is silent and will not play the fade.
    if (c.state != State::Playing || (!m_running && m_outputGain <= 0.0f)) return;
    if (c.volume * c.envelope <= 0.0 && !c.volumeSlide.active) return;
    auto fade = std::make_unique<Channel>();
    fade->kind = Kind::FadeOut;
    fade->group = c.group;
    fade->state = State::Playing;
    fade->ownRate = c.ownRate;
    fade->freq = c.freq;
    fade->volume = c.volume;
    fade->pan = c.pan;
    fade->freqSlide = c.freqSlide;
    fade->volumeSlide = c.volumeSlide;
    fade->panSlide = c.panSlide;
    fade->envelope = c.envelope;
    fade->envelopeSlide.Start(c.envelope, 0.0, m_rampFrames);
    fade->ended = true;
    // A copy of the source around the position, as far as the fade reaches.
    const double fastest = std::max(c.freq, c.freqSlide.active ? c.freqSlide.target : 0.0) / m_rate;
    const int64_t first = static_cast<int64_t>(std::floor(c.pos)) - static_cast<int64_t>(HISTORY_FRAMES);
    const uint32_t frames =
        static_cast<uint32_t>(std::ceil(m_rampFrames * fastest)) + 2 * static_cast<uint32_t>(HISTORY_FRAMES) + 2;
    const Source source(c);
    std::vector<float> left(frames), right(frames);
    source.Gather(first, frames, left.data(), source.Mono() ? nullptr : right.data());
    if (source.Mono()) right = left;
    fade->fifo.resize(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        fade->fifo[2 * i] = left[i];
        fade->fifo[2 * i + 1] = right[i];
    }
    fade->pos = c.pos - static_cast<double>(first);
    m_channels.push_back(std::move(fade));
}

void Mixer::EndChannel(Channel& c) {
    c.ClearSlides();
    c.state = State::Stopped;
    if (c.kind == Kind::Playback || c.kind == Kind::FadeOut) c.finished = true;
}

int Mixer::AddSample(std::unique_ptr<SampleData> data, uint32_t maxPlaybacks, uint32_t flags, DWORD& handle) {
    auto sample = std::make_unique<Sample>();
    sample->data = std::move(data);
    sample->maxPlaybacks = maxPlaybacks;
    sample->flags = flags;
    std::lock_guard<std::mutex> lock(m_lock);
    sample->handle = handle = NewHandle();
    m_samples.push_back(std::move(sample));
    return vbass::BASS_OK;
}

int Mixer::AddDecoded(std::unique_ptr<Decoder> decoder, bool isModule, DWORD& handle) {
    auto channel = std::make_unique<Channel>();
    channel->kind = channel->group = isModule ? Kind::Module : Kind::Stream;
    channel->ownRate = channel->freq = decoder->Rate();
    channel->decoder = std::move(decoder);
    std::lock_guard<std::mutex> lock(m_lock);
    channel->handle = handle = NewHandle();
    m_channels.push_back(std::move(channel));
    return vbass::BASS_OK;
}

int Mixer::PlaySample(DWORD handle, uint32_t start, int freq, int volume, int pan, bool loop, DWORD& out) {
    std::lock_guard<std::mutex> lock(m_lock);
    Sample* sample = FindSample(handle);
    if (!sample) return vbass::BASS_ERROR_HANDLE;
    if (start >= sample->data->FrameCount()) return vbass::BASS_ERROR_ILLPARAM;

    Channel* channel = nullptr;
    uint32_t busy = 0;
    for (auto& c : m_channels) {
        if (c->kind != Kind::Playback || c->sample != handle) continue;
        ++busy;
        if (!channel || c->playOrder < channel->playOrder) channel = c.get();
    }
    if (busy >= sample->maxPlaybacks) {
        if (!(sample->flags & vbass::BASS_SAMPLE_OVER_POS)) return vbass::BASS_ERROR_NOCHAN;
        // Taking over the playback that has played longest.
        FadeOutCopy(*channel);
    } else {
        auto fresh = std::make_unique<Channel>();
        fresh->handle = NewHandle();
        fresh->sample = handle;
        fresh->data = sample->data.get();
        channel = fresh.get();
        m_channels.push_back(std::move(fresh));
    }
    channel->ClearSlides();
    channel->ownRate = sample->data->rate;
    channel->freq = freq > 0 ? freq : channel->ownRate;
    channel->volume = volume >= 0 ? volume / 100.0 : 1.0;
    channel->pan = pan != vbass::BASS_PAN_UNCHANGED ? pan / 100.0 : 0.0;
    channel->loop = loop;
    channel->pos = start;
    channel->wrapped = false;
    channel->finished = false;
    channel->state = State::Playing;
    channel->playOrder = ++m_playCounter;
    out = channel->handle;
    return vbass::BASS_OK;
}

int Mixer::PlayDecoded(DWORD handle, bool isModule, bool restart, uint32_t position, bool loop) {
    std::lock_guard<std::mutex> lock(m_lock);
    Channel* channel = FindChannel(handle);
    if (!channel || channel->kind != (isModule ? Kind::Module : Kind::Stream)) return vbass::BASS_ERROR_HANDLE;
    const bool wasPaused = channel->state == State::Paused;
    // A channel that has played to its end starts again.
    if (restart || (channel->ended && channel->fifo.empty())) {
        FadeOutCopy(*channel);
        channel->RequestRestart(position);
    }
    channel->ClearSlides();
    if (wasPaused && !restart) {
        channel->envelope = 0.0;
        channel->envelopeSlide.Start(0.0, 1.0, m_rampFrames);
    }
    channel->loop = loop;
    channel->state = State::Playing;
    channel->playOrder = ++m_playCounter;
    return vbass::BASS_OK;
}

void Mixer::EndPlaybacksOf(DWORD sample) {
    // By index: the fade-outs join the list.
    for (size_t i = 0, count = m_channels.size(); i < count; ++i) {
        Channel& c = *m_channels[i];
        if (c.kind != Kind::Playback || c.sample != sample) continue;
        FadeOutCopy(c);
        c.finished = true;
    }
    RemoveEndedPlaybacks();
}

int Mixer::StopSample(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!FindSample(handle)) return vbass::BASS_ERROR_HANDLE;
    EndPlaybacksOf(handle);
    return vbass::BASS_OK;
}

int Mixer::FreeSample(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    Sample* sample = FindSample(handle);
    if (!sample) return vbass::BASS_ERROR_HANDLE;
    EndPlaybacksOf(handle);
    m_samples.erase(std::find_if(m_samples.begin(), m_samples.end(),
                                 [sample](const std::unique_ptr<Sample>& s) { return s.get() == sample; }));
    return vbass::BASS_OK;
}

int Mixer::FreeDecoded(DWORD handle, bool isModule) {
    std::vector<std::unique_ptr<Decoder>> freed;  // destroyed after the lock is let go
    std::lock_guard<std::mutex> lock(m_lock);
    Channel* channel = FindChannel(handle);
    if (!channel || channel->kind != (isModule ? Kind::Module : Kind::Stream)) return vbass::BASS_ERROR_HANDLE;
    FadeOutCopy(*channel);
    RemoveChannel(channel, freed);
    return vbass::BASS_OK;
}

int Mixer::Stop(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        FadeOutCopy(*c);
        EndChannel(*c);
    }
    RemoveEndedPlaybacks();
    return vbass::BASS_OK;
}

int Mixer::Pause(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        if (c->state != State::Playing) continue;
        FadeOutCopy(*c);
        c->state = State::Paused;
    }
    return vbass::BASS_OK;
}

int Mixer::Resume(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        if (c->state != State::Paused) continue;
        c->state = State::Playing;
        c->envelope = 0.0;
        c->envelopeSlide.Start(0.0, 1.0, m_rampFrames);
    }
    return vbass::BASS_OK;
}

int Mixer::SetAttributes(DWORD handle, int freq, int volume, int pan) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        // A sounding channel glides to a new volume or pan.
        const bool glide = c->state == State::Playing;
        if (freq != vbass::BASS_FREQ_UNCHANGED) {
            c->freqSlide.active = false;
            c->freq = freq > 0 ? freq : c->ownRate;
        }
        if (volume != vbass::BASS_VOLUME_UNCHANGED) {
            c->stopAfterFade = false;
            c->volumeSlide.active = false;
            if (glide)
                c->volumeSlide.Start(c->volume, volume / 100.0, m_rampFrames);
            else
                c->volume = volume / 100.0;
        }
        if (pan != vbass::BASS_PAN_UNCHANGED) {
            c->panSlide.active = false;
            if (glide)
                c->panSlide.Start(c->pan, pan / 100.0, m_rampFrames);
            else
                c->pan = pan / 100.0;
        }
    }
    return vbass::BASS_OK;
}

int Mixer::SlideAttributes(DWORD handle, int freq, int volume, int pan, uint32_t timeMs) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    const uint64_t frames = static_cast<uint64_t>(timeMs) * m_rate / 1000;
    for (Channel* c : targets) {
        const bool fadeStop = volume == vbass::BASS_VOLUME_FADE_STOP;
        if (c->state == State::Stopped && fadeStop) continue;  // already silent
        // A stopped channel takes the targets at once; a zero time takes them
        // at once too, volume and pan gliding over the usual few milliseconds.
        const bool now = frames == 0 || c->state == State::Stopped;
        const uint64_t glide = c->state == State::Stopped ? 0 : frames > 0 ? frames : m_rampFrames;
        if (freq != vbass::BASS_FREQ_UNCHANGED) {
            const double target = freq > 0 ? freq : c->ownRate;
            if (now) {
                c->freqSlide.active = false;
                c->freq = target;
            } else {
                c->freqSlide.Start(c->freq, target, frames);
            }
        }
        if (volume != vbass::BASS_VOLUME_UNCHANGED) {
            if (fadeStop && now) {
                FadeOutCopy(*c);
                EndChannel(*c);
                continue;
            }
            if (fadeStop && !c->stopAfterFade) c->volumeBeforeFade = c->volume;
            if (!fadeStop) c->stopAfterFade = false;
            const double target = fadeStop ? 0.0 : volume / 100.0;
            if (glide == 0) {
                c->volumeSlide.active = false;
                c->volume = target;
            } else {
                c->volumeSlide.Start(c->volume, target, glide);
                c->stopAfterFade = fadeStop;
            }
        }
        if (pan != vbass::BASS_PAN_UNCHANGED) {
            if (glide == 0) {
                c->panSlide.active = false;
                c->pan = pan / 100.0;
            } else {
                c->panSlide.Start(c->pan, pan / 100.0, glide);
            }
        }
    }
    RemoveEndedPlaybacks();
    return vbass::BASS_OK;
}

int Mixer::IsActive(DWORD handle, DWORD& state) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    state = vbass::BASS_ACTIVE_STOPPED;
    for (Channel* c : targets) {
        if (c->state == State::Playing) state = vbass::BASS_ACTIVE_PLAYING;
        if (c->state == State::Paused && state == vbass::BASS_ACTIVE_STOPPED) state = vbass::BASS_ACTIVE_PAUSED;
    }
    return vbass::BASS_OK;
}

int Mixer::GetLevel(DWORD handle, DWORD& level) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    float left = 0.0f, right = 0.0f;
    for (Channel* c : targets) {
        if (c->state != State::Playing) continue;
        left = std::max(left, c->peakLeft);
        right = std::max(right, c->peakRight);
    }
    const auto scale = [](float peak) { return static_cast<DWORD>(std::min(peak, 1.0f) * 32768.0f); };
    level = scale(left) | (scale(right) << 16);
    return vbass::BASS_OK;
}

void Mixer::SetGlobalVolumes(int music, int sample, int stream) {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto set = [this](GlobalVolume& global, int volume) {
        if (volume < 0) return;
        global.asked = volume / 100.0;
        global.step = (global.asked - global.heard) / m_rampFrames;
    };
    set(m_musicVolume, music);
    set(m_sampleVolume, sample);
    set(m_streamVolume, stream);
}

const Mixer::GlobalVolume& Mixer::GlobalOf(const Channel& c) const {
    return c.group == Kind::Module ? m_musicVolume : c.group == Kind::Stream ? m_streamVolume : m_sampleVolume;
}

void Mixer::SetRunning(bool running) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = running;
    if (!running && m_lastBlockQuiet && !AnyPlaying()) {
        m_outputGain = 0.0f;
        m_silent.store(true);
    }
    if (running) {
        // The first start has nothing to fade in from.
        if (!m_everRan) m_outputGain = 1.0f;
        m_everRan = true;
        m_silent.store(false);
    }
}

bool Mixer::AnyPlaying() const {
    return std::any_of(m_channels.begin(), m_channels.end(),
                       [](const std::unique_ptr<Channel>& c) { return c->state == State::Playing; });
}

void Mixer::StopAll() {
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t i = 0, count = m_channels.size(); i < count; ++i) {
        Channel& c = *m_channels[i];
        if (c.kind == Kind::FadeOut) continue;
        FadeOutCopy(c);
        EndChannel(c);
    }
    RemoveEndedPlaybacks();
}

// Under the lock: which streams and modules need more decoded audio for
// `frames` output frames, one job each.
void Mixer::PlanDecoding(std::vector<DecodeJob>& jobs, uint32_t frames) {
    size_t count = 0;
    for (auto& c : m_channels) {
        if (c->kind == Kind::Playback || c->kind == Kind::FadeOut || c->state != State::Playing || c->decoding)
            continue;
        if (c->ended && !c->restartPending) continue;
        double fastest = c->freq;
        if (c->freqSlide.active) fastest = std::max(fastest, c->freqSlide.target);
        // Enough for this block, for a fade-out after it, and for the
        // resampler's reach beyond the last position read.
        const uint64_t needed =
            static_cast<uint64_t>(c->pos + (frames + m_rampFrames) * fastest / m_rate) + MAX_KERNEL_REACH + 2;
        const uint64_t have = c->fifo.size() / 2;
        if (!c->restartPending && needed <= have) continue;
        if (count == jobs.size()) jobs.emplace_back();
        DecodeJob& job = jobs[count++];
        job.handle = c->handle;
        job.decoder = c->decoder.get();
        job.frames = static_cast<uint32_t>(needed > have ? needed - have : 0);
        job.loop = c->loop;
        job.restart = c->restartPending;
        job.position = c->restartPosition;
        job.generation = c->generation;
        job.got = 0;
        c->restartPending = false;
        c->decoding = true;
    }
    jobs.resize(count);
}

// Under the lock: decoded audio joins its channel unless the channel was
// freed or restarted meanwhile.
void Mixer::TakeDecoded(std::vector<DecodeJob>& jobs) {
    for (DecodeJob& job : jobs) {
        Channel* c = FindChannel(job.handle);
        if (!c) continue;
        c->decoding = false;
        if (c->generation != job.generation) continue;
        c->fifo.insert(c->fifo.end(), job.audio.begin(), job.audio.begin() + 2 * static_cast<size_t>(job.got));
        if (job.got < job.frames) c->ended = true;
    }
}

void Mixer::GrowSource(size_t frames) {
    if (m_sourceLeft.size() >= frames) return;
    m_sourceLeft.resize(frames);
    m_sourceRight.resize(frames);
    m_pcmLeft.resize(frames);
    m_pcmRight.resize(frames);
}

uint32_t Mixer::MixStretch(Channel& c, uint32_t offset, uint32_t frames, const GlobalGain& global) {
    const Source source(c);
    const bool mono = source.Mono();
    // No more audio will come after the source's last frame.
    const bool final = c.kind == Kind::Playback ? !c.loop : c.ended;

    ResamplePath path;
    path.dx = c.freq / m_rate;
    path.ddx = c.freqSlide.Rate() / m_rate;
    const auto advance = [&path](uint32_t n) {
        const double k = n;
        return k * (path.dx + 0.5 * (k - 1.0) * path.ddx);
    };
    const double wholePos = std::floor(c.pos);
    // At the source's own rate on a whole frame, frames pass straight through.
    const bool direct = path.ddx == 0.0 && path.dx == 1.0 && wholePos == c.pos;
    const double fastest = std::max(path.dx, path.dx + (frames - 1.0) * path.ddx);
    if (!direct && !(c.kernel && c.kernel->Suits(fastest))) c.kernel = &KernelForStep(fastest);
    const ResampleKernel* kernel = direct ? nullptr : c.kernel;
    // How far the resampler reads: floats are read tap by tap, a sample's
    // 16-bit frames in whole groups of taps.
    const uint32_t reads = direct ? 0 : source.Pcm() ? kernel->pcmTaps : kernel->taps;
    const int64_t reachAhead = kernel ? kernel->taps / 2 : 0;

    // Unlooped audio ends; a stream still decoding must have audio for the
    // resampler's whole reach.
    bool runsOut = false;
    if (!source.loop) {
        const double bound = static_cast<double>(final ? source.count : source.count - reachAhead);
        if (c.pos + advance(frames - 1) >= bound) {
            uint32_t fit = 0;
            while (fit < frames && c.pos + advance(fit) < bound) ++fit;
            frames = fit;
            runsOut = true;
        }
    }

    if (frames > 0) {
        const int64_t base = static_cast<int64_t>(wholePos);
        // The source frames the voice reads.
        const int64_t first = direct ? base : base - kernel->Behind();
        const size_t span =
            direct ? frames : static_cast<size_t>(std::floor(c.pos + advance(frames - 1)) - wholePos) + reads;
        path.x0 = c.pos - wholePos;
        float* voiceLeft = m_voiceLeft.data();
        float* voiceRight = mono ? voiceLeft : m_voiceRight.data();
        if (source.Pcm()) {
            // A sample's frames, in place or gathered.
            const int16_t* pcmLeft;
            const int16_t* pcmRight;
            if (source.InPlace(first, span)) {
                pcmLeft = source.pcmLeft + first;
                pcmRight = mono ? nullptr : source.pcmRight + first;
            } else {
                GrowSource(span);
                source.Gather(first, static_cast<uint32_t>(span), m_pcmLeft.data(), mono ? nullptr : m_pcmRight.data());
                pcmLeft = m_pcmLeft.data();
                pcmRight = mono ? nullptr : m_pcmRight.data();
            }
            if (direct) {
                PcmToFloat(pcmLeft, frames, voiceLeft);
                if (!mono) PcmToFloat(pcmRight, frames, voiceRight);
            } else {
                ResamplePcm(*kernel, pcmLeft, pcmRight, path, frames, voiceLeft, voiceRight);
            }
        } else {
            // A fifo's floats, gathered into planar arrays.
            GrowSource(span);
            source.Gather(first, static_cast<uint32_t>(span), m_sourceLeft.data(), m_sourceRight.data());
            if (direct) {
                voiceLeft = m_sourceLeft.data();
                voiceRight = m_sourceRight.data();
            } else {
                ResampleStereo(*kernel, m_sourceLeft.data(), m_sourceRight.data(), path, frames, voiceLeft,
                               voiceRight);
            }
        }

        // Gains along the stretch: volume, envelope, pan and the global
        // volume may all slide.
        const double volumeStep = c.volumeSlide.Rate(), envelopeStep = c.envelopeSlide.Rate();
        const double panStep = c.panSlide.Rate();
        const double globalVolume = global.At(offset);
        const double globalStep = offset < global.glide ? global.step : 0.0;
        const auto sideGains = [](double gain, double pan, float& left, float& right) {
            left = static_cast<float>(gain * (pan > 0.0 ? 1.0 - pan : 1.0));
            right = static_cast<float>(gain * (pan < 0.0 ? 1.0 + pan : 1.0));
        };
        float* busLeft = m_busLeft.data() + offset;
        float* busRight = m_busRight.data() + offset;
        float firstLeft, firstRight, lastLeft, lastRight;
        VoicePeaks voicePeaks;
        if (volumeStep == 0.0 && envelopeStep == 0.0 && panStep == 0.0 && globalStep == 0.0) {
            sideGains(c.volume * c.envelope * globalVolume, c.pan, firstLeft, firstRight);
            lastLeft = firstLeft;
            lastRight = firstRight;
            voicePeaks = AddToBusSteady(voiceLeft, voiceRight, firstLeft, firstRight, frames, busLeft, busRight);
        } else {
            for (uint32_t i = 0; i < frames; ++i) {
                const double gain =
                    (c.volume + i * volumeStep) * (c.envelope + i * envelopeStep) * (globalVolume + i * globalStep);
                sideGains(gain, c.pan + i * panStep, m_gainLeft[i], m_gainRight[i]);
            }
            voicePeaks =
                AddToBus(voiceLeft, voiceRight, m_gainLeft.data(), m_gainRight.data(), frames, busLeft, busRight);
            firstLeft = m_gainLeft[0];
            firstRight = m_gainRight[0];
            lastLeft = m_gainLeft[frames - 1];
            lastRight = m_gainRight[frames - 1];
        }
        // The level: the voice's peak at the larger of the gains the stretch
        // begins and ends with (gains move little within a stretch).
        c.peakLeft = std::max(c.peakLeft, voicePeaks.left * std::max(firstLeft, lastLeft));
        c.peakRight = std::max(c.peakRight, voicePeaks.right * std::max(firstRight, lastRight));

        c.pos += advance(frames);
        if (source.loop && c.pos >= static_cast<double>(source.count)) {
            c.pos = std::fmod(c.pos, static_cast<double>(source.count));
            c.wrapped = true;
        }
        c.freqSlide.Advance(frames, c.freq);
        c.panSlide.Advance(frames, c.pan);
        const bool faded = c.volumeSlide.Advance(frames, c.volume) && c.stopAfterFade;
        const bool closed = c.envelopeSlide.Advance(frames, c.envelope) && c.kind == Kind::FadeOut;
        if (faded || closed) {
            EndChannel(c);
            return frames;
        }
    }
    if (runsOut && final) {
        EndChannel(c);
        if (c.kind != Kind::Playback) {
            c.fifo.clear();
            c.pos = 0.0;
        }
    }
    return frames;
}

void Mixer::MixChannel(Channel& c, uint32_t frames) {
    const GlobalVolume& volume = GlobalOf(c);
    GlobalGain global{volume.heard, volume.step, 0};
    if (volume.step != 0.0)
        global.glide = static_cast<uint64_t>(std::ceil((volume.asked - volume.heard) / volume.step - 1e-9));
    c.peakLeft = c.peakRight = 0.0f;
    uint32_t done = 0;
    while (done < frames && c.state == State::Playing) {
        // Stretches end where a slide ends.
        uint64_t stretch = std::min<uint64_t>(frames - done, MAX_STRETCH);
        for (const Slide* slide : {&c.freqSlide, &c.volumeSlide, &c.panSlide, &c.envelopeSlide})
            if (slide->active) stretch = std::min(stretch, slide->left);
        if (done < global.glide) stretch = std::min<uint64_t>(stretch, global.glide - done);
        const uint32_t mixed = MixStretch(c, done, static_cast<uint32_t>(stretch), global);
        done += mixed;
        if (mixed < stretch) break;  // played out, or waiting for decoded audio
    }
    if (c.kind != Kind::Playback && !c.fifo.empty()) {
        // Played frames leave the fifo but for the resampler's history.
        const double keepFrom = std::floor(c.pos) - static_cast<double>(HISTORY_FRAMES);
        if (keepFrom > 0.0) {
            const uint64_t played = std::min<uint64_t>(static_cast<uint64_t>(keepFrom), c.fifo.size() / 2);
            c.fifo.erase(c.fifo.begin(), c.fifo.begin() + 2 * static_cast<ptrdiff_t>(played));
            c.pos -= static_cast<double>(played);
        }
    }
}

bool Mixer::MixBlock(uint32_t frames) {
    m_busLeft.assign(frames, 0.0f);
    m_busRight.assign(frames, 0.0f);
    const size_t voiceFrames = std::max<size_t>(MAX_STRETCH, frames);
    if (m_voiceLeft.size() < voiceFrames) {
        m_voiceLeft.resize(voiceFrames);
        m_voiceRight.resize(voiceFrames);
        m_gainLeft.resize(voiceFrames);
        m_gainRight.resize(voiceFrames);
    }
    // Fade-outs added while mixing start in the next block.
    bool mixedVoices = false;
    for (size_t i = 0, count = m_channels.size(); i < count; ++i) {
        Channel& c = *m_channels[i];
        if (c.state == State::Playing) {
            MixChannel(c, frames);
            mixedVoices = true;
        } else {
            c.peakLeft = c.peakRight = 0.0f;
        }
    }
    RemoveEndedPlaybacks();
    for (GlobalVolume* global : {&m_musicVolume, &m_sampleVolume, &m_streamVolume}) {
        if (global->step == 0.0) continue;
        global->heard += global->step * frames;
        if ((global->step > 0.0) == (global->heard >= global->asked)) {
            global->heard = global->asked;
            global->step = 0.0;
        }
    }
    m_limiter.Process(m_busLeft.data(), m_busRight.data(), frames);
    return mixedVoices;
}

void Mixer::AccountCpu(double busySeconds, uint32_t frames) {
    m_cpuBusy += busySeconds;
    m_cpuAudio += static_cast<double>(frames) / m_rate;
    if (m_cpuAudio <= 0.0) return;
    const float figure = static_cast<float>(100.0 * m_cpuBusy / m_cpuAudio);
    if (m_cpuAudio >= CPU_WINDOW_SECONDS) {
        m_cpu.store(figure);
        m_cpuBusy = m_cpuAudio = 0.0;
    } else if (m_cpu.load() == 0.0f) {
        m_cpu.store(figure);  // until the first window is complete
    }
}

void Mixer::Render(int16_t* out, uint32_t frames) {
    const auto began = std::chrono::steady_clock::now();
    const auto silence = [out](uint32_t from, uint32_t to) {
        std::fill(out + 2 * static_cast<size_t>(from), out + 2 * static_cast<size_t>(to), int16_t{0});
    };
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_running && m_outputGain <= 0.0f) {
            silence(0, frames);
            m_silent.store(true);
            return;
        }
        PlanDecoding(m_jobs, frames);
    }

    for (DecodeJob& job : m_jobs) {
        if (job.restart) job.decoder->Restart(job.position);
        job.audio.resize(2 * static_cast<size_t>(job.frames));
        job.got = job.frames > 0 ? job.decoder->Read(job.audio.data(), job.frames, job.loop) : 0;
    }

    std::vector<std::unique_ptr<Decoder>> freed;  // destroyed after the lock is let go
    {
        std::lock_guard<std::mutex> lock(m_lock);
        TakeDecoded(m_jobs);
        // The output fade: a stopping output plays on only until it is silent.
        const float gainStep = 1.0f / static_cast<float>(m_rampFrames);
        const float gain = m_outputGain;
        uint32_t audible = frames;
        if (!m_running)
            audible = std::min(frames, static_cast<uint32_t>(std::ceil(gain / gainStep)));
        const bool mixedVoices = MixBlock(audible);
        if (!m_running) {
            BusToPcm(m_busLeft.data(), m_busRight.data(), gain, -gainStep, audible, out);
            silence(audible, frames);
            m_outputGain = std::max(0.0f, gain - audible * gainStep);
        } else if (gain < 1.0f) {
            const uint32_t rising = std::min(frames, static_cast<uint32_t>(std::ceil((1.0f - gain) / gainStep)));
            BusToPcm(m_busLeft.data(), m_busRight.data(), gain, gainStep, rising, out);
            BusToPcm(m_busLeft.data() + rising, m_busRight.data() + rising, 1.0f, 0.0f, frames - rising,
                     out + 2 * static_cast<size_t>(rising));
            m_outputGain = std::min(1.0f, gain + frames * gainStep);
        } else {
            BusToPcm(m_busLeft.data(), m_busRight.data(), 1.0f, 0.0f, frames, out);
        }
        // With no voice in a block longer than the limiter's look-ahead,
        // the look-ahead now holds silence too, so all-zero output means
        // nothing is left to hear.
        int16_t* const end = out + 2 * static_cast<size_t>(frames);
        m_lastBlockQuiet = !mixedVoices && frames > m_limiter.Delay() &&
                           std::all_of(out, end, [](int16_t v) { return v == 0; });
        freed.swap(m_orphans);
    }

    const std::chrono::duration<double> busy = std::chrono::steady_clock::now() - began;
    AccountCpu(busy.count(), frames);
}

}  // namespace audio
}  // namespace platform
