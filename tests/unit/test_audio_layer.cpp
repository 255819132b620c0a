// The audio layer on its own: what the mix sounds like, pulled offline.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "audio_fixtures.h"
#include "audio_mixer.h"
#include "audio_resampler.h"
#include "bass.h"
#include "test_support.h"

using namespace vbass;
using namespace audiotest;
using platform::AudioFileFormat;

namespace {

class AudioLayerTest : public EngineTest {
protected:
    // The test fixture makes device -1 the offline output.
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(BASS_Init(-1, RATE, 0x20, nullptr));
        ASSERT_TRUE(BASS_Start());
    }

    // A sample of `frames` frames holding `value` on both channels.
    HSAMPLE LoadConstantSample(uint32_t frames, float value, int rate = RATE, DWORD max = 1, DWORD flags = 0) {
        const std::string path = WriteAudio("s" + std::to_string(++m_files) + ".wav", AudioFileFormat::Wav,
                                            Constant(frames, 2, value), 2, rate);
        return BASS_SampleLoad(FALSE, path.c_str(), 0, 0, max, flags);
    }

    std::string WriteFileBytes(const std::string& bytes) {
        const std::string path = "f" + std::to_string(++m_files) + ".bin";
        testsupport::WriteFile(path, bytes);
        return path;
    }

private:
    int m_files = 0;
};

// Frames whose left channel is not silent.
size_t SoundingFrames(const std::vector<float>& stereo) {
    size_t n = 0;
    for (size_t i = 0; i < stereo.size() / 2; ++i)
        if (std::fabs(stereo[2 * i]) > 1e-3f) ++n;
    return n;
}

TEST_F(AudioLayerTest, CallsFollowTheInitialisationProtocol) {
    EXPECT_FALSE(BASS_Init(-1, RATE, 0x20, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    ASSERT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Start());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(BASS_SampleLoad(FALSE, "x.wav", 0, 0, 1, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Init(3, RATE, 0x20, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

    // No sound card: the default output fails, the no-output device works
    // and still mixes.
    platform::SetAudioOutput(platform::AudioOutput::Missing);
    EXPECT_FALSE(BASS_Init(-1, RATE, 0x20, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    ASSERT_TRUE(BASS_Init(-2, RATE, 0x20, nullptr));
    ASSERT_TRUE(BASS_Start());
    const HSAMPLE sample = LoadConstantSample(100, 0.5f);
    ASSERT_NE(sample, 0u);
    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE), 0u);
    EXPECT_NEAR(Peak(Pull(Delay() + 50), 0), 0.5f, 0.01f);
}

TEST_F(AudioLayerTest, VolumeAndPanScaleTheSignal) {
    const HSAMPLE sample = LoadConstantSample(4410, 0.8f, RATE, 4);
    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 100, -101, FALSE), 0u);
    Settle();
    const float full = Peak(Pull(100), 0);
    EXPECT_NEAR(full, 0.8f, 0.002f);
    BASS_SampleStop(sample);

    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 50, -101, FALSE), 0u);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), full / 2, 0.002f);
    BASS_SampleStop(sample);

    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 100, -100, FALSE), 0u);
    Settle();
    std::vector<float> mix = Pull(100);
    EXPECT_NEAR(Peak(mix, 0), full, 0.002f);
    EXPECT_EQ(Peak(mix, 1), 0.0f);
    // The levels report the same: left in the low word, right in the high.
    const DWORD level = BASS_ChannelGetLevel(sample);
    EXPECT_NEAR((level & 0xFFFF) / 32768.0, 0.8, 0.01);
    EXPECT_EQ(level >> 16, 0u);

    // Leave-unchanged values keep the pan; a new volume applies (within a
    // few milliseconds).
    ASSERT_TRUE(BASS_ChannelSetAttributes(sample, -1, 25, -101));
    Settle();
    mix = Pull(100);
    EXPECT_NEAR(Peak(mix, 0), full / 4, 0.002f);
    EXPECT_EQ(Peak(mix, 1), 0.0f);

    EXPECT_FALSE(BASS_ChannelSetAttributes(sample, -1, 101, -101));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_ChannelSetAttributes(sample, -1, -1, 150));
    EXPECT_EQ(BASS_SamplePlayEx(sample, 0, 5, -1, -101, FALSE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(AudioLayerTest, FrequencyResamplesTheSample) {
    // 1000 frames recorded at 22050 Hz last 2000 output frames at their own
    // rate, and half that at twice the frequency.
    const HSAMPLE slow = LoadConstantSample(1000, 0.5f, 22050);
    const HCHANNEL own = BASS_SamplePlayEx(slow, 0, -1, -1, -101, FALSE);
    ASSERT_NE(own, 0u);
    EXPECT_NEAR(static_cast<double>(SoundingFrames(Pull(4000))), 2000.0, 2.0);
    EXPECT_EQ(BASS_ChannelIsActive(own), BASS_ACTIVE_STOPPED);

    ASSERT_NE(BASS_SamplePlayEx(slow, 0, 44100, -1, -101, FALSE), 0u);
    EXPECT_NEAR(static_cast<double>(SoundingFrames(Pull(4000))), 1000.0, 2.0);
}

TEST_F(AudioLayerTest, SlidesRunInTheMixer) {
    const HSAMPLE sample = LoadConstantSample(44100, 1.0f);
    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 100, -101, TRUE), 0u);
    Pull(10);
    // To volume 0 over 100 ms: a straight ramp over 4410 frames.
    ASSERT_TRUE(BASS_ChannelSlideAttributes(sample, -1, 0, -101, 100));
    const size_t d = Delay();
    const std::vector<float> ramp = Pull(5000);
    EXPECT_NEAR(ramp[2 * (d + 1102)], 0.75f, 0.01f);
    EXPECT_NEAR(ramp[2 * (d + 2205)], 0.5f, 0.01f);
    EXPECT_NEAR(ramp[2 * (d + 3307)], 0.25f, 0.01f);
    EXPECT_EQ(Peak(ramp, 0, d + 4410), 0.0f);
    EXPECT_EQ(BASS_ChannelIsActive(sample), BASS_ACTIVE_PLAYING);  // silent, not stopped

    // Pan slides too, and a slide of frequency changes the pitch step.
    ASSERT_TRUE(BASS_ChannelSetAttributes(sample, -1, 100, -101));
    ASSERT_TRUE(BASS_ChannelSlideAttributes(sample, -1, -1, -100, 50));
    const std::vector<float> panned = Pull(3000);
    EXPECT_NEAR(panned[2 * (d + 1102) + 1], 0.5f, 0.01f);
    EXPECT_EQ(Peak(panned, 1, d + 2206), 0.0f);
    EXPECT_NEAR(Peak(panned, 0, d + 2206), 1.0f, 0.001f);
}

