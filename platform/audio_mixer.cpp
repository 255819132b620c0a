#include "audio_mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform {
namespace audio {

using vbass::DWORD;

namespace {

enum class Kind { Playback, Stream, Module };
enum class State { Stopped, Playing, Paused };

// The CPU figure covers this much played audio.
constexpr double CPU_WINDOW_SECONDS = 0.5;

// A linear slide of one attribute, advanced once per output frame.
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
    // True when the slide has just reached its target.
    bool Advance(double& value) {
        if (!active) return false;
        if (--left == 0) {
            value = target;
            active = false;
            return true;
        }
        value += step;
        return false;
    }
};

}  // namespace

struct Mixer::Channel {
    DWORD handle = 0;
    Kind kind = Kind::Playback;
    State state = State::Stopped;
    bool loop = false;
    double ownRate = 44100.0;
    double freq = 44100.0;
    double volume = 1.0;  // 0..1
    double pan = 0.0;     // -1..1
    Slide freqSlide, volumeSlide, panSlide;
    bool stopAfterFade = false;
    double volumeBeforeFade = 1.0;
    uint64_t playOrder = 0;
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    // Source position in frames: into the sample, or into the fifo.
    double pos = 0.0;
    bool finished = false;  // a playback that has played out, removed after mixing

    // Playbacks.
    DWORD sample = 0;
    const SampleData* data = nullptr;

    // Streams and modules: decoded audio not yet played, and the decoder.
    std::unique_ptr<Decoder> decoder;
    std::vector<float> fifo;
    bool ended = false;  // the decoder has nothing more
    bool restartPending = false;
    uint32_t restartPosition = 0;
    uint32_t generation = 0;  // bumped by a restart: older decoded audio is dropped
    bool decoding = false;    // the audio thread is using the decoder

    void ClearSlides() {
        freqSlide.active = volumeSlide.active = panSlide.active = false;
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

Mixer::Mixer(uint32_t rate) : m_rate(rate) {}
Mixer::~Mixer() = default;

DWORD Mixer::NewHandle() {
    do {
        ++m_lastHandle;
    } while (m_lastHandle == 0 || m_lastHandle == 0xFFFFFFFFu);
    return m_lastHandle;
}

Mixer::Channel* Mixer::FindChannel(DWORD handle) {
    for (auto& channel : m_channels)
        if (channel->handle == handle) return channel.get();
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
    channel->kind = isModule ? Kind::Module : Kind::Stream;
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
    // A channel that has played to its end starts again.
    if (restart || (channel->ended && channel->fifo.empty())) channel->RequestRestart(position);
    channel->ClearSlides();
    channel->loop = loop;
    channel->state = State::Playing;
    channel->playOrder = ++m_playCounter;
    return vbass::BASS_OK;
}

int Mixer::StopSample(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!FindSample(handle)) return vbass::BASS_ERROR_HANDLE;
    for (auto& c : m_channels)
        if (c->kind == Kind::Playback && c->sample == handle) c->finished = true;
    RemoveEndedPlaybacks();
    return vbass::BASS_OK;
}

int Mixer::FreeSample(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    Sample* sample = FindSample(handle);
    if (!sample) return vbass::BASS_ERROR_HANDLE;
    for (auto& c : m_channels)
        if (c->kind == Kind::Playback && c->sample == handle) c->finished = true;
    RemoveEndedPlaybacks();
    m_samples.erase(std::find_if(m_samples.begin(), m_samples.end(),
                                 [sample](const std::unique_ptr<Sample>& s) { return s.get() == sample; }));
    return vbass::BASS_OK;
}

int Mixer::FreeDecoded(DWORD handle, bool isModule) {
    std::vector<std::unique_ptr<Decoder>> freed;  // destroyed after the lock is let go
    std::lock_guard<std::mutex> lock(m_lock);
    Channel* channel = FindChannel(handle);
    if (!channel || channel->kind != (isModule ? Kind::Module : Kind::Stream)) return vbass::BASS_ERROR_HANDLE;
    RemoveChannel(channel, freed);
    return vbass::BASS_OK;
}

int Mixer::Stop(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        c->ClearSlides();
        c->state = State::Stopped;
        if (c->kind == Kind::Playback) c->finished = true;
    }
    RemoveEndedPlaybacks();
    return vbass::BASS_OK;
}

