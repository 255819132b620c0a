// Image files in memory: PNG (libpng), JPEG (libjpeg), BMP and DDS (our own
// readers) decoded into 32-bit A8R8G8B8 pixels, and the pixel work a texture
// needs afterwards (resampling, halving for mip levels). Every reader checks each size against the bytes it was
// given before reading, so a damaged or hostile file ends in a failure, never
// in a read past the buffer or an allocation the file cannot justify.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace image {

enum class FileFormat { Unknown, Bmp, Jpeg, Png, Dds };

// Pixels as 0xAARRGGBB, rows top first, no padding.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
};

// Larger images are refused: no texture of this engine comes near them, and
// a file that claims more is far more likely damaged than meant.
constexpr uint32_t kMaxImageEdge = 16384;
constexpr uint64_t kMaxImagePixels = 4096ull * 4096ull;
bool SizeAcceptable(uint64_t width, uint64_t height);

// The file type from its first bytes.
FileFormat DetectFormat(const uint8_t* data, size_t size);

// Each returns false and leaves `out` empty when the bytes do not hold a
// whole image of its type; `error` then says why.
bool DecodeImage(const uint8_t* data, size_t size, Image& out, std::string& error);
bool DecodePng(const uint8_t* data, size_t size, Image& out, std::string& error);
bool DecodeJpeg(const uint8_t* data, size_t size, Image& out, std::string& error);
bool DecodeBmp(const uint8_t* data, size_t size, Image& out, std::string& error);
bool DecodeDds(const uint8_t* data, size_t size, Image& out, std::string& error);

// Encoders, for the asset tools and for tests that need real image files.
// Quality 1..100. Empty results mean failure.
std::vector<uint8_t> EncodePng(const Image& image);
std::vector<uint8_t> EncodeJpeg(const Image& image, int quality);

// Stretches to width x height, each axis on its own: shrinking averages the
// source pixels each target pixel covers (every source pixel counts
// equally), enlarging interpolates linearly between neighbours, and an
// unchanged size copies exactly.
Image Resample(const Image& source, uint32_t width, uint32_t height);
// The next mip level: each pixel the average of the 2x2 block (1x2 or 2x1 at
// an edge of size 1) it stands for.
Image HalveBox(const Image& source);

}  // namespace image