TEST_F(AudioLayerTest, FadeToStopEndsTheChannelAndKeepsItsVolume) {
    const std::string path =
        WriteAudio("loop.wav", AudioFileFormat::Wav, Constant(44100, 2, 0.5f), 2);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0x20000);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, BASS_SAMPLE_LOOP));
    ASSERT_TRUE(BASS_ChannelSlideAttributes(stream, -1, BASS_VOLUME_FADE_STOP, -101, 200));
    std::vector<float> fade = Pull(4410);
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_PLAYING);  // still fading
    EXPECT_NEAR(fade[2 * 4409], 0.25f, 0.01f);
    fade = Pull(4410);
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(Peak(Pull(1000), 0, Delay()), 0.0f);

    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0));
    EXPECT_NEAR(Peak(Pull(1000), 0), 0.5f, 0.002f);

    // A stopped channel has nothing to fade; a zero time stops at once.
    ASSERT_TRUE(BASS_ChannelSlideAttributes(stream, -1, BASS_VOLUME_FADE_STOP, -101, 0));
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_STOPPED);
    EXPECT_TRUE(BASS_ChannelSlideAttributes(stream, -1, BASS_VOLUME_FADE_STOP, -101, 500));
}

TEST_F(AudioLayerTest, LoopedStreamWrapsWithoutAGap) {
    for (AudioFileFormat format : {AudioFileFormat::Wav, AudioFileFormat::Flac}) {
        const uint32_t length = 1000;  // 10 periods of a 4410 Hz sine
        const std::vector<float> sine = Sine(length, 10, 0.5f);
        const std::string path = WriteAudio(format == AudioFileFormat::Wav ? "sine.wav" : "sine.flac", format,
                                            sine, 2);
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
        ASSERT_NE(stream, 0u);
        ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, BASS_SAMPLE_LOOP));
        // Odd block sizes put the wrap in the middle of a block.
        Settle();  // the end of the last stream's fade-out
        const size_t d = Delay();
        std::vector<float> mix;
        for (uint32_t block : {333u, 777u, 1500u, 1u, 389u}) {
            const std::vector<float> part = Pull(block);
            mix.insert(mix.end(), part.begin(), part.end());
        }
        for (size_t i = 0; i + d < mix.size() / 2; ++i) {
            ASSERT_NEAR(mix[2 * (i + d)], sine[2 * ((i + SETTLE) % length)], 2e-4f) << "frame " << i;
            ASSERT_NEAR(mix[2 * (i + d) + 1], sine[2 * ((i + SETTLE) % length)], 2e-4f) << "frame " << i;
        }
        EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_PLAYING);
        ASSERT_TRUE(BASS_StreamFree(stream));
    }
}

