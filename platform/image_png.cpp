// PNG through libpng's simplified interface: it reads from our buffer only,
// reports damage (a cut stream, a bad checksum) as a failed call and keeps
// its error jumps inside the library.
#include <png.h>

#include <algorithm>
#include <cstring>

#include "image.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "B, G, R, A bytes read as one 0xAARRGGBB word");

namespace image {
namespace {

// libpng stops reading after the last image row, so a file cut inside its
// end chunk would pass; a whole file holds that chunk with its checksum.
bool HasEndChunk(const uint8_t* data, size_t size) {
    static const uint8_t kEnd[8] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    return std::search(data, data + size, kEnd, kEnd + 8) != data + size;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    if (!HasEndChunk(data, size)) {
        error = "PNG: data ends early";
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size)) {
        error = std::string("PNG: ") + png.message;
        return false;
    }
    if (!SizeAcceptable(png.width, png.height)) {
        png_image_free(&png);
        error = "PNG: image too large";
        return false;
    }
    png.format = PNG_FORMAT_BGRA;
    Image decoded;
    decoded.width = png.width;
    decoded.height = png.height;
    decoded.pixels.resize(static_cast<size_t>(png.width) * png.height);
    if (!png_image_finish_read(&png, nullptr, decoded.pixels.data(), 0, nullptr)) {
        error = std::string("PNG: ") + png.message;
        png_image_free(&png);
        return false;
    }
    out = std::move(decoded);
    return true;
}

std::vector<uint8_t> EncodePng(const Image& source) {
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = source.width;
    png.height = source.height;
    png.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, source.pixels.data(), 0, nullptr)) return {};
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, source.pixels.data(), 0, nullptr)) return {};
    bytes.resize(size);
    return bytes;
}

}  // namespace image
