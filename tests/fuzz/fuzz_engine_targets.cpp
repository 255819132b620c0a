#include "fuzz_engine_targets.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "audio_output.h"
#include "bass.h"
#include "cvelmor.h"
#include "cvelmor_utils_cxmlvar.h"
#include "fuzz_headless.h"
#include "highscore.h"

namespace {

void WriteFile(const char* path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) __builtin_trap();
}

// Every character code once, for drawing with a font that loaded.
std::string AllCharacters() {
    std::string text;
    for (int code = 1; code < 256; ++code) text.push_back(static_cast<char>(code));
    // UTF-8 beyond Latin-1, and sequences that are not UTF-8 (a surrogate, a
    // cut one at the end).
    return text + "\xC4\x81\xD0\x94\xCE\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xED\xA0\x80\xF4\x90\x80\x80%\xC3";
}

// Loads through `load` into a started engine; CEHSException and the XML
// reader's text errors are the documented failures.
template <typename Load>
void WithEngine(const uint8_t* data, size_t size, bool withSound, Load load) {
    if (size == 0) return;
    FuzzHeadlessRun run;
    CVelmor engine;
    FuzzStartEngine(engine, withSound);
    engine.SetXMLEncryptMode((data[0] & 1) != 0);
    try {
        load(engine, data + 1, size - 1);
    } catch (const CEHSException&) {
    } catch (const CV2DFatalText&) {
    }
}

}  // namespace

int FuzzTechniquePack(const uint8_t* data, size_t size) {
    WithEngine(data, size, false, [](CVelmor& engine, const uint8_t* bytes, size_t length) {
        FuzzRunLoader(engine, "TECHNIQUE", bytes, length);
        // Every technique the pack gave, applied once.
        engine.SceneBegin();
        for (int32_t id = 0; id < engine.m_gfx.pTechniques->GetCount(); ++id)
            if (engine.m_gfx.pTechniques->GetItem(id)) engine.ApplyTechnique(id);
        engine.SceneEnd();
    });
    return 0;
}

int FuzzFontDescription(const uint8_t* data, size_t size) {
    WithEngine(data, size, false, [](CVelmor& engine, const uint8_t* bytes, size_t length) {
        const int32_t font = engine.LoadFontFromMemory(bytes, static_cast<int32_t>(length));
        if (font < 0) __builtin_trap();
        engine.SetCurrentFont(font);
        engine.SceneBegin();
        const std::string text = AllCharacters();
        engine.DrawText(text.c_str(), 10.0f, 10.0f, 0, 3, 1.0f);
        engine.DrawTextEx(text.c_str(), 10.0f, 40.0f, 0, 2, 0.5f, true, 1.5f, 2.0f, 1.0f);
        engine.GetStringWidth(text.c_str(), font, 1.0f, 0.0f);
        engine.SceneEnd();
    });
    return 0;
}

int FuzzXMLData(const uint8_t* data, size_t size) {
    CXMLVarInt count("FUZZ_XMLDATA_INT", 7);
    CXMLVarFloat scale("FUZZ_XMLDATA_FLOAT", 0.5f);
    try {
        RESLOAD_XMLData(data, static_cast<int>(size));
    } catch (const CEHSException&) {
    } catch (const CV2DFatalText&) {
    }
    return 0;
}

int FuzzPlaylist(const uint8_t* data, size_t size) {
    WithEngine(data, size, true, [](CVelmor& engine, const uint8_t* bytes, size_t length) {
        const int32_t playlist = engine.PlaylistLoad(bytes, static_cast<int32_t>(length));
        if (playlist < 0) __builtin_trap();
        engine.PlaylistSet(playlist);
        int16_t mix[2 * 512];
        for (int frame = 0; frame < 4; ++frame) {
            engine.SoundUpdate();
            if (!platform::AudioPull(mix, 512)) __builtin_trap();
        }
    });
    return 0;
}

int FuzzHighScore(const uint8_t* data, size_t size) {
    FuzzHeadlessRun run;
    const std::string oldName = g_strBestName;
    const float oldTime = g_fBestTime;
    WriteFile("DATA/qbhs.dat", data, size);
    try {
        if (LoadHighScore()) {
            // What loads is a name (no zero byte) and a positive, finite time.
            if (g_strBestName.empty() || g_strBestName.find('\0') != std::string::npos || !(g_fBestTime > 0.0f) ||
                std::isinf(g_fBestTime))
                __builtin_trap();
        } else {
            // A damaged file is kept aside whole, and the defaults hold.
            FILE* aside = std::fopen("DATA/qbhs.dat.damaged", "rb");
            if (aside == nullptr || g_strBestName != "Unknown") __builtin_trap();
            std::fclose(aside);
            std::remove("DATA/qbhs.dat.damaged");
        }
    } catch (const CEHSException&) {
    }
    std::remove("DATA/qbhs.dat");
    g_strBestName = oldName;
    g_fBestTime = oldTime;
    return 0;
}

int FuzzAudioFile(const uint8_t* data, size_t size) {
    FuzzHeadlessRun run;
    const char* const path = "DATA/fuzz_audio.bin";
    WriteFile(path, data, size);
    if (!vbass::BASS_Init(-2, 44100, 0, nullptr)) __builtin_trap();
    int16_t mix[2 * 1024];
    const vbass::HSAMPLE sample = vbass::BASS_SampleLoad(0, path, 0, 0, 2, 0);
    if (sample) {
        if (!vbass::BASS_SamplePlayEx(sample, 0, -1, -1, -101, 0)) __builtin_trap();
        if (!vbass::BASS_SamplePlayEx(sample, 0, 22050, 50, 30, 1)) __builtin_trap();
        if (!platform::AudioPull(mix, 1024)) __builtin_trap();
        vbass::BASS_SampleFree(sample);
    }
    const vbass::HSTREAM stream = vbass::BASS_StreamCreateFile(0, path, 0, 0, 0);
    if (stream) {
        if (!vbass::BASS_StreamPlay(stream, 1, vbass::BASS_SAMPLE_LOOP)) __builtin_trap();
        for (int i = 0; i < 4; ++i)
            if (!platform::AudioPull(mix, 1024)) __builtin_trap();
        vbass::BASS_StreamFree(stream);
    }
    const vbass::HMUSIC music = vbass::BASS_MusicLoad(0, path, 0, 0, 0);
    if (music) {
        if (!vbass::BASS_MusicPlayEx(music, 0, vbass::BASS_SAMPLE_LOOP, 1)) __builtin_trap();
        for (int i = 0; i < 4; ++i)
            if (!platform::AudioPull(mix, 1024)) __builtin_trap();
        vbass::BASS_MusicFree(music);
    }
    std::remove(path);
    return 0;
}
