// The sound and music subsystem: start and stop, the per-frame update that
// starts queued music, global volumes, and pausing with the window's focus.
#include <new>
#include <string>

#include "cvelmor.h"
#include "cvelmor_managers.h"

using namespace vbass;

namespace {

const char* const kFile = "cvelmor_sfx_main";

// The demand operations find items through these while the managers exist.
// Without sound they answer -2 at once, as the loads do, so a demand is no
// more fatal than the load it stands for.
int32_t LookUpSound(CVelmor& engine, const char* fp_pszID) {
    return engine.m_sfx.bNoSound ? -2 : engine.SoundFind(fp_pszID);
}
int32_t LookUpMusic(CVelmor& engine, const char* fp_pszID) {
    return engine.m_sfx.bNoSound ? -2 : engine.MusicFind(fp_pszID);
}
int32_t LookUpPlaylist(CVelmor& engine, const char* fp_pszID) {
    return engine.m_sfx.bNoSound ? -2 : engine.PlaylistFind(fp_pszID);
}

template <typename T>
void CreateManager(std::unique_ptr<TItemsManager<T>>& manager, const char* step, const char* failure) {
    CVelmor::LogEntry(step, LOG_STEP);
    manager.reset(new (std::nothrow) TItemsManager<T>());
    if (!manager) throw CEHSException(EHS_TYPE_GENERAL, 0, failure, kFile, __LINE__);
    CVelmor::LogEntry("Done.", LOG_RESULT);
}

}  // namespace

void CVelmor::SoundInit(int32_t fp_iFrequency) {
    SetCheckpoint(130, __LINE__);
    m_bSfxStarted = 1;
    m_sfx.bInitialized = 1;
    LogSeparator(1);
    LogEntry("Initializing Sound and Music Subsystem...", LOG_TITLE);
    if (!GfxDeviceExists()) {
        throw CEHSException(EHS_TYPE_GAME, 0, "Sound and Music system should be initialized after graphics system!",
                            kFile, __LINE__);
    }

    const DWORD frequency = static_cast<DWORD>(fp_iFrequency);
    m_sfx.bNoSound = 0;
    if (!BASS_Init(-1, frequency, 0x20, m_hWnd)) {
        m_sfx.bNoSound = 1;
        const BOOL silent = BASS_Init(-2, frequency, 0x20, m_hWnd);
        LogEntry("No sound card available!", LOG_WARNING);
        if (!silent) {
            throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(BASS_ErrorGetCode()),
                                "Cannot initialize BASS library!", kFile, __LINE__);
        }
    }
    if (!BASS_Start()) {
        throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(BASS_ErrorGetCode()),
                            "Cannot start digital output!", kFile, __LINE__);
    }
    BASS_INFO output{};
    if (!m_sfx.bNoSound && BASS_GetInfo(&output))
        LogEntry("Output latency: " + std::to_string(output.latency) + " ms", LOG_STEP);

    CreateManager(m_sfx.pSounds, "Creating Sounds Manager...", "Cannot create Sounds Manager!");
    CreateManager(m_sfx.pMusic, "Creating Music Manager...", "Cannot create Music Manager!");
    CreateManager(m_sfx.pPlaylists, "Creating Playlists Manager...", "Cannot create Playlists Manager!");
    ResSetDemandLookup(DEMAND_SOUND, LookUpSound);
    ResSetDemandLookup(DEMAND_MUSIC, LookUpMusic);
    ResSetDemandLookup(DEMAND_PLAYLIST, LookUpPlaylist);

    m_sfx.iCurrentMusic = -1;
    m_sfx.iQueuedMusic = -1;
    m_sfx.iCurrentPlaylist = -1;
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::SoundDeinit() {
    SetCheckpoint(130, __LINE__);
    LogSeparator(1);
    LogEntry("Deinitializing Sound and Music Subsystem...", LOG_TITLE);
    ResSetDemandLookup(DEMAND_SOUND, nullptr);
    ResSetDemandLookup(DEMAND_MUSIC, nullptr);
    ResSetDemandLookup(DEMAND_PLAYLIST, nullptr);
    DestroyItemsManager(m_sfx.pSounds, "Sounds");
    DestroyItemsManager(m_sfx.pMusic, "Music");
    DestroyItemsManager(m_sfx.pPlaylists, "Playlists");
    BASS_Stop();
    BASS_Free();
    m_sfx.bInitialized = 0;
    m_sfx.bNoSound = 0;
    m_sfx.iCurrentMusic = m_sfx.iQueuedMusic = m_sfx.iCurrentPlaylist = -1;
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

// A requested piece starts in the frame in which the previous one has
// finished, its fade-out included.
void CVelmor::SoundUpdate() {
    SetCheckpoint(130, __LINE__);
    if (!m_sfx.bInitialized || m_sfx.bNoSound) return;
    const bool playing = IsMusicPlaying();
    if (!playing && m_sfx.iCurrentPlaylist != -1) PlaylistNext();
    if (!playing) m_sfx.iCurrentMusic = -1;
    if (m_sfx.iQueuedMusic != -1 && m_sfx.iCurrentMusic == -1) {
        m_sfx.iCurrentMusic = m_sfx.iQueuedMusic;
        m_sfx.iQueuedMusic = -1;
        V2DBaseMusic* music = m_sfx.pMusic ? m_sfx.pMusic->GetItem(m_sfx.iCurrentMusic) : nullptr;
        if (!music) throw CEHSException(EHS_TYPE_GAME, 0, "Cannot play music - invalid ID!", kFile, __LINE__);
        music->Play(m_sfx.bQueuedLoop);
    }
}

void CVelmor::SoundSetGlobalVolumes(int32_t fp_iSoundVolume, int32_t fp_iMusicVolume) {
    SetCheckpoint(130, __LINE__);
    if (m_sfx.bNoSound) return;
    BASS_SetGlobalVolumes(fp_iMusicVolume, fp_iSoundVolume, fp_iSoundVolume);
}

float CVelmor::SoundGetCPU() const {
    SetCheckpoint(130, __LINE__);
    return m_sfx.bNoSound ? 0.0f : BASS_GetCPU();
}

void CVelmor::SoundPause() {
    SetCheckpoint(130, __LINE__);
    if (m_sfx.bNoSound) return;
    BASS_Pause();
}

void CVelmor::SoundResume() {
    SetCheckpoint(130, __LINE__);
    if (m_sfx.bNoSound) return;
    BASS_Start();
}