TEST_F(AudioLayerTest, CompressedStreamsAndSamplesPlayToTheirEnd) {
    // Half a second of a 1 kHz tone; the lossy codecs may pad a few hundred
    // frames of near silence at the end.
    for (AudioFileFormat format : {AudioFileFormat::Ogg, AudioFileFormat::Mp3}) {
        const std::string path = WriteAudio(format == AudioFileFormat::Ogg ? "tone.ogg" : "tone.mp3", format,
                                            Sine(22050, 500, 0.5f), 2);
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
        ASSERT_NE(stream, 0u) << path;
        ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0));
        const std::vector<float> mix = Pull(30000);
        EXPECT_NEAR(Peak(mix, 0, 0, 22000), 0.5f, 0.05f) << path;
        EXPECT_LT(Peak(mix, 0, 24000), 0.01f) << path;
        EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_STOPPED);
        // Playing again without flush starts over once the end was reached.
        ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        EXPECT_NEAR(Peak(Pull(5000), 0, 2000), 0.5f, 0.05f) << path;
        ASSERT_TRUE(BASS_StreamFree(stream));

        const HSAMPLE sample = BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, 0);
        ASSERT_NE(sample, 0u) << path;
        ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE), 0u);
        EXPECT_NEAR(Peak(Pull(22000), 0, 2000), 0.5f, 0.05f) << path;
        Pull(8000);
        EXPECT_EQ(BASS_ChannelIsActive(sample), BASS_ACTIVE_STOPPED) << path;
    }
}

TEST_F(AudioLayerTest, SamplePlaybacksUpToTheMaximum) {
    const HSAMPLE taking = LoadConstantSample(44100, 0.25f, RATE, 2, BASS_SAMPLE_OVER_POS);
    const HCHANNEL first = BASS_SamplePlayEx(taking, 0, -1, -1, -101, FALSE);
    Pull(100);
    const HCHANNEL second = BASS_SamplePlayEx(taking, 0, -1, -1, -101, FALSE);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.5f, 0.002f);  // both sound at once
    // A third takes over the one that has played longest.
    const HCHANNEL third = BASS_SamplePlayEx(taking, 0, -1, 40, -101, FALSE);
    EXPECT_EQ(third, first);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.25f + 0.1f, 0.002f);

    const HSAMPLE plain = LoadConstantSample(44100, 0.25f, RATE, 2, 0);
    ASSERT_NE(BASS_SamplePlayEx(plain, 0, -1, -1, -101, FALSE), 0u);
    ASSERT_NE(BASS_SamplePlayEx(plain, 0, -1, -1, -101, FALSE), 0u);
    EXPECT_EQ(BASS_SamplePlayEx(plain, 0, -1, -1, -101, FALSE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOCHAN);

    // Stopping the sample frees its playbacks for new plays.
    ASSERT_TRUE(BASS_SampleStop(plain));
    EXPECT_EQ(BASS_ChannelIsActive(plain), BASS_ACTIVE_STOPPED);
    EXPECT_NE(BASS_SamplePlayEx(plain, 0, -1, -1, -101, FALSE), 0u);
    ASSERT_TRUE(BASS_SampleFree(plain));
    EXPECT_FALSE(BASS_SampleFree(plain));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(AudioLayerTest, PauseAndResumePerChannelAndForTheOutput) {
    const HSAMPLE sample = LoadConstantSample(2000, 0.5f);
    const HCHANNEL channel = BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE);
    Pull(500);
    ASSERT_TRUE(BASS_ChannelPause(sample));
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PAUSED);
    EXPECT_EQ(BASS_ChannelIsActive(sample), BASS_ACTIVE_PAUSED);
    EXPECT_EQ(Peak(Pull(5000), 0, SETTLE), 0.0f);  // silent once faded out
    EXPECT_TRUE(BASS_ChannelPause(sample));  // pausing again changes nothing
    ASSERT_TRUE(BASS_ChannelResume(sample));
    EXPECT_TRUE(BASS_ChannelResume(sample));

    // The whole output: silence while paused, and nothing is lost: the
    // 1500 frames after the resume are all heard, before and after the pause
    // (each fade has a first frame at zero).
    std::vector<float> heard = Pull(500);
    ASSERT_TRUE(BASS_Pause());
    const std::vector<float> paused = Pull(5000);
    EXPECT_EQ(Peak(paused, 0, SETTLE), 0.0f);
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
    ASSERT_TRUE(BASS_Start());
    const std::vector<float> resumed = Pull(3000);
    EXPECT_NEAR(static_cast<double>(SoundingFrames(heard) + SoundingFrames(paused) + SoundingFrames(resumed)),
                1500.0, 2.0);

    // Stop ends every channel.
    const HCHANNEL again = BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE);
    ASSERT_TRUE(BASS_Stop());
    EXPECT_EQ(BASS_ChannelIsActive(again), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelStop(again));  // a played-out playback is gone
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(AudioLayerTest, GlobalVolumesSplitMusicFromSounds) {
    const HSAMPLE sample = LoadConstantSample(44100, 0.4f);
    const std::string wav = WriteAudio("st.wav", AudioFileFormat::Wav, Constant(44100, 2, 0.4f), 2);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
    const std::string module = WriteFileBytes(TinyModule(63));
    const HMUSIC music = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, 0);
    ASSERT_NE(music, 0u);

    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, 0, TRUE));
    Pull(2000);
    const DWORD musicLevel = BASS_ChannelGetLevel(music) & 0xFFFF;
    ASSERT_GT(musicLevel, 1000u);
    ASSERT_TRUE(BASS_SetGlobalVolumes(50, -1, -1));
    Settle();  // the change glides in
    Pull(2000);
    EXPECT_NEAR(static_cast<double>(BASS_ChannelGetLevel(music) & 0xFFFF), musicLevel / 2.0, musicLevel * 0.05);
    ASSERT_TRUE(BASS_ChannelStop(music));

    ASSERT_TRUE(BASS_SetGlobalVolumes(-1, 50, 25));
    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE), 0u);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.2f, 0.002f);
    BASS_SampleStop(sample);
    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0));
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.1f, 0.002f);
    EXPECT_FALSE(BASS_SetGlobalVolumes(-1, 200, -1));
    EXPECT_GT(BASS_GetCPU(), 0.0f);
}

