// Playlists: loading from XML, the current playlist, and the pick of the next
// piece whenever nothing plays.
#include <new>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "trandomizer.h"

namespace {

const char* const kFile = "cvelmor_sfx_playlists";

// Fading out the running piece when the playlist changes or is cleared.
constexpr int32_t PLAYLIST_FADE_MS = 3000;
constexpr int32_t ENTRY_WEIGHT = 10;

}  // namespace

int32_t CVelmor::PlaylistLoad(const void* fp_pData, int32_t fp_iSize) {
    SetCheckpoint(135, __LINE__);
    if (m_sfx.bNoSound) return -2;
    if (!m_sfx.pPlaylists)
        throw CEHSException(EHS_TYPE_GAME, 0, "Sound and Music system was not initialized!", kFile, __LINE__);
    LogEntry("Processing playlist file...", LOG_DETAIL);
    CXMLDocument document;
    document.LoadFromBuffer(fp_pData, fp_iSize > 0 ? static_cast<size_t>(fp_iSize) : 0, m_res.bXMLEncryptMode != 0);
    document.Parse();
    CXMLNode* root = document.GetRoot();
    if (root->GetName() != "playlist")
        throw CEHSException(EHS_TYPE_GENERAL, 0, "XML file doesn't contain playlist data!", kFile, __LINE__);

    const std::string id = root->GetAttribute("id");
    const int32_t existing = m_sfx.pPlaylists->FindByName(id);
    if (existing >= 0) {
        LogEntry("Warning: Dublicated playlist!", LOG_WARNING);
        return existing;
    }
    std::unique_ptr<V2DPlaylist> playlist(new (std::nothrow) V2DPlaylist());
    if (!playlist) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create playlist object!", kFile, __LINE__);

    // Entries whose music cannot be loaded are left out.
    for (int i = 0; i < root->GetChildCount(); ++i) {
        const std::string musicID = root->GetChild(i)->GetAttribute("id");
        int32_t music = MusicFind(musicID);
        if (music < 0) {
            LoadResource(musicID.c_str());
            music = MusicFind(musicID);
        }
        if (music >= 0) playlist->entries.push_back(music);
    }
    LogEntry("New playlist contains " + std::to_string(playlist->entries.size()) + " entries.", LOG_STEP);
    const int32_t result = m_sfx.pPlaylists->Add(std::move(playlist), id, ResParseDecimal(root->GetAttribute("tag")));
    LogEntry("Done.", LOG_RESULT);
    return result;
}

int32_t CVelmor::PlaylistFind(const std::string& fp_strID) {
    SetCheckpoint(135, __LINE__);
    const int32_t id = m_sfx.pPlaylists ? m_sfx.pPlaylists->FindByName(fp_strID) : -1;
    if (id < 0) LogEntry("Cannot find iID of playlist with strID = " + fp_strID, LOG_WARNING);
    return id;
}

// Setting the current playlist again keeps the running piece.
void CVelmor::PlaylistSet(int32_t fp_iID) {
    SetCheckpoint(135, __LINE__);
    if (m_sfx.bNoSound) return;
    if (fp_iID == -1) throw CEHSException(EHS_TYPE_GAME, 0, "Invalid playlist ID!", kFile, __LINE__);
    if (fp_iID == m_sfx.iCurrentPlaylist) return;
    StopMusic(PLAYLIST_FADE_MS);
    m_sfx.iCurrentPlaylist = fp_iID;
}

void CVelmor::PlaylistSet(const std::string& fp_strID) { PlaylistSet(PlaylistFind(fp_strID)); }

void CVelmor::PlaylistClear() {
    SetCheckpoint(135, __LINE__);
    if (m_sfx.bNoSound) return;
    StopMusic(PLAYLIST_FADE_MS);
    m_sfx.iCurrentPlaylist = -1;
}

// Queues a piece of the current playlist other than the one that has just
// ended (which is still the current music here), unless no other is listed:
// then that piece repeats.
void CVelmor::PlaylistNext() {
    SetCheckpoint(135, __LINE__);
    const V2DPlaylist* playlist = m_sfx.pPlaylists ? m_sfx.pPlaylists->GetItem(m_sfx.iCurrentPlaylist) : nullptr;
    if (!playlist) throw CEHSException(EHS_TYPE_GENERAL, 0, "Internal error - invalid playlist ID!", kFile, __LINE__);
    if (playlist->entries.empty()) {
        m_sfx.iQueuedMusic = -1;
    } else if (playlist->entries.size() == 1) {
        m_sfx.iQueuedMusic = playlist->entries[0];
    } else {
        TRandomizer<int32_t> randomizer;
        for (int32_t entry : playlist->entries)
            if (entry != m_sfx.iCurrentMusic) randomizer.Add(entry, ENTRY_WEIGHT);
        m_sfx.iQueuedMusic = randomizer.GetCount() > 0 ? randomizer.GetRandomValue() : m_sfx.iCurrentMusic;
    }
}
