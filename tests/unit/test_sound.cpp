// The sound and music subsystem on the offline audio output: start and stop,
// no-sound mode, sounds loaded through the resource subsystem, the music
// queue, playlists and the randomizer, focus.
#include <filesystem>
#include <map>
#include <memory>

#include "audio_fixtures.h"
#include "bass.h"
#include "cvelmor.h"
#include "cvelmor_rand.h"
#include "cvelmor_utils_csmartid.h"
#include "test_support.h"
#include "trandomizer.h"

using namespace audiotest;
using platform::AudioFileFormat;

using testsupport::Raised;

namespace {

const std::string kSep1 = "|---------------------------------------------------|";
const uint32_t kSecond = 44100;

class SoundTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::filesystem::create_directory("DATA");
        V2DSrand(2024);
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }

    // Declares `records` in a descriptor, then starts resources and sound as
    // the game does, with the window active.
    void Start(const std::string& records) {
        testsupport::WriteFile("DATA/sfx.xml", "<respack>" + records + "</respack>");
        engine = std::make_unique<CVelmor>();
        engine->ResourcesInit();
        StartSound();
        g_bWindowActive = 1;
    }

    // Sound starts after graphics, as in the game: the recording device in
    // the headless game window.
    void StartSound() {
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
        engine->SoundInit(44100);
    }

    static std::string Record(const std::string& id, const std::string& type, const std::string& file,
                              const std::string& extra = "") {
        return "<r id=\"" + id + "\" typeid=\"" + type + "\" filename=\"" + file + "\" tag=\"1\" " + extra + "/>";
    }
    // Modules of lastRow + 1 rows of 120 ms; `name` also names the file.
    static std::string Module(const std::string& id, const std::string& name, int lastRow = 0,
                              const std::string& extra = "") {
        testsupport::WriteFile("DATA/" + name + ".mod", TinyModule(lastRow));
        return Record(id, "MUSIC", name + ".mod", extra);
    }
    static std::string Playlist(const std::string& id, const std::string& name, const std::vector<std::string>& music) {
        std::string xml = "<playlist id=\"" + name + "\" tag=\"3\">";
        for (const std::string& m : music) xml += "<piece id=\"" + m + "\"/>";
        testsupport::WriteFile("DATA/" + id + ".pl", xml + "</playlist>");
        return Record(id, "PLAYLIST", id + ".pl");
    }

    int32_t LoadMusic(const std::string& id) {
        engine->LoadResource(id.c_str());
        return engine->m_sfx.pMusic->FindByName(id);
    }
    V2DBaseMusic& Piece(int32_t id) { return *engine->m_sfx.pMusic->GetItem(id); }
    bool Playing(int32_t id) { return Piece(id).IsPlaying(); }

    // Pulls `frames` of audio, then runs the frame's sound update.
    std::vector<float> PullAndUpdate(uint32_t frames) {
        std::vector<float> mix = Pull(frames);
        engine->SoundUpdate();
        return mix;
    }

    // Lines of the log from the first one equal to `first` on.
    std::vector<std::string> LogFrom(const std::string& first) {
        const std::vector<std::string> lines = LogLines();
        auto it = std::find(lines.begin(), lines.end(), first);
        return std::vector<std::string>(it, lines.end());
    }


    std::unique_ptr<CVelmor> engine;
};

// ---- Start, stop, no sound ---------------------------------------------------------

TEST_F(SoundTest, StartAndStopWriteTheirBlocks) {
    Start("");
    vbass::BASS_INFO output{};
    ASSERT_TRUE(vbass::BASS_GetInfo(&output));
    const std::vector<std::string> start = {
        kSep1,
        "--==: Initializing Sound and Music Subsystem...",
        "   =: Output latency: " + std::to_string(output.latency) + " ms",
        "   =: Creating Sounds Manager...",
        "   +: Done.",
        "   =: Creating Music Manager...",
        "   +: Done.",
        "   =: Creating Playlists Manager...",
        "   +: Done.",
        "   +: Done.",
        kSep1,
        "",
    };
    std::vector<std::string> lines = LogFrom(start[1]);
    lines.resize(start.size() - 1);
    EXPECT_EQ(lines, std::vector<std::string>(start.begin() + 1, start.end()));
    EXPECT_EQ(engine->m_bSfxStarted, 1);

    engine->SoundDeinit();
    const std::vector<std::string> stop = {
        "--==: Deinitializing Sound and Music Subsystem...",
        "   =: Destroying Sounds Manager...",
        "   +: Done.",
        "   =: Destroying Music Manager...",
        "   +: Done.",
        "   =: Destroying Playlists Manager...",
        "   +: Done.",
        "   +: Done.",
        kSep1,
        "",
    };
    EXPECT_EQ(LogFrom(stop[0]), stop);
    // The library is free again.
    EXPECT_TRUE(vbass::BASS_Init(-2, 44100, 0, nullptr));
}