TEST_F(AudioLayerTest, ModulePlaysFromTheBeginningAndLoopsOnRequest) {
    const std::string path = WriteFileBytes(TinyModule(3));
    const HMUSIC music = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, 0, TRUE));
    const std::vector<float> first = Pull(8000);
    EXPECT_GT(Peak(first, 0), 0.01f);
    // Four rows of 120 ms: the song ends after 0.48 s.
    Pull(22000);
    EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_STOPPED);

    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, 0, TRUE));
    EXPECT_EQ(Pull(8000), first);
    // Restarting in the middle gives the beginning again, once the old
    // position has faded out.
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, 0, TRUE));
    const std::vector<float> again = Pull(8000);
    EXPECT_TRUE(std::equal(again.begin() + 2 * SETTLE, again.end(), first.begin() + 2 * SETTLE));

    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_SAMPLE_LOOP, TRUE));
    Pull(44100);
    EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_PLAYING);
    EXPECT_GT(BASS_ChannelGetLevel(music) & 0xFFFF, 0u);
    ASSERT_TRUE(BASS_MusicFree(music));
    EXPECT_EQ(BASS_ChannelGetLevel(music), 0xFFFFFFFFu);
}

TEST_F(AudioLayerTest, StreamAndModuleReadExactlyTheirRangeOfAPack) {
    // A WAV whose header claims twice the data it holds, followed in the pack
    // by loud bytes: the stream must end with its range, not play the rest.
    const uint32_t frames = 1000;
    WriteAudio("short.wav", AudioFileFormat::Wav, Constant(frames, 2, 0.25f), 2);
    std::string wav = testsupport::ReadFile("short.wav");
    ASSERT_EQ(wav.substr(36, 4), "data");
    const uint32_t claimed = frames * 4 * 2;
    for (int i = 0; i < 4; ++i) wav[40 + i] = static_cast<char>((claimed >> (8 * i)) & 0xFF);
    const std::string module = TinyModule(3);
    const std::string head(777, '\x7F');
    const std::string loud(frames * 4 * 2, '\x7F');
    const std::string pack = WriteFileBytes(head + wav + loud + module + loud);
    const DWORD wavOffset = static_cast<DWORD>(head.size());
    const DWORD moduleOffset = static_cast<DWORD>(head.size() + wav.size() + loud.size());

    const HSTREAM stream = BASS_StreamCreateFile(FALSE, pack.c_str(), wavOffset, wav.size(), 0);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0));
    const std::vector<float> played = Pull(4000);
    EXPECT_EQ(SoundingFrames(played), frames);
    EXPECT_NEAR(Peak(played, 0), 0.25f, 0.001f);

    // The module from the pack sounds exactly like the module on its own.
    const std::string alone = WriteFileBytes(module);
    const HMUSIC reference = BASS_MusicLoad(FALSE, alone.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_MusicPlayEx(reference, 0, 0, TRUE));
    const std::vector<float> expected = Pull(30000);
    ASSERT_TRUE(BASS_MusicFree(reference));
    const HMUSIC packed = BASS_MusicLoad(FALSE, pack.c_str(), moduleOffset, module.size(), 0);
    ASSERT_NE(packed, 0u);
    ASSERT_TRUE(BASS_MusicPlayEx(packed, 0, 0, TRUE));
    EXPECT_EQ(Pull(30000), expected);

    // A range past the end of the file is refused.
    EXPECT_EQ(BASS_MusicLoad(FALSE, pack.c_str(), moduleOffset, module.size() + 2 * loud.size(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, pack.c_str(), 0xFFFFFF00u, 10, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(AudioLayerTest, DamagedDataFailsCleanlyOnEveryDecoderPath) {
    const std::string ogg = testsupport::ReadFile(
        WriteAudio("d.ogg", AudioFileFormat::Ogg, Sine(8000, 80, 0.5f), 2));
    const std::string flac = testsupport::ReadFile(
        WriteAudio("d.flac", AudioFileFormat::Flac, Sine(8000, 80, 0.5f), 2));
    const std::string wav = testsupport::ReadFile(
        WriteAudio("d.wav", AudioFileFormat::Wav, Sine(8000, 80, 0.5f), 2));
    const std::string mp3Whole = testsupport::ReadFile(
        WriteAudio("d.mp3", AudioFileFormat::Mp3, Sine(8000, 80, 0.5f), 2));
    const std::string module = TinyModule(3);
    const std::string garbage = "This is not audio. It is a text file that happens to sit in a pack.";
    // An MPEG frame header with nothing valid behind it.
    const std::string mp3 = std::string("\xFF\xFB\x90\x64", 4) + std::string(100, '\x55');

    std::string wavBadRate = wav;
    wavBadRate[24] = wavBadRate[25] = wavBadRate[26] = wavBadRate[27] = '\0';  // 0 Hz

    const std::vector<std::string> refusedWhole = {
        "", garbage, mp3, wav.substr(0, 30), wavBadRate, ogg.substr(0, 40), flac.substr(0, 30),
    };
    for (const std::string& bytes : refusedWhole) {
        const std::string path = WriteFileBytes(bytes);
        EXPECT_EQ(BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, 0), 0u) << bytes.size();
        EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
        EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0), 0u) << bytes.size();
        EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
    }
    for (const std::string& bytes : {std::string(), garbage, module.substr(0, 600), wav}) {
        const std::string path = WriteFileBytes(bytes);
        EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0), 0u) << bytes.size();
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    }
    EXPECT_EQ(BASS_SampleLoad(FALSE, "missing.wav", 0, 0, 1, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

    // Data cut or spoiled in the middle: whatever opens plays to a clean end.
    std::vector<std::string> spoiled;
    for (const std::string* whole : {&ogg, &flac, &wav, &mp3Whole}) {
        spoiled.push_back(whole->substr(0, whole->size() / 2));
        std::string flipped = *whole;
        for (size_t i = whole->size() / 3; i < whole->size(); i += 7) flipped[i] = static_cast<char>(~flipped[i]);
        spoiled.push_back(flipped);
    }
    for (const std::string& bytes : spoiled) {
        const std::string path = WriteFileBytes(bytes);
        if (const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0)) {
            ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, BASS_SAMPLE_LOOP));
            Pull(20000);
            ASSERT_TRUE(BASS_StreamFree(stream));
        }
        if (const HSAMPLE sample = BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, 0)) {
            ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE), 0u);
            Pull(10000);
            EXPECT_EQ(BASS_ChannelIsActive(sample), BASS_ACTIVE_STOPPED);
        }
        const std::vector<float> after = Pull(100);
        EXPECT_LE(Peak(after, 0), 1.0f);
    }
}

