// Sounds: loading, finding, unloading, and the operations on one sound.
#include <new>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"

using namespace vbass;

namespace {

const char* const kFile = "cvelmor_sfx_sound";

[[noreturn]] void ThrowLibraryError(const char* message, int line) {
    throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(BASS_ErrorGetCode()), message, kFile,
                        static_cast<uint32_t>(line));
}

// Play, stop, pause, resume and the attributes are ignored while there is no
// sound or the game window is inactive.
bool SoundRequestsIgnored(const V2DSFXSTATE& sfx) { return sfx.bNoSound || g_bWindowActive == 0; }

}  // namespace

V2DSound& CVelmor::SoundByID(int32_t fp_iID) {
    if (!m_sfx.pSounds || !m_sfx.pSounds->IsValidID(fp_iID))
        throw CEHSException(EHS_TYPE_GAME, 0, "Invalid sound ID: " + std::to_string(fp_iID), kFile, __LINE__);
    return *m_sfx.pSounds->GetItem(fp_iID);
}

int32_t CVelmor::SoundLoad(const char* fp_pszFileName, const char* fp_pszID, int32_t fp_iTag, bool fp_bStreamed,
                           int32_t fp_iMaxPlaybacks, bool fp_bPlain, uint32_t fp_dwOffset, uint32_t fp_dwSize) {
    SetCheckpoint(133, __LINE__);
    if (m_sfx.bNoSound) return -2;
    if (!m_sfx.pSounds) throw CEHSException(EHS_TYPE_GAME, 0, "Sound and Music system was not initialized!", kFile, __LINE__);
    const int32_t existing = m_sfx.pSounds->FindByName(fp_pszID);
    if (existing >= 0) return existing;

    LogEntry(std::string("Loading sound: ") + fp_pszID, LOG_DETAIL);
    std::unique_ptr<V2DSound> sound(
        new (std::nothrow) V2DSound(fp_pszFileName, fp_bStreamed, fp_iMaxPlaybacks, fp_bPlain, fp_dwOffset, fp_dwSize));
    if (!sound) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create sound object!", kFile, __LINE__);
    const int32_t id = m_sfx.pSounds->Add(std::move(sound), fp_pszID, fp_iTag);
    CSmartID::BindByName(fp_pszID, id);
    LogEntry("Done.", LOG_RESULT);
    return id;
}

int32_t CVelmor::SoundFind(const std::string& fp_strID) {
    SetCheckpoint(133, __LINE__);
    const int32_t id = m_sfx.pSounds ? m_sfx.pSounds->FindByName(fp_strID) : -1;
    if (id < 0) LogEntry("Cannot find iID of sound with strID = " + fp_strID, LOG_WARNING);
    return id;
}