TEST_F(SoundTest, RefusesToStartBeforeGraphicsAndStillStopsCleanly) {
    engine = std::make_unique<CVelmor>();
    const CEHSException e = Raised([&] { engine->SoundInit(44100); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(), "Sound and Music system should be initialized after graphics system!");
    EXPECT_EQ(e.GetFile(), "cvelmor_sfx_main");
    engine.reset();
    // The started flag was set first, so the stop ran; no manager existed.
    const std::vector<std::string> stop = LogFrom("--==: Deinitializing Sound and Music Subsystem...");
    ASSERT_GE(stop.size(), 7u);
    EXPECT_EQ(stop[1], "   =: Destroying Sounds Manager...");
    EXPECT_EQ(stop[2], "   +: Failed.");
    EXPECT_EQ(stop[6], "   +: Failed.");
}

TEST_F(SoundTest, WithoutASoundCardEverythingIsSilentlyIgnored) {
    platform::SetAudioOutput(platform::AudioOutput::Missing);
    WriteAudio("DATA/c.wav", AudioFileFormat::Wav, Constant(100, 1, 0.5f), 1);
    Start(Record("SND_C", "SOUND", "c.wav") + Module("MUS_A", "a") + Playlist("PL_A", "PL_A", {"MUS_A"}));
    const std::vector<std::string> lines = LogFrom("--==: Initializing Sound and Music Subsystem...");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], " !: No sound card available!");
    EXPECT_EQ(engine->m_sfx.bNoSound, 1);

    EXPECT_EQ(engine->SoundLoad("DATA/c.wav", "SND_C", 0, false, 1, false, 0, 0), -2);
    EXPECT_EQ(engine->MusicLoad("DATA/a.mod", "MUS_A", 0, 0, 0, true), -2);
    EXPECT_EQ(engine->PlaylistLoad("<playlist id=\"P\"/>", 18), -2);
    engine->LoadResource("SND_C");
    EXPECT_EQ(engine->m_sfx.pSounds->GetCount(), 0);
    // Not even invalid IDs are looked at.
    engine->SoundPlay(42, false, -1, -1, -101);
    engine->SoundStop(42);
    engine->SoundUnload(3);
    engine->SoundUnload("SND_C");
    engine->SoundSetAttributes(42, 1, 1, 1);
    EXPECT_FALSE(engine->SoundIsPlaying(42));
    engine->PlayMusic(-1, true, 0);
    engine->StopMusic(0);
    EXPECT_FALSE(engine->IsMusicPlaying());
    engine->PlaylistSet(-1);
    engine->PlaylistClear();
    engine->SoundSetGlobalVolumes(10, 10);
    engine->SoundPause();
    engine->SoundResume();
    engine->SoundUpdate();
    EXPECT_EQ(engine->SoundGetCPU(), 0.0f);
    // Demands answer like the loads they stand for.
    EXPECT_EQ(DemandSound("SND_C"), -2);
    EXPECT_EQ(DemandMusic("MUS_A"), -2);
    EXPECT_EQ(DemandPlaylist("PL_A"), -2);
    EXPECT_EQ(Log().find("Loading sound"), std::string::npos);
    EXPECT_EQ(Log().find("Unloading sound"), std::string::npos);
}

// ---- Sounds ------------------------------------------------------------------------