// Measures of the pulled mix, one channel of [from, from + frames).

// The amplitude of the component at `hz`, Hann-windowed so that other tones
// do not leak into it.
double ToneAmplitude(const std::vector<float>& stereo, int channel, double hz, size_t from, size_t frames) {
    double re = 0.0, im = 0.0, windowSum = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / frames);
        const double v = stereo[2 * (from + i) + channel] * w;
        re += v * std::cos(2.0 * M_PI * hz * i / RATE);
        im -= v * std::sin(2.0 * M_PI * hz * i / RATE);
        windowSum += w;
    }
    return 2.0 * std::sqrt(re * re + im * im) / windowSum;
}

double Rms(const std::vector<float>& stereo, int channel, size_t from, size_t frames) {
    double sum = 0.0;
    for (size_t i = 0; i < frames; ++i) sum += stereo[2 * (from + i) + channel] * stereo[2 * (from + i) + channel];
    return std::sqrt(sum / frames);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Everything but the tone at `hz` against the tone, in dB; `frames` must
// hold whole periods of it.
double ThdPlusNoise(const std::vector<float>& stereo, int channel, double hz, size_t from, size_t frames) {
    double a = 0.0, b = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        a += stereo[2 * (from + i) + channel] * std::cos(2.0 * M_PI * hz * i / RATE);
        b += stereo[2 * (from + i) + channel] * std::sin(2.0 * M_PI * hz * i / RATE);
    }
    a *= 2.0 / frames;
    b *= 2.0 / frames;
    double residual = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double tone = a * std::cos(2.0 * M_PI * hz * i / RATE) + b * std::sin(2.0 * M_PI * hz * i / RATE);
        const double rest = stereo[2 * (from + i) + channel] - tone;
        residual += rest * rest;
    }
    return Db(std::sqrt(residual / frames) / std::sqrt((a * a + b * b) / 2.0));
}

float LargestStep(const std::vector<float>& stereo, int channel, size_t from, size_t to) {
    float largest = 0.0f;
    for (size_t i = from + 1; i < to && i < stereo.size() / 2; ++i)
        largest = std::max(largest, std::fabs(stereo[2 * i + channel] - stereo[2 * (i - 1) + channel]));
    return largest;
}

