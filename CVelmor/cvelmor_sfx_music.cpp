// Music: loading and finding pieces, and the one current piece with its
// queue: a requested piece waits until the current one has stopped.
#include <new>

#include "cvelmor.h"

namespace {

const char* const kFile = "cvelmor_sfx_music";

}  // namespace

int32_t CVelmor::MusicLoad(const char* fp_pszFileName, const char* fp_pszID, int32_t fp_iTag, uint32_t fp_dwOffset,
                           uint32_t fp_dwSize, bool fp_bPreloaded) {
    SetCheckpoint(134, __LINE__);
    if (m_sfx.bNoSound) return -2;
    if (!m_sfx.pMusic) throw CEHSException(EHS_TYPE_GAME, 0, "Sound and Music system was not initialized!", kFile, __LINE__);
    const int32_t existing = m_sfx.pMusic->FindByName(fp_pszID);
    if (existing >= 0) return existing;

    LogEntry(std::string("Loading music: ") + fp_pszID, LOG_DETAIL);
    std::unique_ptr<V2DBaseMusic> music;
    if (fp_bPreloaded) {
        music.reset(new (std::nothrow) V2DPreloadedMusic(fp_pszFileName, fp_dwOffset, fp_dwSize));
        if (!music) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create V2DPreloadedMusic object!", kFile, __LINE__);
    } else {
        music.reset(new (std::nothrow) V2DMusic(fp_pszFileName, fp_dwOffset, fp_dwSize));
        if (!music) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create V2DMusic object!", kFile, __LINE__);
    }
    const int32_t id = m_sfx.pMusic->Add(std::move(music), fp_pszID, fp_iTag);
    LogEntry("Done.", LOG_RESULT);
    return id;
}

int32_t CVelmor::MusicFind(const std::string& fp_strID) {
    SetCheckpoint(134, __LINE__);
    const int32_t id = m_sfx.pMusic ? m_sfx.pMusic->FindByName(fp_strID) : -1;
    if (id < 0) LogEntry("Cannot find iID of music with strID = " + fp_strID, LOG_WARNING);
    return id;
}

// Requesting the current piece again does nothing; any other piece replaces
// whatever was queued and the current one stops (fading out over fadeTime).
void CVelmor::PlayMusic(int32_t fp_iID, bool fp_bLoop, int32_t fp_iFadeTime) {
    SetCheckpoint(134, __LINE__);
    if (m_sfx.bNoSound || g_bWindowActive == 0) return;
    if (fp_iID == -1) throw CEHSException(EHS_TYPE_GAME, 0, "Invalid music id!", kFile, __LINE__);
    if (fp_iID == m_sfx.iCurrentMusic) return;
    m_sfx.iQueuedMusic = fp_iID;
    m_sfx.bQueuedLoop = fp_bLoop;
    if (m_sfx.iCurrentMusic != -1) StopMusic(fp_iFadeTime);
}

void CVelmor::PlayMusic(const std::string& fp_strID, bool fp_bLoop, int32_t fp_iFadeTime) {
    PlayMusic(MusicFind(fp_strID), fp_bLoop, fp_iFadeTime);
}

V2DBaseMusic& CVelmor::CurrentMusic(const char* fp_pszInvalid) {
    V2DBaseMusic* music = m_sfx.pMusic ? m_sfx.pMusic->GetItem(m_sfx.iCurrentMusic) : nullptr;
    if (!music) throw CEHSException(EHS_TYPE_GAME, 0, fp_pszInvalid, kFile, __LINE__);
    return *music;
}

void CVelmor::StopMusic(int32_t fp_iFadeTime) {
    SetCheckpoint(134, __LINE__);
    if (m_sfx.bNoSound || g_bWindowActive == 0 || m_sfx.iCurrentMusic == -1) return;
    CurrentMusic("Cannot stop music - invalid ID!").Stop(fp_iFadeTime);
}

bool CVelmor::IsMusicPlaying() {
    SetCheckpoint(134, __LINE__);
    if (m_sfx.bNoSound || m_sfx.iCurrentMusic == -1) return false;
    return CurrentMusic("Cannot get music status - invalid ID!").IsPlaying();
}

void CVelmor::SetMusicVolume(int32_t fp_iVolume, int32_t fp_iTime) {
    SetCheckpoint(134, __LINE__);
    if (m_sfx.bNoSound || m_sfx.iCurrentMusic == -1) return;
    CurrentMusic("Cannot get music status - invalid ID!").SlideVolume(fp_iVolume, fp_iTime);
}
