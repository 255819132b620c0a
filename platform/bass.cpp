// The calls of the audio layer: argument checks, the output device, and the
// error code of the last call; the work is the mixer's.
#include "bass.h"

#include <SDL.h>

#include <cstdint>
#include <memory>

#include "audio_decode.h"
#include "audio_mixer.h"
#include "audio_output.h"
#include "faults.h"

namespace vbass {

namespace {

constexpr DWORD MIN_OUTPUT_RATE = 8000;
constexpr DWORD MAX_OUTPUT_RATE = 192000;
constexpr int MIN_FREQ = 100;
constexpr int MAX_FREQ = 200000;
// SDL's device buffer: about 12 ms at 44.1 kHz.
constexpr Uint16 DEVICE_BUFFER_FRAMES = 512;
// How long freeing the layer waits for a running output to fade out.
constexpr Uint32 FADE_WAIT_MS = 100;

struct Layer {
    std::unique_ptr<platform::audio::Mixer> mixer;
    SDL_AudioDeviceID device = 0;  // 0: no SDL device (offline or no output)
    uint32_t deviceBufferFrames = 0;
};

Layer g_layer;
platform::AudioOutput g_output = platform::AudioOutput::Sdl;
thread_local int g_error = BASS_OK;

// Sets the error code: FALSE (or a zero handle) for failures, TRUE else.
BOOL Result(int error) {
    g_error = error;
    return error == BASS_OK ? TRUE : FALSE;
}

DWORD HandleResult(int error, DWORD handle) {
    g_error = error;
    return error == BASS_OK ? handle : 0;
}

bool ValidFreq(int freq) { return freq == BASS_FREQ_UNCHANGED || freq == 0 || (freq >= MIN_FREQ && freq <= MAX_FREQ); }
bool ValidVolume(int volume) { return volume == BASS_VOLUME_UNCHANGED || (volume >= 0 && volume <= 100); }
bool ValidPan(int pan) { return pan == BASS_PAN_UNCHANGED || (pan >= -100 && pan <= 100); }

void SDLCALL MixForDevice(void* user, Uint8* stream, int bytes) {
    platform::PrepareThreadForFaults();  // SDL's audio thread
    static_cast<platform::audio::Mixer*>(user)->Render(reinterpret_cast<int16_t*>(stream),
                                                       static_cast<uint32_t>(bytes) / (2 * sizeof(int16_t)));
}

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA writes its complaints (no card, no default device) straight to the
// terminal, several lines at every start on a machine without sound; the
// layer's error code says it once, and the caller decides what to tell.
// SDL loads the same library later and finds the handler in place.
void QuietAlsa() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    void* alsa = SDL_LoadObject("libasound.so.2");
    if (!alsa) return;  // no ALSA, nothing to quiet; SDL will not use it either
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(SDL_LoadFunction(alsa, "snd_lib_error_set_handler"))) set(IgnoreAlsaError);
    // The library stays loaded: the handler must outlive every use of it.
}