TEST_F(AudioLayerTest, ResamplingKeepsImagesAndAliasesSixtyDecibelsDown) {
    const size_t settled = 4096, measured = 16384;
    // A 15 kHz tone recorded at 44.1 kHz and played at 96 kHz would sound at
    // 32.65 kHz, above what the output can carry: it must vanish rather
    // than fold back to 11.45 kHz. (A mono file: one side resampled.)
    const std::vector<float> high = Sine(4410, 1500, 0.5f);
    std::vector<float> highMono(4410);
    for (size_t i = 0; i < highMono.size(); ++i) highMono[i] = high[2 * i];
    const std::string highPath = WriteAudio("high.wav", AudioFileFormat::Wav, highMono, 1);
    const HSAMPLE highSample = BASS_SampleLoad(FALSE, highPath.c_str(), 0, 0, 1, 0);
    ASSERT_NE(BASS_SamplePlayEx(highSample, 0, 96000, 100, -101, TRUE), 0u);
    Pull(settled);
    const std::vector<float> folded = Pull(measured);
    const double leftOver = Db(Rms(folded, 0, 0, measured) / (0.5 / std::sqrt(2.0)));
    EXPECT_LT(leftOver, -60.0) << "a tone above the output's Nyquist frequency comes through at " << leftOver
                               << " dB";
    const double alias = Db(ToneAmplitude(folded, 0, 11450.0, 0, measured) / 0.5);
    EXPECT_LT(alias, -60.0) << "its alias at 11.45 kHz is at " << alias << " dB";
    ASSERT_TRUE(BASS_ChannelStop(highSample));

    // A 5 kHz tone recorded at 22.05 kHz: its image at 17.05 kHz must not
    // come through. (A stereo file: both sides resampled.)
    const std::string lowPath = WriteAudio("low.wav", AudioFileFormat::Wav, Sine(2205, 500, 0.5f), 2, 22050);
    const HSAMPLE lowSample = BASS_SampleLoad(FALSE, lowPath.c_str(), 0, 0, 1, 0);
    ASSERT_NE(BASS_SamplePlayEx(lowSample, 0, -1, 100, -101, TRUE), 0u);
    Pull(settled);
    const std::vector<float> upsampled = Pull(measured);
    for (int side = 0; side < 2; ++side) {
        const double tone = ToneAmplitude(upsampled, side, 5000.0, 0, measured);
        EXPECT_NEAR(tone, 0.5, 0.01) << "side " << side;
        const double image = Db(ToneAmplitude(upsampled, side, 17050.0, 0, measured) / tone);
        EXPECT_LT(image, -60.0) << "the image at 17.05 kHz is at " << image << " dB on side " << side;
    }

    // Pitched up by a fifth while sliding, a tone keeps its shape.
    ASSERT_TRUE(BASS_ChannelSlideAttributes(lowSample, 33075, -1, -101, 50));
    Pull(settled);
    const std::vector<float> pitched = Pull(4410);
    const double shape = ThdPlusNoise(pitched, 0, 7500.0, 0, 4410);
    EXPECT_LT(shape, -60.0) << "a tone pitched up to 7.5 kHz has THD+N " << shape << " dB";
}

TEST_F(AudioLayerTest, LoudSumsAreLimitedNotClipped) {
    // A full-scale 1 kHz tone, played by 1, 8 and 32 voices at once.
    const std::string path = WriteAudio("full.wav", AudioFileFormat::Wav, Sine(4410, 100, 1.0f), 2);
    const HSAMPLE sample = BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 32, BASS_SAMPLE_OVER_POS);
    ASSERT_NE(sample, 0u);
    for (int voices : {1, 8, 32}) {
        for (int i = 0; i < voices; ++i) ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 100, -101, TRUE), 0u);
        const size_t d = Delay();
        const std::vector<float> start = Pull(d + 4410);
        Pull(RATE / 5);  // the limiter settles
        const std::vector<float> mix = Pull(8820);
        if (voices == 1) {
            // Full scale and no more: passes untouched.
            float largestChange = 0.0f;
            const float peak = Peak(start, 0);
            for (size_t i = 0; i < 4410; ++i) {
                const float expected = peak * static_cast<float>(std::sin(2.0 * M_PI * 100 * i / 4410));
                largestChange = std::max(largestChange, std::fabs(start[2 * (d + i)] - expected));
            }
            EXPECT_GT(peak, 0.999f);
            EXPECT_LT(largestChange, 2.0f / 32767) << "a single full-scale voice changed by " << largestChange;
        }
        size_t railed = 0;
        for (float v : mix) railed += std::fabs(v) >= 1.0f ? 1 : 0;
        const double share = 100.0 * railed / mix.size();
        EXPECT_LT(share, 1.0) << voices << " voices put " << share << "% of the samples at full scale";
        const double shape = ThdPlusNoise(mix, 0, 1000.0, 0, mix.size() / 2);
        EXPECT_LT(shape, -30.0) << voices << " voices give THD+N " << shape << " dB";
        ASSERT_TRUE(BASS_SampleStop(sample));
        Settle();
    }
}