int Mixer::Pause(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets)
        if (c->state == State::Playing) c->state = State::Paused;
    return vbass::BASS_OK;
}

int Mixer::Resume(DWORD handle) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets)
        if (c->state == State::Paused) c->state = State::Playing;
    return vbass::BASS_OK;
}

int Mixer::SetAttributes(DWORD handle, int freq, int volume, int pan) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Channel*> targets;
    if (!CollectTargets(handle, targets)) return vbass::BASS_ERROR_HANDLE;
    for (Channel* c : targets) {
        if (freq != vbass::BASS_FREQ_UNCHANGED) {
            c->freqSlide.active = false;
            c->freq = freq > 0 ? freq : c->ownRate;
        }
        if (volume != vbass::BASS_VOLUME_UNCHANGED) {
            c->volumeSlide.active = false;
            c->stopAfterFade = false;
            c->volume = volume / 100.0;
        }
        if (pan != vbass::BASS_PAN_UNCHANGED) {
            c->panSlide.active = false;
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
        // A stopped channel, or a zero time, takes the targets at once.
        const bool now = frames == 0 || c->state == State::Stopped;
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
                c->ClearSlides();
                c->state = State::Stopped;
                if (c->kind == Kind::Playback) c->finished = true;
                continue;
            }
            if (fadeStop && !c->stopAfterFade) c->volumeBeforeFade = c->volume;
            if (!fadeStop) c->stopAfterFade = false;
            const double target = fadeStop ? 0.0 : volume / 100.0;
            if (now) {
                c->volumeSlide.active = false;
                c->volume = target;
            } else {
                c->volumeSlide.Start(c->volume, target, frames);
                c->stopAfterFade = fadeStop;
            }
        }
        if (pan != vbass::BASS_PAN_UNCHANGED) {
            if (now) {
                c->panSlide.active = false;
                c->pan = pan / 100.0;
            } else {
                c->panSlide.Start(c->pan, pan / 100.0, frames);
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
    if (music >= 0) m_musicVolume = music / 100.0f;
    if (sample >= 0) m_sampleVolume = sample / 100.0f;
    if (stream >= 0) m_streamVolume = stream / 100.0f;
}

void Mixer::SetRunning(bool running) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = running;
}

void Mixer::StopAll() {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto& c : m_channels) {
        c->ClearSlides();
        c->state = State::Stopped;
        if (c->kind == Kind::Playback) c->finished = true;
    }
    RemoveEndedPlaybacks();
}

