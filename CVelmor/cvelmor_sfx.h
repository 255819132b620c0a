// The sound and music subsystem's state and items: sounds (samples that may
// sound several times at once, or streams decoded while they play), music
// pieces (modules; one plays at a time, the next waits in a queue), and
// playlists that pick the next piece when nothing plays.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bass.h"
#include "titemsmanager.h"

class CSmartID;

// One loaded sound. Construction opens the data in the audio library;
// destruction stops and frees it.
class V2DSound {
public:
    // Raises "Cannot create stream!" or "Cannot load sample!" with the
    // library's error code when the data cannot be opened.
    V2DSound(const char* fp_pszFileName, bool fp_bStreamed, int32_t fp_iMaxPlaybacks, bool fp_bPlain,
             uint32_t fp_dwOffset, uint32_t fp_dwSize);
    // Stops and frees the library's object; a failing stop is a warning.
    ~V2DSound();
    V2DSound(const V2DSound&) = delete;
    V2DSound& operator=(const V2DSound&) = delete;

    bool IsStreamed() const { return m_bStreamed; }
    // The handle the channel calls act on: the sample or the stream.
    vbass::DWORD GetHandle() const { return m_bStreamed ? m_hStream : m_hSample; }
    vbass::HSAMPLE GetSample() const { return m_hSample; }
    vbass::HSTREAM GetStream() const { return m_hStream; }
    // A play refused because every playback is busy is warned about once
    // until a play succeeds again; true when this refusal is to be warned.
    bool NoteBusyRefusal() { return !std::exchange(m_bBusyWarned, true); }
    void NotePlayed() { m_bBusyWarned = false; }

private:
    bool m_bBusyWarned = false;
    vbass::HSAMPLE m_hSample = 0;
    vbass::HSTREAM m_hStream = 0;
    bool m_bStreamed;
    int32_t m_iMaxPlaybacks;  // at least 1
    bool m_bPlain;            // samples: a play with every playback busy fails instead of taking one over
    std::string FileName;
    uint32_t Offset;
    uint32_t Size;
};

// A music piece: a module read from its place in a file.
class V2DBaseMusic {
public:
    V2DBaseMusic(const char* fp_pszFileName, uint32_t fp_dwOffset, uint32_t fp_dwSize);
    // Stops at once and frees the module.
    virtual ~V2DBaseMusic();
    V2DBaseMusic(const V2DBaseMusic&) = delete;
    V2DBaseMusic& operator=(const V2DBaseMusic&) = delete;

    // Starts from the beginning.
    virtual void Play(bool fp_bLoop) = 0;
    // 0: at once; above 0: fades out over that many ms, then stops.
    virtual void Stop(int32_t fp_iFadeTime);
    virtual void Pause();
    virtual void Resume();
    virtual bool IsPlaying();
    virtual void SlideVolume(int32_t fp_iVolume, int32_t fp_iTime);
    virtual uint32_t GetLeftLevel();
    virtual uint32_t GetRightLevel();

protected:
    void LoadModule();
    void StartModule(bool fp_bLoop);

    vbass::HMUSIC m_hMusic = 0;
    std::string FileName;
    uint32_t Offset;
    uint32_t Size;
    bool m_bPaused = false;
    bool m_bLoaded = false;
};

// Loads its module when it starts playing and frees it when it stops.
class V2DMusic : public V2DBaseMusic {
public:
    using V2DBaseMusic::V2DBaseMusic;
    void Play(bool fp_bLoop) override;
    void Stop(int32_t fp_iFadeTime) override;
};

// Loads its module when created and keeps it; starts with a short fade-in.
class V2DPreloadedMusic : public V2DBaseMusic {
public:
    // Raises "Cannot load music!" when the module cannot be loaded.
    V2DPreloadedMusic(const char* fp_pszFileName, uint32_t fp_dwOffset, uint32_t fp_dwSize);
    void Play(bool fp_bLoop) override;
};

// A named set of music IDs, in file order; duplicates allowed.
struct V2DPlaylist {
    std::vector<int32_t> entries;
};

struct V2DSFXSTATE {
    uint8_t bInitialized = 0;
    // No sound device could be opened: every operation returns at once.
    uint8_t bNoSound = 0;
    std::unique_ptr<TItemsManager<V2DSound>> pSounds;
    std::unique_ptr<TItemsManager<V2DBaseMusic>> pMusic;
    std::unique_ptr<TItemsManager<V2DPlaylist>> pPlaylists;
    int32_t iCurrentMusic = -1;
    int32_t iQueuedMusic = -1;
    bool bQueuedLoop = false;
    int32_t iCurrentPlaylist = -1;
};
