// The audio library the engine was written for, as a thin layer of our own:
// the same call names, argument meanings and success protocol (non-zero on
// success; on failure BASS_ErrorGetCode tells why). Underneath, one mixer
// runs on SDL's audio thread; samples and streams are decoded by libsndfile,
// music modules rendered by libopenmpt.
//
// Only these calls exist, with the argument values the engine passes:
// memory loading (mem = TRUE) is not provided, and the device numbers are
// -1 (the default output) and -2 (no output: channels play but nothing is
// heard; the mix can still be pulled with platform::AudioPull).
#pragma once

#include <cstdint>

namespace vbass {

typedef uint32_t DWORD;
typedef int BOOL;
typedef DWORD HSAMPLE;   // a loaded sample
typedef DWORD HCHANNEL;  // one playback of a sample
typedef DWORD HSTREAM;   // a stream decoded while it plays
typedef DWORD HMUSIC;    // a music module

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// Flags. BASS_Init's flags are accepted and not needed here.
constexpr DWORD BASS_SAMPLE_LOOP = 4;            // streams and music: loop at the end
constexpr DWORD BASS_SAMPLE_OVER_POS = 0x20000;  // samples: a play with every playback
                                                 // busy takes over the one that has
                                                 // played longest (else the play fails)

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Attribute values that leave the attribute as it is.
constexpr int BASS_FREQ_UNCHANGED = -1;     // frequency; 0 means the channel's own rate
constexpr int BASS_VOLUME_UNCHANGED = -1;   // volume 0..100
constexpr int BASS_PAN_UNCHANGED = -101;    // pan -100 (left) .. 100 (right)
// Slide target volume: fade out, then stop the channel. The fade is a smooth
// stop: the channel keeps the volume it had, so a later play is heard again.
constexpr int BASS_VOLUME_FADE_STOP = -2;

// The error codes this layer reports (the library's own numbers).
enum : int {
    BASS_OK = 0,
    BASS_ERROR_MEM = 1,        // out of memory, or decoded audio larger than the layer takes
    BASS_ERROR_FILEOPEN = 2,   // the file cannot be opened, or holds less than offset + length
    BASS_ERROR_DRIVER = 3,     // no audio driver, or the default output cannot be opened
    BASS_ERROR_HANDLE = 5,     // not a handle of the kind the call takes (or already freed)
    BASS_ERROR_INIT = 8,       // BASS_Init has not succeeded
    BASS_ERROR_ALREADY = 14,   // BASS_Init while already initialised
    BASS_ERROR_NOCHAN = 18,    // every playback of the sample is busy and it may not take over
    BASS_ERROR_ILLPARAM = 20,  // an argument out of its range, or mem = TRUE
    BASS_ERROR_DEVICE = 23,    // a device number other than -1 and -2
    BASS_ERROR_FILEFORM = 41,  // the data is not audio this layer can decode
};

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win);
int BASS_ErrorGetCode();
// Output: Start runs it, Pause halts it with every channel kept as it is,
// Stop halts it and stops every channel, Free releases everything.
BOOL BASS_Start();
BOOL BASS_Pause();
BOOL BASS_Stop();
BOOL BASS_Free();

// The output as opened.
struct BASS_INFO {
    DWORD freq;     // output rate in Hz
    DWORD buffer;   // frames of the device buffer; 0 without a device
    DWORD latency;  // ms from a play call to its sound leaving the layer
};
BOOL BASS_GetInfo(BASS_INFO* info);

// Samples are decoded whole from [offset, offset + length) of the file
// (length 0: to the end of the file). max: simultaneous playbacks (>= 1).
HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD max, DWORD flags);
// freq -1 or 0: the sample's own rate; volume -1: 100; pan -101: 0.
HCHANNEL BASS_SamplePlayEx(HSAMPLE handle, DWORD start, int freq, int volume, int pan, BOOL loop);
BOOL BASS_SampleStop(HSAMPLE handle);
BOOL BASS_SampleFree(HSAMPLE handle);

// Streams decode from [offset, offset + length) of the file while they play.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
// flush TRUE restarts from the beginning; flags BASS_SAMPLE_LOOP loops.
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);

// Modules are loaded from [offset, offset + length) of the file.
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
// pos: the order to start at; flags BASS_SAMPLE_LOOP loops; reset TRUE
// silences what was playing before the jump.
BOOL BASS_MusicPlayEx(HMUSIC handle, DWORD pos, int flags, BOOL reset);
BOOL BASS_MusicFree(HMUSIC handle);

// Channel calls take a stream, a module, one playback, or a sample (then
// they act on every playback of the sample). Pausing a channel that is not
// playing and resuming one that is not paused succeed and change nothing.
BOOL BASS_ChannelStop(DWORD handle);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelResume(DWORD handle);
// freq in Hz (0: own rate, -1: unchanged), volume 0..100 (-1: unchanged),
// pan -100..100 (-101: unchanged). Setting an attribute ends its slide.
BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
// Slides the attributes linearly to the targets over `time` ms of played
// audio; volume BASS_VOLUME_FADE_STOP fades out and stops.
BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time);
// BASS_ACTIVE_*; a sample is active while any playback is.
DWORD BASS_ChannelIsActive(DWORD handle);
// Peak of the channel's part of the last mixed block: left in the low 16 bits,
// right in the high 16 bits, 0..32768. 0xFFFFFFFF when the handle is bad.
DWORD BASS_ChannelGetLevel(DWORD handle);

// Global volumes 0..100 (-1: unchanged) for modules, samples and streams.
BOOL BASS_SetGlobalVolumes(int musvol, int samvol, int strvol);
// Mixing time as a percentage of the played time.
float BASS_GetCPU();

}  // namespace vbass
