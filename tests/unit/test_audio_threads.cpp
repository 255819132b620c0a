// The audio layer's calls from the game thread while SDL's audio thread
// mixes: the ThreadSanitizer build runs this with the other audio tests.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio_fixtures.h"
#include "bass.h"
#include "test_support.h"

namespace {

using namespace vbass;
using namespace audiotest;
using platform::AudioFileFormat;

class AudioThreadsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // SDL's dummy driver runs the real audio thread without a sound card.
        testsupport::SetEnvironment("SDL_AUDIODRIVER", "dummy");
        platform::SetAudioOutput(platform::AudioOutput::Sdl);
    }
    void TearDown() override {
        BASS_Free();
        testsupport::UnsetEnvironment("SDL_AUDIODRIVER");
        EngineTest::TearDown();
    }
    // Waits in real time (the audio thread plays in real time) for `done`.
    template <typename Condition>
    static bool Within(int ms, Condition done) {
        for (int waited = 0; waited < ms; waited += 5) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
};

TEST_F(AudioThreadsTest, EveryKindOfCallWhileTheDeviceThreadMixes) {
    ASSERT_TRUE(BASS_Init(-1, RATE, 0x20, nullptr)) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_Start());
    WriteAudio("loud.wav", AudioFileFormat::Wav, Sine(4410, 44, 0.8f), 2);
    WriteAudio("click.wav", AudioFileFormat::Wav, Sine(441, 4, 0.5f), 2);
    testsupport::WriteFile("song.mod", TinyModule(63));

    const HSTREAM loud = BASS_StreamCreateFile(FALSE, "loud.wav", 0, 0, 0);
    ASSERT_NE(loud, 0u);
    ASSERT_TRUE(BASS_StreamPlay(loud, TRUE, BASS_SAMPLE_LOOP));
    EXPECT_TRUE(Within(2000, [&] { return BASS_ChannelGetLevel(loud) != 0; })) << "the device thread mixes the stream";

    const HMUSIC song = BASS_MusicLoad(FALSE, "song.mod", 0, 0, 0);
    ASSERT_NE(song, 0u);
    ASSERT_TRUE(BASS_MusicPlayEx(song, 0, static_cast<int>(BASS_SAMPLE_LOOP), TRUE));
    HSAMPLE click = BASS_SampleLoad(FALSE, "click.wav", 0, 0, 3, BASS_SAMPLE_OVER_POS);
    ASSERT_NE(click, 0u);

    // A game's worth of calls in a short time, as frames make them.
    for (int frame = 0; frame < 150; ++frame) {
        EXPECT_NE(BASS_SamplePlayEx(click, 0, 44100 + frame * 37 % 2000, 50 + frame % 50, frame % 201 - 100, FALSE), 0u);
        EXPECT_TRUE(BASS_ChannelSetAttributes(loud, 40000 + frame % 9 * 1000, frame % 101, frame % 21 - 10));
        if (frame % 10 == 0) {
            EXPECT_TRUE(BASS_ChannelSlideAttributes(song, -1, frame % 100, -101, 30));
        }
        if (frame % 25 == 0) {
            EXPECT_TRUE(BASS_SetGlobalVolumes(frame % 100, 100 - frame % 100, 70));
        }
        if (frame % 30 == 10) {
            EXPECT_TRUE(BASS_ChannelPause(song));
        }
        if (frame % 30 == 20) {
            EXPECT_TRUE(BASS_ChannelResume(song));
        }
        if (frame % 40 == 39) {  // the focus goes and comes back
            EXPECT_TRUE(BASS_Pause());
            EXPECT_TRUE(BASS_Start());
        }
        if (frame == 75) {  // a sample freed while it plays, and loaded again
            EXPECT_TRUE(BASS_SampleFree(click));
            click = BASS_SampleLoad(FALSE, "click.wav", 0, 0, 3, BASS_SAMPLE_OVER_POS);
            ASSERT_NE(click, 0u);
        }
        BASS_ChannelGetLevel(song);
        BASS_ChannelIsActive(click);
        BASS_GetCPU();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    // A fade to silence stops the stream on the device thread.
    EXPECT_TRUE(BASS_ChannelSlideAttributes(loud, -1, BASS_VOLUME_FADE_STOP, -101, 50));
    EXPECT_TRUE(Within(3000, [&] { return BASS_ChannelIsActive(loud) == BASS_ACTIVE_STOPPED; }));
    EXPECT_TRUE(BASS_StreamFree(loud));
    EXPECT_EQ(BASS_ChannelIsActive(loud), BASS_ACTIVE_STOPPED);
    // Everything released while the module still plays.
    EXPECT_EQ(BASS_ChannelIsActive(song), BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(BASS_Free());
}

// A device closes on a thread of its own; freeing while music plays and
// opening again at once, several times over, must give a device that mixes
// each time (an open racing the last close, or a close that quits SDL's
// audio under the new device, leaves it silent).
TEST_F(AudioThreadsTest, FreedWhilePlayingAndOpenedAgainAtOnce) {
    WriteAudio("loop.wav", AudioFileFormat::Wav, Sine(4410, 44, 0.8f), 2);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(BASS_Init(-1, RATE, 0x20, nullptr)) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_Start());
        const HSTREAM loop = BASS_StreamCreateFile(FALSE, "loop.wav", 0, 0, 0);
        ASSERT_NE(loop, 0u);
        ASSERT_TRUE(BASS_StreamPlay(loop, TRUE, BASS_SAMPLE_LOOP));
        EXPECT_TRUE(Within(2000, [&] { return BASS_ChannelGetLevel(loop) != 0; })) << "the new device mixes";
        ASSERT_TRUE(BASS_Free());
    }
}

}  // namespace