int OpenSdlDevice(platform::audio::Mixer& mixer) {
    QuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return BASS_ERROR_DRIVER;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(mixer.Rate());
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DEVICE_BUFFER_FRAMES;
    want.callback = MixForDevice;
    want.userdata = &mixer;
    // SDL converts to whatever the hardware takes; the buffer may come out
    // larger where the system wants it so.
    SDL_AudioSpec got{};
    g_layer.device = SDL_OpenAudioDevice(nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (g_layer.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return BASS_ERROR_DRIVER;
    }
    g_layer.deviceBufferFrames = got.samples;
    return BASS_OK;
}

platform::audio::Mixer* TheMixer() { return g_layer.mixer.get(); }

// Closing an SDL device waits for its audio thread, and that thread sleeps
// two buffers after its last one "to drain" them (about 30 ms in all), though
// the mixer has faded to silence by then. Once the device is paused its
// thread no longer reads the mixer, so the layer lets the mixer go at once and
// closes the device on a thread of its own: a game that quits does not wait
// for that sleep. The next BASS_Init waits for the closing to finish; a
// process that ends first leaves the rest of it (the sleep, the device's
// release) to the end of the process, as with any device still open then.
//
// The closing thread is detached and says it is done through a semaphore
// that is made once and kept, so nothing waits on or frees anything the
// thread may still touch.
SDL_sem* g_deviceClosed = nullptr;
bool g_closing = false;

int SDLCALL CloseDevice(void* device) {
    SDL_CloseAudioDevice(static_cast<SDL_AudioDeviceID>(reinterpret_cast<uintptr_t>(device)));
    SDL_SemPost(g_deviceClosed);
    return 0;
}

void FinishClosing() {
    if (!g_closing) return;
    SDL_SemWait(g_deviceClosed);
    g_closing = false;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Where no thread can be made (a browser page without threads), it closes here.
void StartClosing(SDL_AudioDeviceID device) {
    if (!g_deviceClosed) g_deviceClosed = SDL_CreateSemaphore(0);
    SDL_Thread* thread = g_deviceClosed ? SDL_CreateThread(CloseDevice, "audio close",
                                                           reinterpret_cast<void*>(static_cast<uintptr_t>(device)))
                                        : nullptr;
    if (thread) {
        SDL_DetachThread(thread);
        g_closing = true;
        return;
    }
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

BOOL BASS_Init(int device, DWORD freq, DWORD, void*) {
    if (g_layer.mixer) return Result(BASS_ERROR_ALREADY);
    FinishClosing();
    if (device != -1 && device != -2) return Result(BASS_ERROR_DEVICE);
    if (freq < MIN_OUTPUT_RATE || freq > MAX_OUTPUT_RATE) return Result(BASS_ERROR_ILLPARAM);
    auto mixer = std::make_unique<platform::audio::Mixer>(freq);
    if (device == -1) {
        if (g_output == platform::AudioOutput::Missing) return Result(BASS_ERROR_DRIVER);
        if (g_output == platform::AudioOutput::Sdl) {
            const int error = OpenSdlDevice(*mixer);
            if (error != BASS_OK) return Result(error);
        }
    }
    g_layer.mixer = std::move(mixer);
    return Result(BASS_OK);
}

int BASS_ErrorGetCode() { return g_error; }

BOOL BASS_Start() {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    TheMixer()->SetRunning(true);
    if (g_layer.device) SDL_PauseAudioDevice(g_layer.device, 0);
    return Result(BASS_OK);
}

// Pausing and stopping keep the device running: the mixer fades the output
// out and then gives silence, so the sound never stops with a click.
BOOL BASS_Pause() {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    TheMixer()->SetRunning(false);
    return Result(BASS_OK);
}

BOOL BASS_Stop() {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    TheMixer()->SetRunning(false);
    TheMixer()->StopAll();
    return Result(BASS_OK);
}

BOOL BASS_Free() {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    if (g_layer.device) {
        TheMixer()->SetRunning(false);
        for (Uint32 waited = 0; waited < FADE_WAIT_MS && !TheMixer()->Silent(); waited += 5) SDL_Delay(5);
        // The audio thread leaves the mixer for good once the device is paused.
        SDL_PauseAudioDevice(g_layer.device, 1);
        StartClosing(g_layer.device);
        g_layer.device = 0;
        g_layer.deviceBufferFrames = 0;
    }
    g_layer.mixer.reset();
    return Result(BASS_OK);
}

BOOL BASS_GetInfo(BASS_INFO* info) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    if (!info) return Result(BASS_ERROR_ILLPARAM);
    const uint32_t rate = TheMixer()->Rate();
    const uint32_t delay = g_layer.deviceBufferFrames + TheMixer()->DelayFrames();
    info->freq = rate;
    info->buffer = g_layer.deviceBufferFrames;
    info->latency = (delay * 1000 + rate - 1) / rate;
    return Result(BASS_OK);
}

HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD max, DWORD flags) {
    if (!TheMixer()) return HandleResult(BASS_ERROR_INIT, 0);
    if (mem || max < 1) return HandleResult(BASS_ERROR_ILLPARAM, 0);
    auto data = std::make_unique<platform::audio::SampleData>();
    int error = platform::audio::DecodeSample(static_cast<const char*>(file), offset, length, *data);
    DWORD handle = 0;
    if (error == BASS_OK) error = TheMixer()->AddSample(std::move(data), max, flags, handle);
    return HandleResult(error, handle);
}

HCHANNEL BASS_SamplePlayEx(HSAMPLE handle, DWORD start, int freq, int volume, int pan, BOOL loop) {
    if (!TheMixer()) return HandleResult(BASS_ERROR_INIT, 0);
    if (!ValidFreq(freq) || !ValidVolume(volume) || !ValidPan(pan)) return HandleResult(BASS_ERROR_ILLPARAM, 0);
    DWORD channel = 0;
    const int error = TheMixer()->PlaySample(handle, start, freq, volume, pan, loop != FALSE, channel);
    return HandleResult(error, channel);
}

BOOL BASS_SampleStop(HSAMPLE handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->StopSample(handle));
}

