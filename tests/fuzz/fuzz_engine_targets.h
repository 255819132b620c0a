// Bodies of the fuzz targets that run the engine's own loaders (and the
// game's best-result reader) on the headless platform.
#pragma once

#include <cstddef>
#include <cstdint>

// The first byte picks plain or scrambled XML; the rest is a technique pack,
// loaded into a started engine; every technique it gives is applied once.
int FuzzTechniquePack(const uint8_t* data, size_t size);

// The first byte picks plain or scrambled XML; the rest is a font
// description, loaded into a started engine (its texture and technique
// resolved from the fuzz data folder) and, when it loads, drawn with.
int FuzzFontDescription(const uint8_t* data, size_t size);

// XML variables assigned from the bytes as an XMLDATA resource.
int FuzzXMLData(const uint8_t* data, size_t size);

// The first byte picks plain or scrambled XML; the rest is a playlist,
// loaded into a started engine with sound (its music resolved from the fuzz
// data folder) and, when it loads, played for a few frames.
int FuzzPlaylist(const uint8_t* data, size_t size);

// The bytes as DATA/qbhs.dat, read by the game's best-result loader.
int FuzzHighScore(const uint8_t* data, size_t size);

// The bytes as an audio file, loaded by the audio layer as a sample, a
// stream and a music module; whatever loads is played and mixed.
int FuzzAudioFile(const uint8_t* data, size_t size);