void CVelmor::SoundUnload(int32_t fp_iID) {
    SetCheckpoint(133, __LINE__);
    if (m_sfx.bNoSound) return;
    LogEntry("Unloading sound. iID = " + std::to_string(fp_iID), LOG_STEP);
    if (!m_sfx.pSounds || !m_sfx.pSounds->IsValidID(fp_iID)) {
        LogEntry("Failed.", LOG_RESULT);
        return;
    }
    m_sfx.pSounds->FreeItem(fp_iID);
    CSmartID::UnbindByID(fp_iID, SMARTID_SOUND);
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::SoundUnload(const std::string& fp_strID) {
    SetCheckpoint(133, __LINE__);
    if (m_sfx.bNoSound) return;
    LogEntry("Unloading sound. strID = " + fp_strID, LOG_STEP);
    CSmartID::BindByName(fp_strID.c_str(), -1);
    const int32_t id = m_sfx.pSounds ? m_sfx.pSounds->FindByName(fp_strID) : -1;
    if (id < 0) {
        LogEntry("Failed.", LOG_RESULT);
        return;
    }
    m_sfx.pSounds->FreeItem(id);
    LogEntry("Done.", LOG_RESULT);
}

void CVelmor::SoundPlay(int32_t fp_iID, bool fp_bLoop, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (!sound.IsStreamed()) {
        if (BASS_SamplePlayEx(sound.GetSample(), 0, fp_iFrequency, fp_iVolume, fp_iPan, fp_bLoop ? TRUE : FALSE)) {
            sound.NotePlayed();
            return;
        }
        // Every playback busy on a sample that may not take one over: quick
        // repeated plays are normal, so this one is skipped.
        if (BASS_ErrorGetCode() != BASS_ERROR_NOCHAN) ThrowLibraryError("Cannot playback sample!", __LINE__);
        if (sound.NoteBusyRefusal())
            LogEntry("Sound skipped: every playback is busy. iID = " + std::to_string(fp_iID), LOG_WARNING);
        return;
    }
    if (!BASS_StreamPlay(sound.GetStream(), TRUE, fp_bLoop ? BASS_SAMPLE_LOOP : 0))
        ThrowLibraryError("Cannot play stream!", __LINE__);
    const bool unchanged = fp_iFrequency == -1 && fp_iVolume == -1 && fp_iPan == -101;
    if (!unchanged && !BASS_ChannelSetAttributes(sound.GetStream(), fp_iFrequency, fp_iVolume, fp_iPan))
        ThrowLibraryError("Cannot set stream attributes!", __LINE__);
}

void CVelmor::SoundPlay(const CSmartID& fp_ID, bool fp_bLoop, int32_t fp_iFrequency, int32_t fp_iVolume,
                        int32_t fp_iPan) {
    SoundPlay(fp_ID.GetID(), fp_bLoop, fp_iFrequency, fp_iVolume, fp_iPan);
}

void CVelmor::SoundStop(int32_t fp_iID) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (sound.IsStreamed()) {
        if (!BASS_ChannelStop(sound.GetStream())) ThrowLibraryError("Cannot stop stream!", __LINE__);
    } else if (!BASS_SampleStop(sound.GetSample())) {
        ThrowLibraryError("Cannot stop sample!", __LINE__);
    }
}

void CVelmor::SoundPause(int32_t fp_iID) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (!BASS_ChannelPause(sound.GetHandle()))
        ThrowLibraryError(sound.IsStreamed() ? "Cannot pause stream!" : "Cannot pause sample!", __LINE__);
}

void CVelmor::SoundResume(int32_t fp_iID) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (!BASS_ChannelResume(sound.GetHandle()))
        ThrowLibraryError(sound.IsStreamed() ? "Cannot resume playback of stream!" : "Cannot resume playback of sample!",
                          __LINE__);
}

void CVelmor::SoundSetAttributes(int32_t fp_iID, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (!BASS_ChannelSetAttributes(sound.GetHandle(), fp_iFrequency, fp_iVolume, fp_iPan))
        ThrowLibraryError(sound.IsStreamed() ? "Cannot set attributes of stream!" : "Cannot set attributes of sample!",
                          __LINE__);
}

void CVelmor::SoundSlideAttributes(int32_t fp_iID, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan,
                                   int32_t fp_iTime) {
    SetCheckpoint(133, __LINE__);
    if (SoundRequestsIgnored(m_sfx)) return;
    V2DSound& sound = SoundByID(fp_iID);
    if (!BASS_ChannelSlideAttributes(sound.GetHandle(), fp_iFrequency, fp_iVolume, fp_iPan,
                                     static_cast<DWORD>(fp_iTime < 0 ? 0 : fp_iTime)))
        ThrowLibraryError(
            sound.IsStreamed() ? "Cannot slide attributes of stream!" : "Cannot slide attributes of sample!", __LINE__);
}

bool CVelmor::SoundIsPlaying(int32_t fp_iID) {
    SetCheckpoint(133, __LINE__);
    if (m_sfx.bNoSound) return false;
    return BASS_ChannelIsActive(SoundByID(fp_iID).GetHandle()) != BASS_ACTIVE_STOPPED;
}