BOOL BASS_SampleFree(HSAMPLE handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->FreeSample(handle));
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD) {
    if (!TheMixer()) return HandleResult(BASS_ERROR_INIT, 0);
    if (mem) return HandleResult(BASS_ERROR_ILLPARAM, 0);
    std::unique_ptr<platform::audio::Decoder> decoder;
    int error = platform::audio::OpenStreamDecoder(static_cast<const char*>(file), offset, length, decoder);
    DWORD handle = 0;
    if (error == BASS_OK) error = TheMixer()->AddDecoded(std::move(decoder), false, handle);
    return HandleResult(error, handle);
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->PlayDecoded(handle, false, flush != FALSE, 0, (flags & BASS_SAMPLE_LOOP) != 0));
}

BOOL BASS_StreamFree(HSTREAM handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->FreeDecoded(handle, false));
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD) {
    if (!TheMixer()) return HandleResult(BASS_ERROR_INIT, 0);
    if (mem) return HandleResult(BASS_ERROR_ILLPARAM, 0);
    std::unique_ptr<platform::audio::Decoder> decoder;
    int error = platform::audio::OpenModuleDecoder(static_cast<const char*>(file), offset, length, TheMixer()->Rate(),
                                                   decoder);
    DWORD handle = 0;
    if (error == BASS_OK) error = TheMixer()->AddDecoded(std::move(decoder), true, handle);
    return HandleResult(error, handle);
}

// Jumping to an order restarts the rendering there with the notes cleared,
// so every play is a reset one.
BOOL BASS_MusicPlayEx(HMUSIC handle, DWORD pos, int flags, BOOL /*reset*/) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->PlayDecoded(handle, true, true, pos, (flags & BASS_SAMPLE_LOOP) != 0));
}

BOOL BASS_MusicFree(HMUSIC handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->FreeDecoded(handle, true));
}

BOOL BASS_ChannelStop(DWORD handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->Stop(handle));
}

BOOL BASS_ChannelPause(DWORD handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->Pause(handle));
}

BOOL BASS_ChannelResume(DWORD handle) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    return Result(TheMixer()->Resume(handle));
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    if (!ValidFreq(freq) || !ValidVolume(volume) || !ValidPan(pan)) return Result(BASS_ERROR_ILLPARAM);
    return Result(TheMixer()->SetAttributes(handle, freq, volume, pan));
}

BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    if (!ValidFreq(freq) || !(ValidVolume(volume) || volume == BASS_VOLUME_FADE_STOP) || !ValidPan(pan))
        return Result(BASS_ERROR_ILLPARAM);
    return Result(TheMixer()->SlideAttributes(handle, freq, volume, pan, time));
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    if (!TheMixer()) return HandleResult(BASS_ERROR_INIT, BASS_ACTIVE_STOPPED);
    DWORD state = BASS_ACTIVE_STOPPED;
    const int error = TheMixer()->IsActive(handle, state);
    g_error = error;
    return error == BASS_OK ? state : BASS_ACTIVE_STOPPED;
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
    if (!TheMixer()) {
        g_error = BASS_ERROR_INIT;
        return 0xFFFFFFFFu;
    }
    DWORD level = 0;
    g_error = TheMixer()->GetLevel(handle, level);
    return g_error == BASS_OK ? level : 0xFFFFFFFFu;
}

BOOL BASS_SetGlobalVolumes(int musvol, int samvol, int strvol) {
    if (!TheMixer()) return Result(BASS_ERROR_INIT);
    if (!ValidVolume(musvol) || !ValidVolume(samvol) || !ValidVolume(strvol)) return Result(BASS_ERROR_ILLPARAM);
    TheMixer()->SetGlobalVolumes(musvol, samvol, strvol);
    return Result(BASS_OK);
}

float BASS_GetCPU() { return TheMixer() ? TheMixer()->Cpu() : 0.0f; }

}  // namespace vbass

namespace platform {

void SetAudioOutput(AudioOutput output) { vbass::g_output = output; }

bool AudioPull(int16_t* out, uint32_t frames) {
    if (!vbass::g_layer.mixer || vbass::g_layer.device != 0) return false;
    vbass::g_layer.mixer->Render(out, frames);
    return true;
}

uint32_t AudioDelay() { return vbass::g_layer.mixer ? vbass::g_layer.mixer->DelayFrames() : 0; }

}  // namespace platform