TEST_F(SoundTest, SoundResourcesLoadOnceAndPlayThroughTheirIdentifiers) {
    CSmartID click("SND_SFXCLICK");
    WriteAudio("DATA/click.wav", AudioFileFormat::Wav, Constant(4410, 2, 0.8f), 2);
    WriteAudio("DATA/hum.flac", AudioFileFormat::Flac, Constant(44100, 2, 0.4f), 2);
    Start(Record("SND_SFXCLICK", "SOUND", "click.wav", "data2=\"0\"") +
          Record("SND_HUM", "SOUND", "hum.flac", "data1=\"1\""));
    engine->LoadResource("SND_SFXCLICK");
    engine->LoadResource("SND_SFXCLICK");
    engine->LoadResource("SND_HUM");
    EXPECT_EQ(engine->SoundFind("SND_SFXCLICK"), 0);
    EXPECT_EQ(engine->SoundFind("SND_HUM"), 1);
    EXPECT_EQ(click.GetID(), 0);
    EXPECT_FALSE(engine->m_sfx.pSounds->GetItem(0)->IsStreamed());
    EXPECT_TRUE(engine->m_sfx.pSounds->GetItem(1)->IsStreamed());
    const std::string log = Log();
    EXPECT_NE(log.find("  -=: Loading sound: SND_SFXCLICK\n   +: Done.\n"), std::string::npos);
    EXPECT_EQ(log.find("Loading sound: SND_SFXCLICK"), log.rfind("Loading sound: SND_SFXCLICK"));

    // Data2 0 gives one playback: the second play takes it over.
    engine->SoundPlay(click, false, -1, 50, -101);
    engine->SoundPlay(click, false, -1, 50, -101);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.4f, 0.002f);
    engine->SoundStop(0);
    EXPECT_FALSE(engine->SoundIsPlaying(0));

    engine->SoundPlay(1, true, -1, -1, 100);
    Settle();
    std::vector<float> mix = Pull(100);
    EXPECT_EQ(Peak(mix, 0), 0.0f);
    EXPECT_NEAR(Peak(mix, 1), 0.4f, 0.002f);
    engine->SoundSlideAttributes(1, -1, 0, -101, 100);
    mix = Pull(kSecond / 5);
    EXPECT_EQ(Peak(mix, 1, kSecond / 10 + Delay()), 0.0f);
    EXPECT_TRUE(engine->SoundIsPlaying(1));
    engine->SoundSetAttributes(1, -1, 100, 0);
    engine->SoundPause(1);
    EXPECT_EQ(Peak(Pull(SETTLE + 100), 0, SETTLE), 0.0f);
    EXPECT_TRUE(engine->SoundIsPlaying(1));  // paused counts as playing
    engine->SoundResume(1);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.4f, 0.002f);

    EXPECT_EQ(engine->SoundFind("SND_NONE"), -1);
    EXPECT_NE(Log().find(" !: Cannot find iID of sound with strID = SND_NONE\n"), std::string::npos);
    EXPECT_EQ(DemandSound("SND_HUM"), 1);
}

TEST_F(SoundTest, PlaysRefusedForBusyPlaybacksAreSkippedWithOneWarning) {
    WriteAudio("DATA/click.wav", AudioFileFormat::Wav, Constant(4410, 2, 0.5f), 2);
    Start("");
    // Two playbacks that may not be taken over, played far faster than they end.
    const int32_t click = engine->SoundLoad("DATA/click.wav", "SND_CLICK", 1, false, 2, true, 0, 0);
    const auto busyWarnings = [&] {
        size_t count = 0;
        for (const std::string& line : LogLines()) count += line == " !: Sound skipped: every playback is busy. iID = 0";
        return count;
    };
    for (int i = 0; i < 20; ++i) engine->SoundPlay(click, false, -1, 50, -101);
    EXPECT_NEAR(Peak(Pull(Delay() + SETTLE), 0), 0.5f, 0.002f) << "the two playbacks that were free play";
    EXPECT_EQ(busyWarnings(), 1u);
    // Once the playbacks are free, plays succeed again; a new run of refusals
    // is worth one more line.
    Pull(kSecond / 5);
    engine->SoundPlay(click, false, -1, 50, -101);
    EXPECT_TRUE(engine->SoundIsPlaying(click));
    for (int i = 0; i < 5; ++i) engine->SoundPlay(click, false, -1, 50, -101);
    EXPECT_EQ(busyWarnings(), 2u);
}

