// Bodies of the fuzz targets, shared by the libFuzzer programs (clang
// builds) and the corpus replay test that every build runs.
#pragma once

#include <cstddef>
#include <cstdint>

// Loads the bytes as an XML document, plain and scrambled, parses them and
// walks the whole tree.
int FuzzXMLDocument(const uint8_t* data, size_t size);

// Reads the bytes as a pack directory and touches the bytes of every entry
// that passes the engine's checks.
int FuzzPakDirectory(const uint8_t* data, size_t size);

// Decodes the bytes as an image file of any supported type and checks what a
// successful decode gives.
int FuzzImage(const uint8_t* data, size_t size);