TEST_F(AudioLayerTest, ChangesAndStopsDoNotClick) {
    // A 440 Hz tone at half scale; around each change the largest step from
    // one output frame to the next stays within twice the tone's own.
    const std::string path = WriteAudio("a.wav", AudioFileFormat::Wav, Sine(4410, 44, 0.5f), 2);
    const HSAMPLE sample = BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, BASS_SAMPLE_OVER_POS);
    struct Case {
        const char* change;
        std::function<void()> make;
    };
    const std::vector<Case> cases = {
        {"volume 100 to 25", [&] { BASS_ChannelSetAttributes(sample, -1, 25, -101); }},
        {"pan to the left", [&] { BASS_ChannelSetAttributes(sample, -1, -1, -100); }},
        {"zero-time slide", [&] { BASS_ChannelSlideAttributes(sample, -1, 10, 60, 0); }},
        {"stop", [&] { BASS_ChannelStop(sample); }},
        {"pause", [&] { BASS_ChannelPause(sample); }},
        {"takeover", [&] { BASS_SamplePlayEx(sample, 0, -1, 100, -101, TRUE); }},
        {"output pause", [&] { BASS_Pause(); }},
        {"global volume", [&] { BASS_SetGlobalVolumes(-1, 20, -1); }},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(BASS_SetGlobalVolumes(-1, 100, -1));
        ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, 100, -101, TRUE), 0u);
        ASSERT_TRUE(BASS_Start());
        Pull(SETTLE + 2000);
        const std::vector<float> before = Pull(4410);
        c.make();
        const std::vector<float> after = Pull(3 * SETTLE);
        std::vector<float> around(before.end() - 200, before.end());
        around.insert(around.end(), after.begin(), after.end());
        for (int side = 0; side < 2; ++side) {
            const float own = LargestStep(before, side, 0, 4410);
            const float step = LargestStep(around, side, 0, around.size() / 2);
            EXPECT_LE(step, 2.0f * own) << c.change << ": a step of " << step << " against the tone's " << own
                                        << " on side " << side;
        }
        // The way back: resuming fades in as well.
        if (std::string(c.change) == "pause") {
            ASSERT_TRUE(BASS_ChannelResume(sample));
            const std::vector<float> resumed = Pull(SETTLE);
            const float step = LargestStep(resumed, 0, 0, SETTLE);
            EXPECT_LE(step, 2.0f * LargestStep(before, 0, 0, 4410)) << "resume: a step of " << step;
        }
        if (std::string(c.change) == "output pause") {
            ASSERT_TRUE(BASS_Start());
            const std::vector<float> resumed = Pull(SETTLE);
            const float step = LargestStep(resumed, 0, 0, SETTLE);
            EXPECT_LE(step, 2.0f * LargestStep(before, 0, 0, 4410)) << "output resume: a step of " << step;
        }
        BASS_SampleStop(sample);
        Settle();
    }
}