TEST_F(SoundTest, SoundRequestsWhileTheWindowIsInactiveAreIgnored) {
    WriteAudio("DATA/c.wav", AudioFileFormat::Wav, Constant(4410, 2, 0.5f), 2);
    Start(Record("SND_C", "SOUND", "c.wav"));
    engine->LoadResource("SND_C");
    g_bWindowActive = 0;
    engine->SoundPlay(0, false, -1, -1, -101);
    engine->SoundPlay(99, false, -1, -1, -101);  // not even checked
    EXPECT_EQ(Peak(Pull(100), 0), 0.0f);
    EXPECT_FALSE(engine->SoundIsPlaying(0));  // still answered
    g_bWindowActive = 1;
    engine->SoundPlay(0, false, -1, -1, -101);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.5f, 0.002f);
    g_bWindowActive = 0;
    engine->SoundStop(0);
    EXPECT_TRUE(engine->SoundIsPlaying(0));
}

TEST_F(SoundTest, InvalidSoundIDsAndBadAttributesAreFatal) {
    WriteAudio("DATA/c.wav", AudioFileFormat::Wav, Constant(4410, 2, 0.5f), 2);
    Start(Record("SND_C", "SOUND", "c.wav"));
    engine->LoadResource("SND_C");
    for (int32_t id : {-1, 1, 7}) {
        const CEHSException e = Raised([&] { engine->SoundPlay(id, false, -1, -1, -101); });
        EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
        EXPECT_EQ(e.GetDesc(), "Invalid sound ID: " + std::to_string(id));
        EXPECT_EQ(e.GetFile(), "cvelmor_sfx_sound");
    }
    const CEHSException status = Raised([&] { engine->SoundIsPlaying(3); });
    EXPECT_EQ(status.GetDesc(), "Invalid sound ID: 3");
    const CEHSException volume = Raised([&] { engine->SoundSetAttributes(0, -1, 150, -101); });
    EXPECT_EQ(volume.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(volume.GetDesc(), "Cannot set attributes of sample!");
    EXPECT_EQ(volume.GetCode(), static_cast<uint32_t>(vbass::BASS_ERROR_ILLPARAM));
    const CEHSException play = Raised([&] { engine->SoundPlay(0, false, 10, -1, -101); });
    EXPECT_EQ(play.GetDesc(), "Cannot playback sample!");
}

TEST_F(SoundTest, UnloadingFreesTheSoundAndUnbindsItsIdentifier) {
    CSmartID click("SND_SFXUNLOAD");
    WriteAudio("DATA/c.wav", AudioFileFormat::Wav, Constant(44100, 2, 0.5f), 2);
    Start(Record("SND_SFXUNLOAD", "SOUND", "c.wav") + Record("SND_B", "SOUND", "c.wav", "data1=\"1\""));
    engine->LoadResource("SND_SFXUNLOAD");
    engine->LoadResource("SND_B");
    engine->SoundPlay(click, true, -1, -1, -101);
    engine->SoundPlay(1, true, -1, -1, -101);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 1.0f, 0.002f);

    engine->SoundUnload(0);
    EXPECT_EQ(click.GetID(), -1);
    Settle();
    EXPECT_NEAR(Peak(Pull(100), 0), 0.5f, 0.002f);  // the stream still plays
    engine->SoundUnload("SND_B");
    Settle();
    EXPECT_EQ(Peak(Pull(100), 0), 0.0f);
    engine->SoundUnload(5);
    engine->SoundUnload("SND_B");
    const std::string log = Log();
    EXPECT_NE(log.find("   =: Unloading sound. iID = 0\n   +: Done.\n"), std::string::npos);
    EXPECT_NE(log.find("   =: Unloading sound. strID = SND_B\n   +: Done.\n"), std::string::npos);
    EXPECT_NE(log.find("   =: Unloading sound. iID = 5\n   +: Failed.\n"), std::string::npos);
    EXPECT_NE(log.find("   =: Unloading sound. strID = SND_B\n   +: Failed.\n"), std::string::npos);

    // A reload takes the freed slot and binds again; the engine's end
    // unbinds it, so a later engine's sound 0 is not reached through it.
    engine->LoadResource("SND_SFXUNLOAD");
    EXPECT_EQ(click.GetID(), 0);
    engine.reset();
    EXPECT_EQ(click.GetID(), -1);
}

