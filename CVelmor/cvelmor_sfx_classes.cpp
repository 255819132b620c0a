// Sound objects and the two music classes: what each asks of the audio
// library.
#include <algorithm>

#include "cvelmor.h"

using namespace vbass;

namespace {

const char* const kFile = "cvelmor_sfx_classes";

// Library failures carry the library's error code.
[[noreturn]] void ThrowLibraryError(const char* message, int line) {
    throw CEHSException(EHS_TYPE_GENERAL, static_cast<uint32_t>(BASS_ErrorGetCode()), message, kFile,
                        static_cast<uint32_t>(line));
}

void WarnLibraryError(const char* message) {
    CVelmor::LogEntry(std::string(message) + " Error code: " + std::to_string(BASS_ErrorGetCode()), LOG_WARNING);
}

}  // namespace

// ---- V2DSound -------------------------------------------------------------------

V2DSound::V2DSound(const char* fp_pszFileName, bool fp_bStreamed, int32_t fp_iMaxPlaybacks, bool fp_bPlain,
                   uint32_t fp_dwOffset, uint32_t fp_dwSize)
    : m_bStreamed(fp_bStreamed),
      m_iMaxPlaybacks(std::max(fp_iMaxPlaybacks, 1)),
      m_bPlain(fp_bPlain),
      FileName(fp_pszFileName),
      Offset(fp_dwOffset),
      Size(fp_dwSize) {
    SetCheckpoint(132, __LINE__);
    if (m_bStreamed) {
        m_hStream = BASS_StreamCreateFile(FALSE, FileName.c_str(), Offset, Size, BASS_SAMPLE_OVER_POS);
        if (!m_hStream) ThrowLibraryError("Cannot create stream!", __LINE__);
    } else {
        m_hSample = BASS_SampleLoad(FALSE, FileName.c_str(), Offset, Size, static_cast<DWORD>(m_iMaxPlaybacks),
                                    m_bPlain ? 0 : BASS_SAMPLE_OVER_POS);
        if (!m_hSample) ThrowLibraryError("Cannot load sample!", __LINE__);
    }
}

// A sound that will not stop is freed all the same; the failure is only
// worth a warning, since nothing is left to go wrong with it.
V2DSound::~V2DSound() {
    SetCheckpoint(132, __LINE__);
    if (m_bStreamed) {
        if (!BASS_ChannelStop(m_hStream)) WarnLibraryError("Cannot stop stream!");
        BASS_StreamFree(m_hStream);
    } else {
        if (!BASS_SampleStop(m_hSample)) WarnLibraryError("Cannot stop sample!");
        BASS_SampleFree(m_hSample);
    }
}

// ---- Music pieces ----------------------------------------------------------------

V2DBaseMusic::V2DBaseMusic(const char* fp_pszFileName, uint32_t fp_dwOffset, uint32_t fp_dwSize)
    : FileName(fp_pszFileName), Offset(fp_dwOffset), Size(fp_dwSize) {}

V2DBaseMusic::~V2DBaseMusic() {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) return;
    BASS_ChannelStop(m_hMusic);
    BASS_MusicFree(m_hMusic);
}

void V2DBaseMusic::LoadModule() {
    SetCheckpoint(132, __LINE__);
    m_hMusic = BASS_MusicLoad(FALSE, FileName.c_str(), Offset, Size, 0);
    if (!m_hMusic) ThrowLibraryError("Cannot load music!", __LINE__);
    m_bLoaded = true;
}

void V2DBaseMusic::StartModule(bool fp_bLoop) {
    SetCheckpoint(132, __LINE__);
    if (!BASS_MusicPlayEx(m_hMusic, 0, fp_bLoop ? BASS_SAMPLE_LOOP : 0, TRUE))
        ThrowLibraryError("Cannot start music playback!", __LINE__);
    m_bPaused = false;
}

void V2DBaseMusic::Stop(int32_t fp_iFadeTime) {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) return;
    if (fp_iFadeTime > 0) {
        if (!BASS_ChannelSlideAttributes(m_hMusic, -1, BASS_VOLUME_FADE_STOP, -101, static_cast<DWORD>(fp_iFadeTime)))
            ThrowLibraryError("Cannot slide music attributes for smooth fading!", __LINE__);
    } else if (!BASS_ChannelStop(m_hMusic)) {
        ThrowLibraryError("Cannot stop music playback!", __LINE__);
    }
}

void V2DBaseMusic::Pause() {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded || m_bPaused) return;
    if (!BASS_ChannelPause(m_hMusic)) ThrowLibraryError("Cannot pause music playback!", __LINE__);
    m_bPaused = true;
}

// Like Stop and Pause, nothing to do without a module. Resuming clears the
// paused state, so the piece can be paused again and reports its levels.
void V2DBaseMusic::Resume() {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) return;
    if (!BASS_ChannelResume(m_hMusic)) ThrowLibraryError("Cannot resume music playback!", __LINE__);
    m_bPaused = false;
}

bool V2DBaseMusic::IsPlaying() {
    SetCheckpoint(132, __LINE__);
    return m_bLoaded && BASS_ChannelIsActive(m_hMusic) != BASS_ACTIVE_STOPPED;
}

// A piece whose module was freed has no volume to slide.
void V2DBaseMusic::SlideVolume(int32_t fp_iVolume, int32_t fp_iTime) {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) return;
    if (!BASS_ChannelSlideAttributes(m_hMusic, -1, fp_iVolume, -101, static_cast<DWORD>(std::max(fp_iTime, 0))))
        ThrowLibraryError("Cannot slide music volume!", __LINE__);
}

uint32_t V2DBaseMusic::GetLeftLevel() {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded || m_bPaused || !IsPlaying()) return 0;
    return BASS_ChannelGetLevel(m_hMusic) & 0xFFFF;
}

uint32_t V2DBaseMusic::GetRightLevel() {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded || m_bPaused || !IsPlaying()) return 0;
    return BASS_ChannelGetLevel(m_hMusic) >> 16;
}

void V2DMusic::Play(bool fp_bLoop) {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) LoadModule();
    StartModule(fp_bLoop);
}

void V2DMusic::Stop(int32_t fp_iFadeTime) {
    SetCheckpoint(132, __LINE__);
    if (!m_bLoaded) return;
    V2DBaseMusic::Stop(fp_iFadeTime);
    if (fp_iFadeTime <= 0) {
        BASS_MusicFree(m_hMusic);
        m_hMusic = 0;
        m_bLoaded = false;
    }
}

V2DPreloadedMusic::V2DPreloadedMusic(const char* fp_pszFileName, uint32_t fp_dwOffset, uint32_t fp_dwSize)
    : V2DBaseMusic(fp_pszFileName, fp_dwOffset, fp_dwSize) {
    SetCheckpoint(132, __LINE__);
    LoadModule();
}

void V2DPreloadedMusic::Play(bool fp_bLoop) {
    SetCheckpoint(132, __LINE__);
    StartModule(fp_bLoop);
    if (!BASS_ChannelSlideAttributes(m_hMusic, 0, 100, -101, 100)) ThrowLibraryError("Cannot set music params!", __LINE__);
}