TEST_F(AudioLayerTest, LatencyIsReported) {
    BASS_INFO info{};
    ASSERT_TRUE(BASS_GetInfo(&info));
    EXPECT_EQ(info.freq, static_cast<DWORD>(RATE));
    EXPECT_EQ(info.buffer, 0u);  // the offline output has no device buffer
    // The look-ahead alone, in whole milliseconds.
    EXPECT_EQ(info.latency, (Delay() * 1000 + RATE - 1) / RATE);
    EXPECT_FALSE(BASS_GetInfo(nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

#if !defined(_WIN32)  // ALSA's own configuration
TEST_F(AudioLayerTest, NoSoundCardPrintsNothing) {
    BASS_Free();
    // ALSA with an empty configuration has no output at all, like a machine
    // without a sound card; whatever the system's libraries complain about
    // must not reach the terminal.
    testsupport::WriteFile("asound.conf", "");
    setenv("ALSA_CONFIG_PATH", (std::filesystem::current_path() / "asound.conf").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    platform::SetAudioOutput(platform::AudioOutput::Sdl);
    std::fflush(stderr);
    const int terminal = dup(2);
    const int capture = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(capture, 0);
    dup2(capture, 2);
    const BOOL opened = BASS_Init(-1, RATE, 0x20, nullptr);
    const int error = BASS_ErrorGetCode();
    std::fflush(stderr);
    dup2(terminal, 2);
    close(terminal);
    close(capture);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("ALSA_CONFIG_PATH");
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, BASS_ERROR_DRIVER);
    const std::string printed = testsupport::ReadFile("stderr.txt");
    EXPECT_EQ(printed, "") << "printed on the terminal: " << printed;
    // The no-output device still opens.
    EXPECT_TRUE(BASS_Init(-2, RATE, 0x20, nullptr));
}
#endif

TEST_F(AudioLayerTest, SdlDeviceMixesOnItsOwnThread) {
    BASS_Free();
    testsupport::SetEnvironment("SDL_AUDIODRIVER", "dummy");
    platform::SetAudioOutput(platform::AudioOutput::Sdl);
    ASSERT_TRUE(BASS_Init(-1, RATE, 0x20, nullptr)) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_Start());
    int16_t pcm[4];
    EXPECT_FALSE(platform::AudioPull(pcm, 2));  // the device takes the mix itself

    const std::string path = WriteAudio("t.wav", AudioFileFormat::Wav, Sine(4410, 44, 0.5f), 2);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0));
    const HSAMPLE sample = LoadConstantSample(4410, 0.1f);
    ASSERT_NE(BASS_SamplePlayEx(sample, 0, -1, -1, -101, FALSE), 0u);
    // Main-thread calls while the audio thread mixes.
    for (int i = 0; i < 200 && BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED; ++i) {
        BASS_ChannelSetAttributes(stream, 44100 + (i % 7) * 100, 80, (i % 21) - 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(BASS_ChannelIsActive(stream), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_StreamFree(stream));
    ASSERT_TRUE(BASS_Free());
    testsupport::UnsetEnvironment("SDL_AUDIODRIVER");
}

}  // namespace

namespace {

// Stopping the output waits for its fade only when there is something to
// fade: a quiet output is silent at once, a sounding one only after the
// block that fades it has been given out.
TEST(AudioMixerStop, WaitsForAFadeOnlyWhenSomethingSounds) {
    using platform::audio::Mixer;
    using platform::audio::SampleData;
    constexpr uint32_t BLOCK = 512;
    std::vector<int16_t> pcm(2 * BLOCK);
    const auto peak = [&pcm] {
        int most = 0;
        for (int16_t v : pcm) most = std::max(most, std::abs(static_cast<int>(v)));
        return most;
    };
    Mixer mixer(44100);
    mixer.SetRunning(true);
    mixer.Render(pcm.data(), BLOCK);
    mixer.SetRunning(false);
    EXPECT_TRUE(mixer.Silent()) << "nothing played: nothing to fade";

    auto tone = std::make_unique<SampleData>();
    tone->left.assign(44100, 16384);  // half of full scale
    tone->rate = 44100;
    vbass::DWORD sample = 0, channel = 0;
    ASSERT_EQ(mixer.AddSample(std::move(tone), 1, 0, sample), BASS_OK);
    // A play started after a quiet block must still be faded.
    mixer.SetRunning(true);
    mixer.Render(pcm.data(), BLOCK);
    ASSERT_EQ(mixer.PlaySample(sample, 0, -1, 100, 0, true, channel), BASS_OK);
    mixer.SetRunning(false);
    EXPECT_FALSE(mixer.Silent()) << "a voice has just started";
    mixer.SetRunning(true);
    mixer.Render(pcm.data(), BLOCK);
    ASSERT_GT(peak(), 1000) << "the voice sounds";
    mixer.SetRunning(false);
    EXPECT_FALSE(mixer.Silent()) << "a sounding output fades before it is silent";
    for (int block = 0; block < 4 && !mixer.Silent(); ++block) mixer.Render(pcm.data(), BLOCK);
    EXPECT_TRUE(mixer.Silent()) << "the fade ended";
}

// Samples are resampled from their 16-bit frames, streams from floats: the
// two agree for every size of kernel, mono and stereo, while the step
// slides, over a block whose length is not a multiple of four.
TEST(AudioResampler, SixteenBitFramesResampleLikeFloats) {
    using namespace platform::audio;
    constexpr uint32_t FRAMES = 509;
    constexpr size_t SOURCE = 8192;
    std::vector<int16_t> left(SOURCE), right(SOURCE);
    std::vector<float> leftFloats(SOURCE), rightFloats(SOURCE);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> noise(-32768, 32767);  // full band and full scale: every tap counts
    for (size_t i = 0; i < SOURCE; ++i) {
        left[i] = static_cast<int16_t>(noise(random));
        right[i] = static_cast<int16_t>(noise(random));
        leftFloats[i] = left[i] / 32768.0f;
        rightFloats[i] = right[i] / 32768.0f;
    }
    for (const double step : {0.3, 0.93, 1.2, 1.9, 2.6, 3.7}) {
        const ResampleKernel& kernel = KernelForStep(step);
        ResamplePath path;
        path.x0 = 0.37;
        path.dx = step;
        path.ddx = step * 1e-5;
        std::vector<float> wantLeft(FRAMES), wantRight(FRAMES), gotLeft(FRAMES), gotRight(FRAMES), gotMono(FRAMES);
        ResampleStereo(kernel, leftFloats.data(), rightFloats.data(), path, FRAMES, wantLeft.data(), wantRight.data());
        ResamplePcm(kernel, left.data(), right.data(), path, FRAMES, gotLeft.data(), gotRight.data());
        ResamplePcm(kernel, right.data(), nullptr, path, FRAMES, gotMono.data(), nullptr);
        float worst = 0.0f, loudest = 0.0f;
        for (uint32_t i = 0; i < FRAMES; ++i) {
            worst = std::max({worst, std::fabs(gotLeft[i] - wantLeft[i]), std::fabs(gotRight[i] - wantRight[i]),
                              std::fabs(gotMono[i] - wantRight[i])});
            loudest = std::max(loudest, std::fabs(wantLeft[i]));
        }
        EXPECT_GT(loudest, 0.3f) << "step " << step;
        EXPECT_LT(worst, 1e-3f) << "step " << step << " (" << kernel.pcmTaps << " taps): the paths differ by up to "
                                << worst;
    }
}

}  // namespace