// A sound whose library object is gone cannot be stopped: unloading it warns
// and frees its slot, so the subsystem's stop does not reach it a second time
// (the sanitizer build sees any second delete).
TEST_F(SoundTest, ASoundThatCannotBeStoppedIsUnloadedOnceWithAWarning) {
    WriteAudio("DATA/c.wav", AudioFileFormat::Wav, Constant(4410, 2, 0.5f), 2);
    Start(Record("SND_SAMPLE", "SOUND", "c.wav") + Record("SND_STREAM", "SOUND", "c.wav", "data1=\"1\""));
    engine->LoadResource("SND_SAMPLE");
    engine->LoadResource("SND_STREAM");
    const int32_t sample = engine->SoundFind("SND_SAMPLE");
    const int32_t stream = engine->SoundFind("SND_STREAM");
    ASSERT_TRUE(vbass::BASS_SampleFree(engine->m_sfx.pSounds->GetItem(sample)->GetSample()));
    ASSERT_TRUE(vbass::BASS_StreamFree(engine->m_sfx.pSounds->GetItem(stream)->GetStream()));

    EXPECT_NO_THROW(engine->SoundUnload(sample));
    EXPECT_NO_THROW(engine->SoundUnload("SND_STREAM"));
    EXPECT_FALSE(engine->m_sfx.pSounds->IsValidID(sample));
    EXPECT_FALSE(engine->m_sfx.pSounds->IsValidID(stream));
    const std::string code = std::to_string(vbass::BASS_ERROR_HANDLE);
    const std::string log = Log();
    EXPECT_NE(log.find(" !: Cannot stop sample! Error code: " + code + "\n   +: Done.\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" !: Cannot stop stream! Error code: " + code + "\n   +: Done.\n"), std::string::npos) << log;

    engine->SoundDeinit();
    const std::vector<std::string> stop = LogFrom("   =: Destroying Sounds Manager...");
    ASSERT_GE(stop.size(), 2u);
    EXPECT_EQ(stop[1], "   +: Done.");
}

TEST_F(SoundTest, DamagedAudioResourcesFailWithTheLibraryCode) {
    testsupport::WriteFile("DATA/bad.wav", "RIFF....WAVEfmt but nothing that decodes");
    testsupport::WriteFile("DATA/bad.mod", std::string(3000, 'x'));
    Start(Record("SND_BAD", "SOUND", "bad.wav") + Record("SND_BADSTREAM", "SOUND", "bad.wav", "data1=\"1\"") +
          Record("MUS_BAD", "MUSIC", "bad.mod", "data1=\"1\"") + Record("MUS_LATER", "MUSIC", "bad.mod"));
    struct Case {
        const char* id;
        const char* message;
        const char* file;
    };
    for (const Case& c : {Case{"SND_BAD", "Cannot load sample!", "cvelmor_sfx_classes"},
                          Case{"SND_BADSTREAM", "Cannot create stream!", "cvelmor_sfx_classes"},
                          Case{"MUS_BAD", "Cannot load music!", "cvelmor_sfx_classes"}}) {
        const CEHSException e = Raised([&] { engine->LoadResource(c.id); });
        EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
        EXPECT_EQ(e.GetDesc(), c.message);
        EXPECT_EQ(e.GetCode(), static_cast<uint32_t>(vbass::BASS_ERROR_FILEFORM)) << c.id;
        EXPECT_EQ(e.GetFile(), c.file);
    }
    EXPECT_EQ(engine->m_sfx.pSounds->GetCount(), 0);
    // A piece loaded when it starts fails when it is started.
    const int32_t later = LoadMusic("MUS_LATER");
    ASSERT_GE(later, 0);
    engine->PlayMusic(later, false, 0);
    const CEHSException e = Raised([&] { engine->SoundUpdate(); });
    EXPECT_EQ(e.GetDesc(), "Cannot load music!");
}

// ---- Music -------------------------------------------------------------------------

TEST_F(SoundTest, QueuedMusicStartsWhenTheCurrentPieceHasFadedOut) {
    Start(Module("MUS_A", "a", 63) + Module("MUS_B", "b", 63, "data1=\"1\""));
    const int32_t a = LoadMusic("MUS_A");
    const int32_t b = LoadMusic("MUS_B");
    EXPECT_NE(Log().find("  -=: Loading music: MUS_B\n   +: Done.\n"), std::string::npos);

    engine->PlayMusic("MUS_B", true, 0);
    EXPECT_FALSE(Playing(b));  // requests start in the update
    PullAndUpdate(100);
    EXPECT_TRUE(Playing(b));
    EXPECT_TRUE(engine->IsMusicPlaying());

    // Requesting the current piece again changes nothing: no fade, no restart.
    engine->PlayMusic(b, true, 1000);
    EXPECT_EQ(engine->m_sfx.iQueuedMusic, -1);
    PullAndUpdate(2 * kSecond);
    EXPECT_TRUE(Playing(b));

    engine->PlayMusic(a, true, 1000);
    for (int i = 0; i < 9; ++i) {
        PullAndUpdate(kSecond / 10 - 10);
        EXPECT_TRUE(Playing(b));
        EXPECT_FALSE(Playing(a));
    }
    // B's fade ends within this pull, so this update starts A.
    PullAndUpdate(kSecond / 10 + 90);
    EXPECT_FALSE(Playing(b));
    EXPECT_TRUE(Playing(a));
    EXPECT_EQ(engine->m_sfx.iCurrentMusic, a);
    EXPECT_GT(Peak(Pull(kSecond / 2), 0), 0.01f);
    EXPECT_GT(Piece(a).GetLeftLevel(), 0u);

    // The volume of the current piece slides.
    engine->SetMusicVolume(0, 100);
    Pull(kSecond / 5);
    Pull(100);
    EXPECT_EQ(Piece(a).GetLeftLevel(), 0u);
    EXPECT_TRUE(engine->IsMusicPlaying());
}

TEST_F(SoundTest, ALaterRequestReplacesTheQueuedOne) {
    Start(Module("MUS_A", "a", 63) + Module("MUS_B", "b", 63) + Module("MUS_C", "c", 63));
    const int32_t a = LoadMusic("MUS_A");
    const int32_t b = LoadMusic("MUS_B");
    const int32_t c = LoadMusic("MUS_C");
    engine->PlayMusic(c, true, 0);
    PullAndUpdate(100);
    engine->PlayMusic(b, true, 500);
    engine->PlayMusic(a, false, 500);
    EXPECT_EQ(engine->m_sfx.iQueuedMusic, a);
    for (int i = 0; i < 20; ++i) PullAndUpdate(kSecond / 10);
    EXPECT_EQ(engine->m_sfx.iCurrentMusic, a);
    EXPECT_FALSE(Playing(b));
    // A is not looped: once it ends nothing is current.
    for (int i = 0; i < 100 && Playing(a); ++i) PullAndUpdate(kSecond);
    PullAndUpdate(10);
    EXPECT_EQ(engine->m_sfx.iCurrentMusic, -1);
    EXPECT_FALSE(engine->IsMusicPlaying());
}

TEST_F(SoundTest, MusicRequestsWhileTheWindowIsInactiveAreIgnored) {
    Start(Module("MUS_A", "a", 63) + Module("MUS_B", "b", 63));
    const int32_t a = LoadMusic("MUS_A");
    const int32_t b = LoadMusic("MUS_B");
    g_bWindowActive = 0;
    engine->PlayMusic(a, true, 0);
    EXPECT_EQ(engine->m_sfx.iQueuedMusic, -1);
    g_bWindowActive = 1;
    engine->PlayMusic(a, true, 0);
    PullAndUpdate(100);
    g_bWindowActive = 0;
    engine->PlayMusic(b, true, 0);
    engine->StopMusic(0);
    EXPECT_EQ(engine->m_sfx.iQueuedMusic, -1);
    EXPECT_TRUE(engine->IsMusicPlaying());  // answered all the same
}

TEST_F(SoundTest, TheMainLoopUpdatesSoundAndTheWindowsFocusPausesIt) {
    Start(Module("MUS_A", "a", 63));
    const int32_t a = LoadMusic("MUS_A");
    engine->PlayMusic(a, true, 0);
    EXPECT_FALSE(Playing(a));
    ASSERT_EQ(engine->UpdateAllSystems(), 1);
    EXPECT_TRUE(Playing(a));
    EXPECT_GT(Peak(Pull(kSecond / 10), 0), 0.01f);

    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    ASSERT_EQ(engine->UpdateAllSystems(), 0);
    EXPECT_EQ(Peak(Pull(kSecond / 10), 0, SETTLE), 0.0f);  // silent once faded out
    EXPECT_TRUE(engine->IsMusicPlaying());  // paused, not stopped
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    ASSERT_EQ(engine->UpdateAllSystems(), 1);
    EXPECT_GT(Peak(Pull(kSecond / 10), 0), 0.01f);
}

TEST_F(SoundTest, InvalidMusicIDsAreFatal) {
    Start(Module("MUS_A", "a"));
    const int32_t a = LoadMusic("MUS_A");
    CEHSException e = Raised([&] { engine->PlayMusic("MUS_NONE", true, 0); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(), "Invalid music id!");
    EXPECT_NE(Log().find(" !: Cannot find iID of music with strID = MUS_NONE\n"), std::string::npos);

    engine->PlayMusic(a + 5, true, 0);
    e = Raised([&] { engine->SoundUpdate(); });
    EXPECT_EQ(e.GetDesc(), "Cannot play music - invalid ID!");
    e = Raised([&] { engine->StopMusic(0); });
    EXPECT_EQ(e.GetDesc(), "Cannot stop music - invalid ID!");
    e = Raised([&] { engine->IsMusicPlaying(); });
    EXPECT_EQ(e.GetDesc(), "Cannot get music status - invalid ID!");
    e = Raised([&] { engine->SetMusicVolume(50, 0); });
    EXPECT_EQ(e.GetDesc(), "Cannot get music status - invalid ID!");
}

// ---- Playlists and the randomizer --------------------------------------------------------

TEST_F(SoundTest, PlaylistPicksAnotherPieceEachTimeWithEqualOdds) {
    Start(Module("MUS_A", "a") + Module("MUS_B", "b") + Module("MUS_C", "c") +
          Playlist("PL_ABC", "PL_ABC", {"MUS_A", "MUS_B", "MUS_C"}));
    engine->LoadResource("PL_ABC");
    EXPECT_NE(Log().find("  -=: Processing playlist file...\n"), std::string::npos);
    EXPECT_NE(Log().find("   =: New playlist contains 3 entries.\n   +: Done.\n"), std::string::npos);
    const int32_t a = engine->m_sfx.pMusic->FindByName("MUS_A");
    engine->PlaylistSet("PL_ABC");

    // Each piece lasts one row (120 ms, and a short fade at its end); every
    // update after its end picks the next one.
    std::map<int32_t, std::map<int32_t, int>> next;
    int32_t previous = -1;
    for (int i = 0; i < 600; ++i) {
        PullAndUpdate(kSecond / 4);
        const int32_t current = engine->m_sfx.iCurrentMusic;
        ASSERT_NE(current, -1);
        ASSERT_NE(current, previous) << "the piece that has just ended is never picked";
        if (previous != -1) ++next[previous][current];
        previous = current;
    }
    ASSERT_EQ(next[a].size(), 2u);
    int afterA = 0;
    for (const auto& pick : next[a]) afterA += pick.second;
    for (const auto& pick : next[a]) {
        EXPECT_GT(pick.second, afterA * 0.4) << "piece " << pick.first;
        EXPECT_LT(pick.second, afterA * 0.6) << "piece " << pick.first;
    }
}

TEST_F(SoundTest, PlaylistEdgeCases) {
    Start(Module("MUS_A", "a") + Module("MUS_B", "b", 63) + Playlist("PL_AA", "AA", {"MUS_A", "MUS_A"}) +
          Playlist("PL_ONE", "ONE", {"MUS_A"}) + Playlist("PL_NONE", "NONE", {"MUS_X", "MUS_Y"}) +
          Playlist("PL_B", "B", {"MUS_B"}));
    // A single entry repeats after each end.
    engine->LoadResource("PL_ONE");
    const int32_t one = engine->PlaylistFind("ONE");
    const int32_t a = engine->m_sfx.pMusic->FindByName("MUS_A");
    engine->PlaylistSet(one);
    for (int i = 0; i < 5; ++i) {
        PullAndUpdate(kSecond / 5);
        EXPECT_EQ(engine->m_sfx.iCurrentMusic, a);
        EXPECT_TRUE(Playing(a));
    }

    // Pieces that cannot be found are left out; such a playlist stays silent.
    engine->LoadResource("PL_NONE");
    EXPECT_NE(Log().find("   =: New playlist contains 0 entries.\n"), std::string::npos);
    EXPECT_NE(Log().find(" !: Cannot find resource with ID = MUS_X\n"), std::string::npos);
    engine->PlaylistSet("NONE");
    for (int i = 0; i < 5; ++i) PullAndUpdate(kSecond);
    EXPECT_EQ(engine->m_sfx.iCurrentMusic, -1);
    EXPECT_EQ(engine->m_sfx.iQueuedMusic, -1);

    // Setting the current playlist again keeps its piece; another one fades
    // the piece out over three seconds before its own pick starts.
    engine->LoadResource("PL_B");
    const int32_t b = engine->m_sfx.pMusic->FindByName("MUS_B");
    engine->PlaylistSet("B");
    PullAndUpdate(100);
    EXPECT_TRUE(Playing(b));
    engine->PlaylistSet("B");
    PullAndUpdate(4 * kSecond);
    EXPECT_TRUE(Playing(b));
    engine->PlaylistSet(one);
    PullAndUpdate(2 * kSecond);
    EXPECT_TRUE(Playing(b));
    PullAndUpdate(kSecond + 100);
    EXPECT_EQ(engine->m_sfx.iCurrentMusic, a);
    engine->PlaylistClear();
    EXPECT_EQ(engine->m_sfx.iCurrentPlaylist, -1);

    // A duplicate file gives the existing playlist and a warning.
    const std::string file = testsupport::ReadFile("DATA/PL_ONE.pl");
    EXPECT_EQ(engine->PlaylistLoad(file.data(), static_cast<int32_t>(file.size())), one);
    EXPECT_NE(Log().find(" !: Warning: Dublicated playlist!\n"), std::string::npos);
    EXPECT_EQ(engine->m_sfx.pPlaylists->GetTag(one), 3);

    // Every entry equal to the piece that has just ended: that piece repeats,
    // as a single entry does.
    engine->LoadResource("PL_AA");
    engine->PlaylistSet("AA");
    for (int i = 0; i < 10; ++i) {
        PullAndUpdate(kSecond);
        EXPECT_EQ(engine->m_sfx.iCurrentMusic, a);
    }
    EXPECT_TRUE(Playing(a));

    const CEHSException unset = Raised([&] { engine->PlaylistSet("NOPE"); });
    EXPECT_EQ(unset.GetDesc(), "Invalid playlist ID!");
    const std::string wrong = "<music id=\"X\"/>";
    const CEHSException root = Raised([&] { engine->PlaylistLoad(wrong.data(), static_cast<int32_t>(wrong.size())); });
    EXPECT_EQ(root.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(root.GetDesc(), "XML file doesn't contain playlist data!");
    EXPECT_EQ(DemandPlaylist("AA"), engine->PlaylistFind("AA"));
}

TEST(RandomizerTest, PicksByWeightFromTheSharedGenerator) {
    TRandomizer<char> empty;
    try {
        empty.GetRandomValue();
        ADD_FAILURE();
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "No values were thrown in randomizer!");
    }
    TRandomizer<char> single;
    single.Add('x', 0);
    EXPECT_EQ(single.GetRandomValue(), 'x');

    TRandomizer<char> weighted;
    weighted.Add('a', 1);
    weighted.Add('b', 3);
    V2DSrand(7);
    std::map<char, int> counts;
    for (int i = 0; i < 4000; ++i) ++counts[weighted.GetRandomValue()];
    EXPECT_NEAR(counts['b'] / 4000.0, 0.75, 0.03);
    // The same seed gives the same picks.
    V2DSrand(7);
    const int expectedFirst = V2DRand() % 4;
    V2DSrand(7);
    EXPECT_EQ(weighted.GetRandomValue(), expectedFirst < 1 ? 'a' : 'b');

    // Weights that leave nothing to land in.
    TRandomizer<char> broken;
    broken.Add('a', 0);
    broken.Add('b', 0);
    try {
        broken.GetRandomValue();
        ADD_FAILURE();
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "Error in TRandomizer::GetRandomValue!");
    }
}

}  // namespace