// Under the lock: which streams and modules need more decoded audio for
// `frames` output frames, one job each.
void Mixer::PlanDecoding(std::vector<DecodeJob>& jobs, uint32_t frames) {
    size_t count = 0;
    for (auto& c : m_channels) {
        if (c->kind == Kind::Playback || c->state != State::Playing || c->decoding) continue;
        if (c->ended && !c->restartPending) continue;
        double fastest = c->freq;
        if (c->freqSlide.active) fastest = std::max(fastest, c->freqSlide.target);
        // Two frames beyond the last position read, for the interpolation.
        const uint64_t needed = static_cast<uint64_t>(c->pos + frames * fastest / m_rate) + 2;
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

void Mixer::MixChannel(Channel& c, float* mix, uint32_t frames) {
    const bool isPlayback = c.kind == Kind::Playback;
    const float* src = isPlayback ? c.data->frames.data() : c.fifo.data();
    const uint64_t count = isPlayback ? c.data->FrameCount() : c.fifo.size() / 2;
    const bool wraps = isPlayback && c.loop;
    // No more audio will come after `count` frames.
    const bool final = isPlayback || c.ended;
    const double global = c.kind == Kind::Module   ? m_musicVolume
                          : c.kind == Kind::Stream ? m_streamVolume
                                                   : m_sampleVolume;

    double step = c.freq / m_rate;
    double gainLeft = 0.0, gainRight = 0.0;
    const auto updateGains = [&] {
        const double v = c.volume * global;
        gainLeft = v * (c.pan > 0.0 ? 1.0 - c.pan : 1.0);
        gainRight = v * (c.pan < 0.0 ? 1.0 + c.pan : 1.0);
    };
    updateGains();

    float peakLeft = 0.0f, peakRight = 0.0f;
    bool reachedEnd = false;
    for (uint32_t i = 0; i < frames; ++i) {
        if (c.pos >= static_cast<double>(count)) {
            if (wraps) {
                c.pos = std::fmod(c.pos, static_cast<double>(count));
            } else {
                reachedEnd = final;
                break;  // played out, or waiting for decoded audio
            }
        }
        const uint64_t at = static_cast<uint64_t>(c.pos);
        uint64_t next = at + 1;
        if (next >= count) {
            if (wraps)
                next = 0;
            else if (final)
                next = at;  // the last frame holds
            else
                break;
        }
        const float frac = static_cast<float>(c.pos - static_cast<double>(at));
        const float left = src[2 * at] + (src[2 * next] - src[2 * at]) * frac;
        const float right = src[2 * at + 1] + (src[2 * next + 1] - src[2 * at + 1]) * frac;
        const float outLeft = static_cast<float>(left * gainLeft);
        const float outRight = static_cast<float>(right * gainRight);
        mix[2 * i] += outLeft;
        mix[2 * i + 1] += outRight;
        peakLeft = std::max(peakLeft, std::fabs(outLeft));
        peakRight = std::max(peakRight, std::fabs(outRight));
        c.pos += step;

        if (c.freqSlide.active || c.volumeSlide.active || c.panSlide.active) {
            c.freqSlide.Advance(c.freq);
            c.panSlide.Advance(c.pan);
            if (c.volumeSlide.Advance(c.volume) && c.stopAfterFade) {
                c.ClearSlides();
                c.state = State::Stopped;
                c.finished = isPlayback;
                break;
            }
            step = c.freq / m_rate;
            updateGains();
        }
    }
    c.peakLeft = peakLeft;
    c.peakRight = peakRight;

    if (reachedEnd) {
        c.state = State::Stopped;
        c.finished = isPlayback;
    }
    if (!isPlayback) {
        // Played frames leave the fifo; the position stays relative to it.
        const uint64_t played = std::min<uint64_t>(static_cast<uint64_t>(c.pos), count);
        c.fifo.erase(c.fifo.begin(), c.fifo.begin() + 2 * static_cast<ptrdiff_t>(played));
        c.pos -= static_cast<double>(played);
        if (reachedEnd) c.pos = 0.0;
    }
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
    m_mix.assign(2 * static_cast<size_t>(frames), 0.0f);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_running) {
            std::fill(out, out + 2 * static_cast<size_t>(frames), int16_t{0});
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
        for (auto& c : m_channels) {
            if (c->state == State::Playing) {
                MixChannel(*c, m_mix.data(), frames);
            } else {
                c->peakLeft = c->peakRight = 0.0f;
            }
        }
        RemoveEndedPlaybacks();
        freed.swap(m_orphans);
    }

    for (size_t i = 0; i < m_mix.size(); ++i) {
        const float v = std::max(-1.0f, std::min(1.0f, m_mix[i]));
        out[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    const std::chrono::duration<double> busy = std::chrono::steady_clock::now() - began;
    AccountCpu(busy.count(), frames);
}

}  // namespace audio
}  // namespace platform
